#include "pictures/PartialJpegEncoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "pictures/JpegFileDestination.h"
#include "pictures/MemoryFile.h"

namespace lumivanta {
namespace {

// The picture's blocks: 16 x 16 pixels of luminance with one 8 x 8 block of
// each colour difference, as libjpeg's defaults subsample them.
constexpr int kBlockSide = 16;
constexpr std::size_t kMostAreas = 8;
// Beyond this share of the picture a whole encoding costs less than
// transforming the areas, reading their coefficients back and coding.
constexpr int kMostPercentChanged = 50;

struct ErrorExit {
  jpeg_error_mgr standard;  // first member: the library hands its address back
  std::jmp_buf return_point;
};

[[noreturn]] void JumpBack(j_common_ptr codec) {
  std::longjmp(reinterpret_cast<ErrorExit*>(codec->err)->return_point, 1);
}

// A changed area in whole blocks.
struct BlockArea {
  int column = 0;
  int row = 0;
  int columns = 0;
  int rows = 0;
};

// One area for each run of block rows with changes, as wide as the changes
// in them reach; none when they are too many or cover too much.
std::optional<std::vector<BlockArea>> AreasToTransform(std::span<const PixelRect> changed, int width, int height) {
  const int columns = (width + kBlockSide - 1) / kBlockSide;
  const int rows = (height + kBlockSide - 1) / kBlockSide;
  struct Reach {
    int first = -1;
    int last = -1;
  };
  std::vector<Reach> reach(static_cast<std::size_t>(rows));
  for (const PixelRect& rect : changed) {
    const int left = std::max(rect.x, 0);
    const int top = std::max(rect.y, 0);
    const int right = std::min(rect.Right(), width);
    const int bottom = std::min(rect.Bottom(), height);
    if (left >= right || top >= bottom) {
      continue;
    }
    for (int row = top / kBlockSide; row <= (bottom - 1) / kBlockSide; ++row) {
      Reach& at = reach[static_cast<std::size_t>(row)];
      at.first = at.first < 0 ? left / kBlockSide : std::min(at.first, left / kBlockSide);
      at.last = std::max(at.last, (right - 1) / kBlockSide);
    }
  }
  std::vector<BlockArea> areas;
  long blocks = 0;
  for (int row = 0; row < rows;) {
    if (reach[static_cast<std::size_t>(row)].first < 0) {
      ++row;
      continue;
    }
    BlockArea area{reach[static_cast<std::size_t>(row)].first, row, 0, 0};
    int last = reach[static_cast<std::size_t>(row)].last;
    for (; row < rows && reach[static_cast<std::size_t>(row)].first >= 0; ++row) {
      area.column = std::min(area.column, reach[static_cast<std::size_t>(row)].first);
      last = std::max(last, reach[static_cast<std::size_t>(row)].last);
    }
    area.columns = last - area.column + 1;
    area.rows = row - area.row;
    blocks += static_cast<long>(area.columns) * area.rows;
    areas.push_back(area);
  }
  if (areas.size() > kMostAreas || blocks * 100 > static_cast<long>(columns) * rows * kMostPercentChanged) {
    return std::nullopt;
  }
  return areas;
}

std::uint16_t DensityOf(std::int32_t dpi) { return static_cast<std::uint16_t>(std::clamp(dpi, 1, 65535)); }

}  // namespace

struct PartialJpegCodec {
  ErrorExit errors{};
  jpeg_compress_struct compressor{};
  // Reads an area's coefficients back.
  jpeg_decompress_struct reader{};
  // Holds the whole picture's coefficients, in its image memory, between encodings.
  jpeg_decompress_struct keeper{};
  jvirt_barray_ptr* coefficients = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t quality = 0;
  std::uint16_t x_density = 0;
  std::uint16_t y_density = 0;
  // An area's file, read back at once.
  CMemoryFile area_file;
  std::vector<BlockArea> areas;

  ~PartialJpegCodec() {
    jpeg_destroy_compress(&compressor);
    jpeg_destroy_decompress(&reader);
    jpeg_destroy_decompress(&keeper);
  }

  void Abort() {
    jpeg_abort_compress(&compressor);
    jpeg_abort_decompress(&reader);
    jpeg_abort_decompress(&keeper);
    coefficients = nullptr;
  }
};

namespace {

using Codec = PartialJpegCodec;

// Everything below may end in the error exit; nothing here has a destructor,
// so the jump back skips no clean-up.

void CreateCodec(Codec& codec) {
  codec.compressor.err = jpeg_std_error(&codec.errors.standard);
  codec.errors.standard.error_exit = JumpBack;
  codec.reader.err = &codec.errors.standard;
  codec.keeper.err = &codec.errors.standard;
  jpeg_create_compress(&codec.compressor);
  jpeg_create_decompress(&codec.reader);
  jpeg_create_decompress(&codec.keeper);
}

// The colour sampling CxImage::EncodeJpeg gives 24-bit pictures.
bool SampledAsEncoded(const jpeg_decompress_struct& file) {
  return file.num_components == 3 && file.jpeg_color_space == JCS_YCbCr && file.comp_info[0].h_samp_factor == 2 &&
         file.comp_info[0].v_samp_factor == 2 && file.comp_info[1].h_samp_factor == 1 &&
         file.comp_info[1].v_samp_factor == 1 && file.comp_info[2].h_samp_factor == 1 &&
         file.comp_info[2].v_samp_factor == 1;
}

bool ReadCoefficients(Codec& codec, const std::uint8_t* jpeg, std::size_t size, std::uint32_t width,
                      std::uint32_t height) {
  jpeg_mem_src(&codec.keeper, jpeg, static_cast<unsigned long>(size));
  if (jpeg_read_header(&codec.keeper, TRUE) != JPEG_HEADER_OK || codec.keeper.image_width != width ||
      codec.keeper.image_height != height || !SampledAsEncoded(codec.keeper)) {
    return false;
  }
  codec.coefficients = jpeg_read_coefficients(&codec.keeper);
  return codec.coefficients != nullptr;
}

void SetUpCompressor(Codec& codec, JDIMENSION width, JDIMENSION height, J_COLOR_SPACE colour_space) {
  jpeg_compress_struct& compressor = codec.compressor;
  compressor.image_width = width;
  compressor.image_height = height;
  compressor.input_components = 3;
  compressor.in_color_space = colour_space;
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, codec.quality, FALSE);
}

// Encodes the area on its own, starting at a block's corner, so that its
// blocks come out as in the whole picture, and copies their coefficients
// into the kept ones.
bool TransformArea(Codec& codec, const CxImage& picture, const BlockArea& area, CJpegFileDestination& destination) {
  const auto left = static_cast<std::uint32_t>(area.column * kBlockSide);
  const auto top = static_cast<std::uint32_t>(area.row * kBlockSide);
  const std::uint32_t width = std::min(static_cast<std::uint32_t>(area.columns * kBlockSide), codec.width - left);
  const std::uint32_t height = std::min(static_cast<std::uint32_t>(area.rows * kBlockSide), codec.height - top);
  if (!codec.area_file.Truncate() && !codec.area_file.Open()) {
    return false;
  }
  codec.compressor.dest = destination.Manager();
  SetUpCompressor(codec, width, height, JCS_EXT_BGR);
  jpeg_start_compress(&codec.compressor, TRUE);
  std::array<JSAMPROW, kBlockSide> rows{};
  while (codec.compressor.next_scanline < height) {
    const JDIMENSION count = std::min<JDIMENSION>(kBlockSide, height - codec.compressor.next_scanline);
    for (JDIMENSION index = 0; index < count; ++index) {
      // Stored bottom row first; the library only reads the rows handed to it.
      const std::uint32_t stored_row = codec.height - 1 - (top + codec.compressor.next_scanline + index);
      rows[index] = const_cast<JSAMPROW>(picture.Rows() + std::size_t{picture.Stride()} * stored_row + left * 3);
    }
    jpeg_write_scanlines(&codec.compressor, rows.data(), count);
  }
  jpeg_finish_compress(&codec.compressor);

  jpeg_mem_src(&codec.reader, codec.area_file.Data(), static_cast<unsigned long>(codec.area_file.Size()));
  jpeg_read_header(&codec.reader, TRUE);
  if (!SampledAsEncoded(codec.reader)) {
    return false;
  }
  jvirt_barray_ptr* area_coefficients = jpeg_read_coefficients(&codec.reader);
  const j_common_ptr reader = reinterpret_cast<j_common_ptr>(&codec.reader);
  const j_common_ptr keeper = reinterpret_cast<j_common_ptr>(&codec.keeper);
  for (int index = 0; index < codec.reader.num_components; ++index) {
    const jpeg_component_info& component = codec.reader.comp_info[index];
    const JDIMENSION first_column = static_cast<JDIMENSION>(area.column * component.h_samp_factor);
    const JDIMENSION first_row = static_cast<JDIMENSION>(area.row * component.v_samp_factor);
    for (JDIMENSION row = 0; row < component.height_in_blocks; ++row) {
      const JBLOCKARRAY from = (*reader->mem->access_virt_barray)(reader, area_coefficients[index], row, 1, FALSE);
      const JBLOCKARRAY to =
          (*keeper->mem->access_virt_barray)(keeper, codec.coefficients[index], first_row + row, 1, TRUE);
      std::memcpy(to[0] + first_column, from[0], component.width_in_blocks * sizeof(JBLOCK));
    }
  }
  jpeg_abort_decompress(&codec.reader);
  return true;
}

// Codes the kept coefficients into the whole file, with the markers and
// tables of a whole encoding.
void WriteWhole(Codec& codec, CJpegFileDestination& destination) {
  codec.compressor.dest = destination.Manager();
  SetUpCompressor(codec, codec.width, codec.height, JCS_YCbCr);
  codec.compressor.density_unit = 1;
  codec.compressor.X_density = codec.x_density;
  codec.compressor.Y_density = codec.y_density;
  jpeg_write_coefficients(&codec.compressor, codec.coefficients);
  jpeg_finish_compress(&codec.compressor);
}

// The only places that catch the error exit's jump.
bool GuardedCreate(Codec& codec) {
  if (setjmp(codec.errors.return_point) != 0) {
    return false;
  }
  CreateCodec(codec);
  return true;
}

bool GuardedRead(Codec& codec, std::span<const std::uint8_t> jpeg, std::uint32_t width, std::uint32_t height) {
  if (setjmp(codec.errors.return_point) != 0) {
    return false;
  }
  return ReadCoefficients(codec, jpeg.data(), jpeg.size(), width, height);
}

bool GuardedEncode(Codec& codec, const CxImage& picture, CJpegFileDestination& area_destination,
                   CJpegFileDestination& destination) {
  if (setjmp(codec.errors.return_point) != 0) {
    return false;
  }
  for (const BlockArea& area : codec.areas) {
    if (!TransformArea(codec, picture, area, area_destination)) {
      return false;
    }
  }
  WriteWhole(codec, destination);
  return true;
}

}  // namespace

PartialJpegEncoder::PartialJpegEncoder() : codec_(std::make_unique<PartialJpegCodec>()) {
  if (!GuardedCreate(*codec_)) {
    codec_.reset();
  }
}

PartialJpegEncoder::~PartialJpegEncoder() = default;

bool PartialJpegEncoder::Holds(const CxImage& picture) const {
  return codec_ && codec_->coefficients != nullptr && picture.BitsPerPixel() == 24 &&
         picture.Width() == codec_->width && picture.Height() == codec_->height &&
         picture.Quality() == codec_->quality && DensityOf(picture.XDpi()) == codec_->x_density &&
         DensityOf(picture.YDpi()) == codec_->y_density;
}

bool PartialJpegEncoder::Load(std::span<const std::uint8_t> jpeg, const CxImage& picture) {
  Forget();
  if (!codec_ || jpeg.empty() || picture.BitsPerPixel() != 24) {
    return false;
  }
  if (!GuardedRead(*codec_, jpeg, picture.Width(), picture.Height())) {
    codec_->Abort();
    return false;
  }
  codec_->width = picture.Width();
  codec_->height = picture.Height();
  codec_->quality = picture.Quality();
  codec_->x_density = DensityOf(picture.XDpi());
  codec_->y_density = DensityOf(picture.YDpi());
  return true;
}

bool PartialJpegEncoder::Prepare(const CxImage& picture, std::span<const PixelRect> changed,
                                 std::span<const std::uint8_t> last_file) {
  std::optional<std::vector<BlockArea>> areas =
      codec_ ? AreasToTransform(changed, static_cast<int>(picture.Width()), static_cast<int>(picture.Height()))
             : std::nullopt;
  if (!areas || (!Holds(picture) && !Load(last_file, picture))) {
    Forget();
    return false;
  }
  codec_->areas = std::move(*areas);
  return true;
}

bool PartialJpegEncoder::Encode(const CxImage& picture, CPictureFile* file) {
  if (file == nullptr || !Holds(picture)) {
    Forget();
    return false;
  }
  CJpegFileDestination area_destination(&codec_->area_file);
  CJpegFileDestination destination(file);
  if (!GuardedEncode(*codec_, picture, area_destination, destination)) {
    Forget();
    return false;
  }
  return true;
}

void PartialJpegEncoder::Forget() {
  if (codec_) {
    codec_->Abort();
  }
}

}  // namespace lumivanta
