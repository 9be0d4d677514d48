#pragma once
// Class identifiers of Ambrel's classes. The filter's own (CLSID_Ambrel) crosses deliverables and
// lives with the others in shared/.
#include "platform/com/guid.h"
#include "shared/ClassIds.h"

// The About page of the filter (the page itself comes with the GUI).
inline constexpr CLSID CLSID_AmbrelAboutPage = MakeGuid("{BC01860D-0528-48B9-8445-B1452DEFE54F}");
