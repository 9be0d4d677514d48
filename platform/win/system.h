#pragma once
// Small system services: clock, sleeping, ids, the temporary folder, files by name and opening a
// document with the desktop's default application.
#include <string>

#include "platform/com/hresult.h"
#include "platform/com/types.h"

// Milliseconds of a monotonic clock; wraps after 49.7 days like the Windows tick count.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
void Sleep(DWORD milliseconds);
DWORD GetCurrentProcessId();

// The temporary folder: $TMPDIR if set, else "/tmp"; always with a trailing "/".
std::string GetTempPath();
// Win32 shape: copies the folder with its terminating zero when bufferLength is large enough and
// returns its length; otherwise returns the length needed including the zero.
DWORD GetTempPath(DWORD bufferLength, char* buffer);

// The size in bytes of a regular file, -1 when it is missing or not a regular file.
LONGLONG GetFileSizeByName(const char* path);
// Removes a file; FALSE (errno set) when it cannot.
BOOL DeleteFile(const char* path);

// Opens a file or URL with the desktop's default application (xdg-open), detached from this
// process; the argument is passed as one word, never through a shell's parsing.
// S_OK once started; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND = 2) when xdg-open is missing.
HRESULT OpenWithDefaultApplication(const char* pathOrUrl);
