#include "platform/com/hresult.h"

HRESULT HresultFromErrno(int err) { return err == 0 ? E_FAIL : HRESULT_FROM_WIN32(static_cast<std::uint32_t>(err)); }
