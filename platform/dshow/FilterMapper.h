#pragma once
// The filter catalogue (CLSID_FilterMapper2, a built-in class) and the registration helpers a
// module's DllRegisterServer uses.
//
// A registered filter is kept under
//   HKCR\CLSID\{083863F1-70DE-11D0-BD40-00A0C911CE86}\Instance\{clsid}
// with "FriendlyName" and "CLSID" (text), "Merit" (DWORD) and "Pins" (text, one line per pin:
// name, flags O output / R rendered / Z zero / M many, and the media types as {major}/{minor}
// pairs). Filters of the platform itself are listed through RegisterBuiltinFilter.
//
// EnumMatchingFilters lists the filters of at least the given merit whose pins match, highest
// merit first (equal merits in catalogue order), as monikers: BindToStorage gives an
// IPropertyBag with "FriendlyName" and "CLSID" (text), BindToObject creates the filter.
// Types match field by field; GUID_NULL in the query matches anything. A registered GUID_NULL
// (a wildcard pin type) matches any asked type only when exact match is off.
#include "platform/com/moniker.h"
#include "platform/dshow/Interfaces.h"

inline constexpr CLSID CLSID_LegacyAmFilterCategory = MakeGuid("{083863F1-70DE-11D0-BD40-00A0C911CE86}");

struct REGPINTYPES {
  const CLSID* clsMajorType;
  const CLSID* clsMinorType;
};

struct REGFILTERPINS {
  LPCWSTR strName;
  BOOL bRendered;
  BOOL bOutput;
  BOOL bZero;
  BOOL bMany;
  const CLSID* clsConnectsToFilter;
  LPCWSTR strConnectsToPin;
  UINT nMediaTypes;
  const REGPINTYPES* lpMediaType;
};

struct REGPINMEDIUM {
  CLSID clsMedium;
  DWORD dw1;
  DWORD dw2;
};

// Version 1 registration data (pins as REGFILTERPINS).
struct REGFILTER2 {
  DWORD dwVersion;
  DWORD dwMerit;
  ULONG cPins;
  const REGFILTERPINS* rgPins;
};

using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;
struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  LPCWSTR strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
};

struct IFilterMapper2 : IUnknown {
  PLATFORM_INTERFACE_ID("B79BB0B0-33C1-11D1-ABE1-00A0C905F375");
  STDMETHOD(CreateCategory)(REFCLSID category, DWORD merit, LPCWSTR description) = 0;
  STDMETHOD(UnregisterFilter)(const CLSID* category, LPCOLESTR instance, REFCLSID filter) = 0;
  STDMETHOD(RegisterFilter)(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                            LPCOLESTR instance, const REGFILTER2* data) = 0;
  // pInputTypes / pOutputTypes: cInputTypes / cOutputTypes pairs of (major, minor).
  STDMETHOD(EnumMatchingFilters)(IEnumMoniker** monikers, DWORD flags, BOOL exactMatch, DWORD merit,
                                 BOOL inputNeeded, DWORD cInputTypes, const GUID* pInputTypes,
                                 const REGPINMEDIUM* mediumIn, const CLSID* pinCategoryIn, BOOL render,
                                 BOOL outputNeeded, DWORD cOutputTypes, const GUID* pOutputTypes,
                                 const REGPINMEDIUM* mediumOut, const CLSID* pinCategoryOut) = 0;
};

// For a module's DllRegisterServer/DllUnregisterServer: enters the filter into the catalogue or
// removes it (the class's InprocServer32 entry is RegisterServerClass's business).
HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& filter, BOOL registering);
// A platform filter listed in the catalogue without a registry entry (at library load).
void RegisterBuiltinFilter(const AMOVIESETUP_FILTER& filter);
