#include "publish/ThreadData.h"

#include <utility>

namespace lumivanta {

CThreadData::CThreadData(std::string upload_address_copy, ScreenImage screen_kept, std::int32_t target_height_copy,
                         std::int32_t quality_index_copy, ScreenEncoder& publisher_encoder)
    : screen(std::move(screen_kept)),
      encoder(&publisher_encoder),
      target_height(target_height_copy),
      quality_index(quality_index_copy),
      upload_address(std::move(upload_address_copy)) {
  busy.store(true, std::memory_order_relaxed);
}

}  // namespace lumivanta
