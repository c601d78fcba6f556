#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace lumivanta::server {

// A request target split into its percent-decoded path and query parameters.
struct RequestTarget {
  std::string path;
  // Each parameter's first value; "?server" gives server = "".
  std::map<std::string, std::string, std::less<>> parameters;

  bool Has(std::string_view name) const { return parameters.contains(name); }
  std::optional<std::string> Value(std::string_view name) const;
};

// Decodes %XX in the path and the parameters, and '+' as a space in the parameters.
RequestTarget ParseRequestTarget(std::string_view target);

}  // namespace lumivanta::server
