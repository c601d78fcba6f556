#include "pictures/JpegFileDestination.h"

#include <type_traits>

#include <jerror.h>

#include "pictures/PictureFile.h"

namespace lumivanta {

static_assert(std::is_standard_layout_v<CJpegFileDestination>);

CJpegFileDestination::CJpegFileDestination(CPictureFile* file) : manager_{}, file_(file) {
  manager_.init_destination = InitDestination;
  manager_.empty_output_buffer = EmptyOutputBuffer;
  manager_.term_destination = TermDestination;
}

CJpegFileDestination& CJpegFileDestination::Of(j_compress_ptr compressor) {
  return *reinterpret_cast<CJpegFileDestination*>(compressor->dest);
}

void CJpegFileDestination::InitDestination(j_compress_ptr compressor) {
  CJpegFileDestination& self = Of(compressor);
  self.manager_.next_output_byte = self.staging_.data();
  self.manager_.free_in_buffer = kPieceBytes;
}

// The library's write error ends the encoding through its error manager.
boolean CJpegFileDestination::EmptyOutputBuffer(j_compress_ptr compressor) {
  CJpegFileDestination& self = Of(compressor);
  if (self.file_->Write(self.staging_.data(), 1, kPieceBytes) != kPieceBytes) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
  self.manager_.next_output_byte = self.staging_.data();
  self.manager_.free_in_buffer = kPieceBytes;
  return TRUE;
}

void CJpegFileDestination::TermDestination(j_compress_ptr compressor) {
  CJpegFileDestination& self = Of(compressor);
  const std::size_t filled = kPieceBytes - self.manager_.free_in_buffer;
  if (filled > 0 && self.file_->Write(self.staging_.data(), 1, filled) == 0) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
  self.file_->Flush();
  if (self.file_->Error() != 0) {
    ERREXIT(compressor, JERR_FILE_WRITE);
  }
}

}  // namespace lumivanta
