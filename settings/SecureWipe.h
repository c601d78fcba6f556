#pragma once

// Clears memory that held clear text or key material in a way the optimiser
// may not remove.

#include <string.h>
#include <cstddef>

namespace lumivanta {

inline void SecureWipe(void* data, std::size_t size) {
  if (data != nullptr && size != 0) {
    explicit_bzero(data, size);
  }
}

}  // namespace lumivanta
