#pragma once

#include <string>
#include <string_view>

namespace lumivanta {

// The MIME type for a file name, from the text after its last "." (a name
// with no "." after its first character is looked up whole). The system's
// table /etc/mime.types is asked first, a small built-in table second;
// "application/octet-stream" when neither knows the type.
std::string ContentTypeForFile(std::string_view file_name);

// The same lookup in a given mime.types text (for tests and other tables).
std::string ContentTypeForFile(std::string_view file_name, std::string_view mime_types_text);

}  // namespace lumivanta
