#pragma once

// A libjpeg destination manager that passes the compressed bytes to a
// CPictureFile in pieces of 4096 bytes. It lives for one encoding.

#include <array>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace lumivanta {

class CPictureFile;

class CJpegFileDestination {
 public:
  static constexpr std::size_t kPieceBytes = 4096;

  explicit CJpegFileDestination(CPictureFile* file);
  CJpegFileDestination(const CJpegFileDestination&) = delete;
  CJpegFileDestination& operator=(const CJpegFileDestination&) = delete;

  jpeg_destination_mgr* Manager() { return &manager_; }

 private:
  static CJpegFileDestination& Of(j_compress_ptr compressor);
  static void InitDestination(j_compress_ptr compressor);
  static boolean EmptyOutputBuffer(j_compress_ptr compressor);
  static void TermDestination(j_compress_ptr compressor);

  // First member: libjpeg hands its address back to the callbacks.
  jpeg_destination_mgr manager_;
  CPictureFile* file_ = nullptr;
  std::array<JOCTET, kPieceBytes> staging_{};
};

}  // namespace lumivanta
