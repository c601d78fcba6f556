#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace lumivanta {

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// A block from the C library's allocator, freed with free().
using MallocBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

}  // namespace lumivanta
