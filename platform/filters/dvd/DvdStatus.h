#pragma once
// Status codes of the DVD source, with a text for each that says what the user can do about it.
#include "platform/com/hresult.h"

inline constexpr HRESULT DVD_E_NO_TITLE_SET = MakeHresult(0x80040A01u);
inline constexpr HRESULT DVD_E_IFO_DAMAGED = MakeHresult(0x80040A02u);
inline constexpr HRESULT DVD_E_CELL_TABLE = MakeHresult(0x80040A03u);
inline constexpr HRESULT DVD_E_VOB_MISSING = MakeHresult(0x80040A04u);
inline constexpr HRESULT DVD_E_ENCRYPTED = MakeHresult(0x80040A05u);

// The text for one of the codes above; nullptr for any other status.
const char* DvdStatusText(HRESULT status);
