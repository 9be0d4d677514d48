#pragma once
// The converter's automation server in the registry: the creatable class "CorvaneApp.Application",
// its dispatch interface ICorvaneApp and the type library CorvaneApp 1.0. Every normal start
// registers them again (the program may have moved); the unregister switch removes them.
//
// Keys written (under HKEY_CLASSES_ROOT):
//   CorvaneApp.Application              = "CorvaneApp Object", \CLSID = {class}
//   CLSID\{class}                       = "CorvaneApp Object", \ProgID, \LocalServer32 = program path
//   TypeLib\{library}\1.0               = "CorvaneApp", \0\linux = program path, \FLAGS, \HELPDIR
//   Interface\{interface}               = "ICorvaneApp", \TypeLib = {library} (Version "1.0")
#include <string>

#include "platform/com/guid.h"

inline constexpr CLSID CLSID_CorvaneApp = MakeGuid("{C9691689-EFD0-4D6B-AAF6-5AE7488AFC3A}");
inline constexpr IID IID_ICorvaneApp = MakeGuid("{FAFCC299-778A-4126-9AA7-BF7B3E2695F7}");
inline constexpr GUID LIBID_CorvaneApp = MakeGuid("{EEE60147-1C48-4CF0-8152-CC32972A9C13}");
inline constexpr char kCorvaneAppProgId[] = "CorvaneApp.Application";

// Writes the class, its programmatic identifier, the interface and the type library; the first
// failing write's status is returned (the rest are still attempted).
HRESULT RegisterAutomationServer(const std::string& programPath);
// Removes what RegisterAutomationServer wrote; keys already absent are no failure.
HRESULT UnregisterAutomationServer();
