#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivanta::server {

// A request target split into its percent-decoded path and query parameters.
struct RequestTarget {
  std::string path;
  // The parameters in the order they came, "?server" as server = "". A list
  // rather than a map, as a target has a handful at most; Has and Value find
  // a name's first.
  std::vector<std::pair<std::string, std::string>> parameters;

  bool Has(std::string_view name) const;
  std::optional<std::string> Value(std::string_view name) const;
};

// Decodes %XX in the path and the parameters, and '+' as a space in the parameters.
RequestTarget ParseRequestTarget(std::string_view target);

}  // namespace lumivanta::server
