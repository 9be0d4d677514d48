#pragma once
// Command identifiers of the main window (WM_COMMAND's wParam).
#include "platform/com/types.h"

inline constexpr UINT ID_START_CONVERSION = 32775;
inline constexpr UINT ID_STOP = 32776;
inline constexpr UINT ID_PAUSE = 32777;
inline constexpr UINT ID_VIEW_LOGFILE = 32815;

// The conversion graph's event notice and the source filter's end-of-file notice.
inline constexpr UINT WM_GRAPH_NOTIFY = 0x8001;  // WM_APP + 1
