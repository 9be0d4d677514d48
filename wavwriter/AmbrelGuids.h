#pragma once
// Class identifiers of Ambrel's classes.
#include "platform/com/guid.h"

// The AC3 WAV writer filter.
inline constexpr CLSID CLSID_Ambrel = MakeGuid("{0D4F7699-AF8F-45DB-8667-BFF3C1F39C82}");
// Its About page (the page itself comes with the GUI).
inline constexpr CLSID CLSID_AmbrelAboutPage = MakeGuid("{BC01860D-0528-48B9-8445-B1452DEFE54F}");
