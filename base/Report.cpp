#include "base/Report.h"

#include <cstdio>
#include <string>

namespace lumivanta {

namespace {

void WriteLine(std::string_view program, std::string_view text) {
  // One write, so that lines of several threads do not interleave.
  std::string line(program);
  line += ": ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void ReportLine(std::string_view text) { WriteLine("lumivanta", text); }

void ReportLine(std::string_view topic, std::string_view text) {
  std::string line(topic);
  line += ": ";
  line += text;
  ReportLine(line);
}

void ReportServerLine(std::string_view text) { WriteLine("lumivanta-server", text); }

}  // namespace lumivanta
