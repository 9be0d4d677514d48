#pragma once
// Command identifiers of the main window (WM_COMMAND's wParam) and of its pane context menu.
#include "platform/com/types.h"

// File menu
inline constexpr UINT ID_FILE_LOAD_TS = 32772;
inline constexpr UINT ID_FILE_LOAD_DVRMS = 32808;
inline constexpr UINT ID_FILE_LOAD_MPG = 32809;
inline constexpr UINT ID_FILE_PLAY_CONVERTED = 32781;
inline constexpr UINT ID_FILE_PROPERTIES = 32779;
inline constexpr UINT ID_FILE_EXIT = 32773;

// Control menu
inline constexpr UINT ID_START_CONVERSION = 32775;
inline constexpr UINT ID_STOP = 32776;
inline constexpr UINT ID_PAUSE = 32777;
inline constexpr UINT ID_OUTPUT_DVRMS = 32810;
inline constexpr UINT ID_OUTPUT_MPG = 32811;
inline constexpr UINT ID_DEMUX_RAW = 32812;
inline constexpr UINT ID_DEMUX_RIFF = 32813;
inline constexpr UINT ID_OUTPUT_TS = 32814;
inline constexpr UINT ID_OPTIONS = 32807;
// The output radio group spans these identifiers.
inline constexpr UINT ID_OUTPUT_FIRST = ID_OUTPUT_DVRMS;
inline constexpr UINT ID_OUTPUT_LAST = ID_OUTPUT_TS;

// Control > Audio Tracks: one item per audio stream, identifier = first + stream position.
inline constexpr UINT ID_AUDIO_TRACK_FIRST = 32790;
inline constexpr UINT ID_AUDIO_TRACK_LAST = 32800;

// Help menu
inline constexpr UINT ID_VIEW_LOGFILE = 32815;
inline constexpr UINT ID_APP_ABOUT = 32771;

// Commands without a menu item.
inline constexpr UINT ID_SET_MARK = 32802;    // opens the "Set Mark In and Mark Out" window
inline constexpr UINT ID_PLAY_AS_INPUT = 32780;  // loads the converted file as the new input

// Pane context menu
inline constexpr UINT ID_MONITOR_PANEL = 32820;
inline constexpr UINT ID_SOURCES_PANEL = 32819;

// The conversion graph's event notice and the source filter's end-of-file notice.
inline constexpr UINT WM_GRAPH_NOTIFY = 0x8001;  // WM_APP + 1
