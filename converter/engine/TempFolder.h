#pragma once
// Until the platform's window layer offers them: the user's temporary folder ($TMPDIR or /tmp,
// with a trailing "/") and the debug output channel.
#include <string>
#include <string_view>

std::string TempFolder();
void DebugOutput(std::string_view text);
