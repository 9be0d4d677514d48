#pragma once
// UTF-8 (the "ANSI code page" here) <-> UTF-16 (wide text at COM boundaries).
#include <string>
#include <string_view>

#include "platform/com/types.h"

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
inline std::string Utf16ToUtf8(const char16_t* text) { return text ? Utf16ToUtf8(std::u16string_view(text)) : std::string(); }

// Length of a zero-terminated wide string (wcslen for char16_t).
std::size_t WideLength(const char16_t* text);
// A copy in task memory that the caller frees with CoTaskMemFree; nullptr when out of memory.
char16_t* CoTaskMemDupWide(std::u16string_view text);
char16_t* CoTaskMemDupUtf8(std::string_view text);
