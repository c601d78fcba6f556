#pragma once

// Lines for standard error, where a desktop session keeps them and a
// terminal shows them, each under the program's name.

#include <string_view>

namespace lumivanta {

// Writes "lumivanta: text" as one line, at once.
void ReportLine(std::string_view text);
// Writes "lumivanta: topic: text" as one line, at once.
void ReportLine(std::string_view topic, std::string_view text);

}  // namespace lumivanta
