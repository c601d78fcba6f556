#include "web/ContentType.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

namespace lumivanta {
namespace {

constexpr std::string_view kUnknownType = "application/octet-stream";
constexpr const char* kSystemTable = "/etc/mime.types";
// A type longer than this in the system's table is taken for a broken line and left out.
constexpr std::size_t kMaxTypeLength = 1024;

constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kBuiltInTypes{{
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpe", "image/jpeg"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"txt", "text/plain"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"json", "application/json"},
    {"xml", "application/xml"},
    {"pdf", "application/pdf"},
}};

using TypeTable = std::map<std::string, std::string, std::less<>>;

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return lowered;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// mime.types lines: a type, then its extensions, separated by blanks; "#" starts a comment.
TypeTable ParseMimeTypes(std::string_view text) {
  TypeTable table;
  while (!text.empty()) {
    const std::size_t line_end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, line_end);
    text.remove_prefix(std::min(line_end + 1, text.size()));
    line = line.substr(0, line.find('#'));
    std::string_view type;
    while (!line.empty()) {
      while (!line.empty() && IsBlank(line.front())) {
        line.remove_prefix(1);
      }
      const std::size_t word_end = std::min(
          static_cast<std::size_t>(std::find_if(line.begin(), line.end(), IsBlank) - line.begin()), line.size());
      const std::string_view word = line.substr(0, word_end);
      line.remove_prefix(word_end);
      if (word.empty()) {
        continue;
      }
      if (type.empty()) {
        type = word;
      } else if (type.size() <= kMaxTypeLength) {
        table.emplace(Lowered(word), std::string(type));
      }
    }
  }
  return table;
}

const TypeTable& SystemTable() {
  static const TypeTable table = [] {
    std::ifstream file(kSystemTable, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return ParseMimeTypes(text);
  }();
  return table;
}

// The lookup key: from the last "." to the end, found from the end towards the
// start and not at the first character; otherwise the whole name.
std::string_view LookupKey(std::string_view file_name) {
  for (std::size_t i = file_name.size(); i > 1; --i) {
    if (file_name[i - 1] == '.') {
      return file_name.substr(i - 1);
    }
  }
  return file_name;
}

std::string Lookup(std::string_view file_name, const TypeTable& table) {
  const std::string_view key = LookupKey(file_name);
  if (key.size() < 2 || key.front() != '.') {
    return std::string(kUnknownType);
  }
  const std::string extension = Lowered(key.substr(1));
  if (const auto found = table.find(extension); found != table.end()) {
    return found->second;
  }
  for (const auto& [known, type] : kBuiltInTypes) {
    if (known == extension) {
      return std::string(type);
    }
  }
  return std::string(kUnknownType);
}

}  // namespace

std::string ContentTypeForFile(std::string_view file_name) { return Lookup(file_name, SystemTable()); }

std::string ContentTypeForFile(std::string_view file_name, std::string_view mime_types_text) {
  return Lookup(file_name, ParseMimeTypes(mime_types_text));
}

}  // namespace lumivanta
