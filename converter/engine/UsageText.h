#pragma once
// The usage text that /h and --help show, one entry per line. UsageText joins the lines with the
// given separator ("\r\n" in the help window, "\n" on standard output), without a final one.
#include <string>
#include <string_view>
#include <vector>

const std::vector<std::string>& UsageLines();
std::string UsageText(std::string_view lineEnd);
