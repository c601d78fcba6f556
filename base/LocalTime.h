#pragma once

#include <ctime>
#include <string>

namespace lumivanta {

// The local time of when, formatted with strftime into at most 127
// characters; empty when the local time cannot be had or the text does not fit.
std::string FormatLocalTime(const char* format, std::time_t when);

}  // namespace lumivanta
