#pragma once

#include <string_view>

namespace lumivanta {

// The value of the header called name (any case, without the colon) in the
// last response of headers: the header blocks of every response received, a
// 100 Continue's included, each line ended by CR LF. Blanks around the value
// are dropped; empty when the last response has no such header.
std::string_view HeaderValue(std::string_view headers, std::string_view name);

}  // namespace lumivanta
