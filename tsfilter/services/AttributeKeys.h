#pragma once
// The string-keyed attribute protocol of ITsSourceInfo::GetAttribute: every key, the form of its
// argument and the exact text of its answer. Keys are case-sensitive; an exact key must match the
// whole text, a prefix key its first letters (so "GETPIDS" reads as "GETPID").
#include <cstdint>
#include <string>

#include "platform/com/hresult.h"
#include "tsfilter/services/AttributeSource.h"

namespace tsfilter {

// The answer for one key, in UTF-8; empty for an unknown key, a bad index or no value.
std::string AnswerAttribute(const std::string& key, AttributeSource& source);

// GetAttribute as the interface offers it: E_INVALIDARG for a null key or answer; the answer is
// null when empty, else a task-allocated UTF-16 copy (E_OUTOFMEMORY when that fails).
HRESULT GetAttribute(AttributeSource& source, LPCWSTR key, LPWSTR* answer);

// "hh:mm:ss.mmm" for a millisecond count; hours may take more than two digits.
std::string FormatMediaTime(std::int64_t milliseconds);

}  // namespace tsfilter
