#include "base/Report.h"

#include <cstdio>
#include <string>

namespace lumivanta {

void ReportLine(std::string_view text) {
  // One write, so that lines of several threads do not interleave.
  std::string line = "lumivanta: ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void ReportLine(std::string_view topic, std::string_view text) {
  std::string line(topic);
  line += ": ";
  line += text;
  ReportLine(line);
}

}  // namespace lumivanta
