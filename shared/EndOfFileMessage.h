#pragma once
// The notice Flumetta posts to its notify window when it is asked for a packet at the end of the
// file. The converter receives the graph's events with the same message and tells the two apart by
// these parameter values.
#include "platform/win/types.h"

inline constexpr UINT kEndOfFileMessage = WM_APP + 1;  // 0x8001
inline constexpr WPARAM kEndOfFileWParam = 0xAAAA;
inline constexpr LPARAM kEndOfFileLParam = 0x5555;
