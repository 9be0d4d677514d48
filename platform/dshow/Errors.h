#pragma once
// Status codes of the media framework, with their usual values.
#include "platform/com/hresult.h"

inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeHresult(0x80040200u);
inline constexpr HRESULT VFW_E_INVALIDSUBTYPE = MakeHresult(0x80040201u);
inline constexpr HRESULT VFW_E_NEED_OWNER = MakeHresult(0x80040202u);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = MakeHresult(0x80040203u);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = MakeHresult(0x80040205u);
inline constexpr HRESULT VFW_E_NO_TYPES = MakeHresult(0x80040206u);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHresult(0x80040207u);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeHresult(0x80040208u);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeHresult(0x8004020Au);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeHresult(0x8004020Bu);
inline constexpr HRESULT VFW_E_BUFFER_NOTSET = MakeHresult(0x8004020Cu);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MakeHresult(0x8004020Du);
inline constexpr HRESULT VFW_E_BADALIGN = MakeHresult(0x8004020Eu);
inline constexpr HRESULT VFW_E_ALREADY_COMMITTED = MakeHresult(0x8004020Fu);
inline constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = MakeHresult(0x80040210u);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = MakeHresult(0x80040211u);
inline constexpr HRESULT VFW_E_SIZENOTSET = MakeHresult(0x80040212u);
inline constexpr HRESULT VFW_E_NO_CLOCK = MakeHresult(0x80040213u);
inline constexpr HRESULT VFW_E_NO_SINK = MakeHresult(0x80040214u);
inline constexpr HRESULT VFW_E_NO_INTERFACE = MakeHresult(0x80040215u);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeHresult(0x80040216u);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHresult(0x80040217u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHresult(0x80040218u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeHresult(0x80040224u);
inline constexpr HRESULT VFW_E_NOT_PAUSED = MakeHresult(0x80040225u);
inline constexpr HRESULT VFW_E_NOT_RUNNING = MakeHresult(0x80040226u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeHresult(0x80040227u);
inline constexpr HRESULT VFW_E_START_TIME_AFTER_END = MakeHresult(0x80040228u);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeHresult(0x8004022Au);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = MakeHresult(0x8004022Bu);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = MakeHresult(0x8004022Cu);
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = MakeHresult(0x0004022Du);
inline constexpr HRESULT VFW_E_TIMEOUT = MakeHresult(0x8004022Eu);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MakeHresult(0x8004022Fu);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_RANGE = MakeHresult(0x80040230u);
inline constexpr HRESULT VFW_E_CIRCULAR_GRAPH = MakeHresult(0x80040231u);
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeHresult(0x00040237u);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeHresult(0x00040242u);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeHresult(0x80040249u);
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = MakeHresult(0x80040251u);
inline constexpr HRESULT VFW_E_NO_TIME_FORMAT_SET = MakeHresult(0x80040252u);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeHresult(0x80040265u);

// The DVD source's: what is wrong with a title set, each with its own text (ErrorText).
inline constexpr HRESULT DVD_E_NO_TITLE_SET = MakeHresult(0x80040A01u);
inline constexpr HRESULT DVD_E_IFO_DAMAGED = MakeHresult(0x80040A02u);
inline constexpr HRESULT DVD_E_CELL_TABLE = MakeHresult(0x80040A03u);
inline constexpr HRESULT DVD_E_VOB_MISSING = MakeHresult(0x80040A04u);
inline constexpr HRESULT DVD_E_ENCRYPTED = MakeHresult(0x80040A05u);
