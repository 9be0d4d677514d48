#pragma once
// Monikers, bind contexts and the process-wide Running Object Table.
//
// Interfaces keep their slot order for good: methods are only ever added at the end.
// Display names come back in task memory (free them with CoTaskMemFree). An item moniker's
// display name is its delimiter followed by its item ("!" + "Flumetta:/rec/a.ts pid 0000002a").
// The table finds entries by display name (exact, case-sensitive), holds a counted reference to
// every registered object until its registration is revoked, and never calls out (Release,
// GetDisplayName) while holding its own lock.
#include "platform/com/unknown.h"

struct IBindCtx;
struct IEnumMoniker;
struct IRunningObjectTable;

struct IMoniker : IUnknown {
  PLATFORM_INTERFACE_ID("0000000F-0000-0000-C000-000000000046");
  // The object the moniker names (an item moniker: the one registered under its name in the
  // Running Object Table; MK_E_UNAVAILABLE when none is).
  STDMETHOD(BindToObject)(IBindCtx* bindContext, IMoniker* left, REFIID riid, void** ppv) = 0;
  // The storage behind the moniker, e.g. the IPropertyBag of a catalogue entry; E_NOTIMPL when none.
  STDMETHOD(BindToStorage)(IBindCtx* bindContext, IMoniker* left, REFIID riid, void** ppv) = 0;
  STDMETHOD(GetDisplayName)(IBindCtx* bindContext, IMoniker* left, LPOLESTR* displayName) = 0;
  // S_OK when other names the same thing, else S_FALSE.
  STDMETHOD(IsEqual)(IMoniker* other) = 0;
};

struct IEnumMoniker : IUnknown {
  PLATFORM_INTERFACE_ID("00000102-0000-0000-C000-000000000046");
  // Up to count monikers (each with a reference for the caller); S_FALSE when fewer were left.
  // fetched may be null only when count is 1.
  STDMETHOD(Next)(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
  STDMETHOD(Skip)(ULONG count) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumMoniker** copy) = 0;
};

struct IBindCtx : IUnknown {
  PLATFORM_INTERFACE_ID("0000000E-0000-0000-C000-000000000046");
  STDMETHOD(GetRunningObjectTable)(IRunningObjectTable** table) = 0;
};

inline constexpr DWORD ROTFLAGS_REGISTRATIONKEEPSALIVE = 0x1;
inline constexpr DWORD ROTFLAGS_ALLOWANYCLIENT = 0x2;

struct IRunningObjectTable : IUnknown {
  PLATFORM_INTERFACE_ID("00000010-0000-0000-C000-000000000046");
  // Registers object under name's display name; *cookie (non-zero) identifies the registration.
  // MK_S_MONIKERALREADYREGISTERED (a success) when the name was already taken.
  STDMETHOD(Register)(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) = 0;
  // E_INVALIDARG for a cookie that is not (or no longer) registered.
  STDMETHOD(Revoke)(DWORD cookie) = 0;
  // S_OK when something is registered under the name, else S_FALSE.
  STDMETHOD(IsRunning)(IMoniker* name) = 0;
  // The object first registered under the name; MK_E_UNAVAILABLE when none.
  STDMETHOD(GetObject)(IMoniker* name, IUnknown** object) = 0;
  // The names registered at the time of the call, in registration order.
  STDMETHOD(EnumRunning)(IEnumMoniker** monikers) = 0;
};

HRESULT CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker);
HRESULT CreateBindCtx(DWORD reserved, IBindCtx** bindContext);
HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table);
