#pragma once
// The text of a status for people: the media framework's own codes by name, a failed system call
// (0x8007xxxx, from errno) by the system's description, anything else by its number.
#include <string>

#include "platform/com/hresult.h"

std::string ErrorText(HRESULT hr);

// The Windows shape: copies at most maxLength - 1 bytes and a terminating zero into buffer and
// returns the number of bytes copied (0 when nothing fits).
DWORD AMGetErrorText(HRESULT hr, char* buffer, DWORD maxLength);
