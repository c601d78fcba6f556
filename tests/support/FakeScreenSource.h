#pragma once

// A screen for tests: a picture of a chosen size and colour, and a pointer
// wherever the test puts it.

#include <memory>
#include <string>
#include <vector>

#include "platform/ScreenSource.h"

namespace lumivanta {

class FakeScreenSource : public ScreenSource {
 public:
  FakeScreenSource(std::uint32_t width, std::uint32_t height, std::uint32_t bgrx = 0x00336699)
      : width_(width), height_(height), fill_(bgrx) {}

  bool Grab(ScreenImage& screen) override {
    ++grabs;
    screen = ScreenImage{};
    if (fail) {
      return false;
    }
    // Fresh pixels each time, kept by the grab, as a real source never
    // overwrites a grab that is still held.
    auto pixels = std::make_shared<std::vector<std::uint32_t>>(std::size_t{width_} * height_, fill_);
    screen.width = width_;
    screen.height = height_;
    screen.bytes_per_row = width_ * 4;
    screen.pixels = {reinterpret_cast<std::uint8_t*>(pixels->data()), pixels->size() * 4};
    screen.keeper = pixels;
    return true;
  }
  PointerState Pointer() override { return pointer; }
  PointerDrawing ShowPointer(bool) override { return drawing; }
  // As a source that finds out that it cannot capture on this desktop.
  void BecomeUnavailable(const std::string& cause) { ReportUnavailable(cause); }

  PointerState pointer;
  bool fail = false;
  PointerDrawing drawing = PointerDrawing::kArrow;
  int grabs = 0;

 private:
  std::uint32_t width_;
  std::uint32_t height_;
  std::uint32_t fill_;
};

}  // namespace lumivanta
