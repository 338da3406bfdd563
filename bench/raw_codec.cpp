#include "bench/raw_codec.h"

#include <sys/mman.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace bench {
namespace {

// Library errors jump back to the operation's frame, which then throws; warnings are ignored,
// as in the picture unit.
struct JumpingErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JumpOnError(j_common_ptr codec) {
  auto* manager = reinterpret_cast<JumpingErrorManager*>(codec->err);
  (*codec->err->format_message)(codec, manager->message);
  std::longjmp(manager->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

void InstallErrorManager(JumpingErrorManager& manager, jpeg_common_struct& codec) {
  codec.err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = JumpOnError;
  manager.pub.emit_message = IgnoreMessage;
  manager.message[0] = '\0';
}

// The memory every decode writes: a mapping in huge pages, as the framework maps large bitmaps,
// written once when mapped, kept for the process, mapped anew, larger, when a decode needs more.
std::shared_ptr<std::uint8_t[]> ReusedOutput(std::size_t bytes) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static void* mapping = nullptr;
  static std::size_t mappingBytes = 0;
  static std::size_t usableBytes = 0;
  static std::uint8_t* block = nullptr;
  if (bytes > usableBytes) {
    if (mapping != nullptr) munmap(mapping, mappingBytes);
    usableBytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    mappingBytes = usableBytes + kHugePage;  // room to start on a huge page
    mapping =
        mmap(nullptr, mappingBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
      mapping = nullptr;
      usableBytes = 0;
      throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    block = reinterpret_cast<std::uint8_t*>((start + kHugePage - 1) / kHugePage * kHugePage);
    madvise(block, usableBytes, MADV_HUGEPAGE);
    std::memset(block, 0, usableBytes);
  }
  return {block, [](std::uint8_t*) {}};
}

// Reads rows until the output pass is complete, rowsPerCall addresses per call.
void ReadPass(jpeg_decompress_struct& codec, std::uint8_t* firstRow, std::ptrdiff_t rowStride,
              int rowsPerCall) {
  JSAMPROW rows[16];
  std::uint8_t* current = firstRow;
  while (codec.output_scanline < codec.output_height) {
    for (int k = 0; k < rowsPerCall; ++k) rows[k] = current + k * rowStride;
    const JDIMENSION done = jpeg_read_scanlines(&codec, rows, static_cast<JDIMENSION>(rowsPerCall));
    current += static_cast<std::ptrdiff_t>(done) * rowStride;
  }
}

// A source that copies the file to the library one block at a time.
struct BlockSource {
  jpeg_source_mgr pub;
  const std::uint8_t* data;
  std::size_t size, offset, blockSize;
  std::vector<JOCTET> block;

  static void Init(j_decompress_ptr) {}
  static boolean Fill(j_decompress_ptr codec) {
    auto* self = reinterpret_cast<BlockSource*>(codec->src);
    const std::size_t left = self->size - self->offset;
    const std::size_t count = left < self->blockSize ? left : self->blockSize;
    if (count == 0) {  // never happens with the complete files benchmarked
      static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
      self->pub.next_input_byte = kEnd;
      self->pub.bytes_in_buffer = 2;
      return TRUE;
    }
    std::memcpy(self->block.data(), self->data + self->offset, count);
    self->offset += count;
    self->pub.next_input_byte = self->block.data();
    self->pub.bytes_in_buffer = count;
    return TRUE;
  }
  static void Skip(j_decompress_ptr codec, long count) {
    auto* self = reinterpret_cast<BlockSource*>(codec->src);
    auto remaining = static_cast<std::size_t>(count);
    while (remaining > self->pub.bytes_in_buffer) {
      remaining -= self->pub.bytes_in_buffer;
      Fill(codec);
    }
    self->pub.next_input_byte += remaining;
    self->pub.bytes_in_buffer -= remaining;
  }
  static void Term(j_decompress_ptr) {}
};

// A destination that hands the library one 4096-byte block at a time and appends full blocks.
struct BlockDestination {
  static constexpr std::size_t kBlock = 4096;
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* out;
  JOCTET block[kBlock];

  static void Init(j_compress_ptr codec) {
    auto* self = reinterpret_cast<BlockDestination*>(codec->dest);
    self->pub.next_output_byte = self->block;
    self->pub.free_in_buffer = kBlock;
  }
  static boolean Empty(j_compress_ptr codec) {
    auto* self = reinterpret_cast<BlockDestination*>(codec->dest);
    self->out->insert(self->out->end(), self->block, self->block + kBlock);
    Init(codec);
    return TRUE;
  }
  static void Term(j_compress_ptr codec) {
    auto* self = reinterpret_cast<BlockDestination*>(codec->dest);
    self->out->insert(self->out->end(), self->block,
                      self->block + (kBlock - self->pub.free_in_buffer));
  }
};

}  // namespace

RawDecodeParams Decode24() { return RawDecodeParams{}; }

RawDecodeParams Decode8() {
  RawDecodeParams params;
  params.quantize = true;
  return params;
}

RawImage RawDecode(const std::uint8_t* data, std::size_t size, const RawDecodeParams& params) {
  RawImage image;
  image.bottomUp = params.bottomUp;
  BlockSource source{};
  if (params.sourceBlock != 0) {
    source.data = data;
    source.size = size;
    source.blockSize = params.sourceBlock;
    source.block.resize(params.sourceBlock);
    source.pub.init_source = BlockSource::Init;
    source.pub.fill_input_buffer = BlockSource::Fill;
    source.pub.skip_input_data = BlockSource::Skip;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = BlockSource::Term;
  }
  jpeg_decompress_struct codec{};
  JumpingErrorManager errors;
  InstallErrorManager(errors, *reinterpret_cast<jpeg_common_struct*>(&codec));
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&codec);
    throw std::runtime_error(std::string("libjpeg: ") + errors.message);
  }
  jpeg_create_decompress(&codec);
  if (params.sourceBlock != 0) {
    codec.src = &source.pub;
  } else {
    jpeg_mem_src(&codec, data, static_cast<unsigned long>(size));
  }
  jpeg_read_header(&codec, TRUE);

  codec.scale_num = 1;
  codec.scale_denom = params.scaleDenom;
  codec.do_block_smoothing = params.blockSmoothing ? TRUE : FALSE;
  codec.out_color_space =
      (params.grayOutput || codec.out_color_space == JCS_GRAYSCALE) ? JCS_GRAYSCALE : JCS_EXT_BGR;
  if (params.quantize || codec.out_color_space == JCS_GRAYSCALE) {
    codec.quantize_colors = TRUE;
    codec.desired_number_of_colors = params.colors;
  }
  codec.dct_method = params.dctMethod;
  codec.two_pass_quantize = params.twoPass ? TRUE : FALSE;
  codec.dither_mode = params.dither;
  const bool buffered = params.bufferedImage && jpeg_has_multiple_scans(&codec);
  if (buffered) {
    codec.enable_2pass_quant = codec.two_pass_quantize;
    codec.dct_method = JDCT_IFAST;
    codec.two_pass_quantize = FALSE;
    codec.dither_mode = JDITHER_ORDERED;
    codec.buffered_image = TRUE;
  }

  jpeg_start_decompress(&codec);
  image.width = static_cast<int>(codec.output_width);
  image.height = static_cast<int>(codec.output_height);
  image.bytesPerPixel = codec.output_components;
  image.rowBytes = (static_cast<std::ptrdiff_t>(image.width) * image.bytesPerPixel + 3) & ~3;
  // Uninitialised on purpose: every byte the image shows is written by the decoder.
  const std::size_t bytes =
      static_cast<std::size_t>(image.rowBytes) * static_cast<std::size_t>(image.height);
  image.pixels = ReusedOutput(bytes);
  const std::ptrdiff_t stride = params.bottomUp ? -image.rowBytes : image.rowBytes;
  std::uint8_t* const firstRow =
      image.pixels.get() + (params.bottomUp ? (image.height - 1) * image.rowBytes : 0);
  const int rowsPerCall = stride > 0 ? codec.rec_outbuf_height : 1;

  if (buffered) {
    while (jpeg_consume_input(&codec) != JPEG_REACHED_EOI) {
      jpeg_start_output(&codec, codec.input_scan_number);
      ReadPass(codec, firstRow, stride, rowsPerCall);
      jpeg_finish_output(&codec);
    }
    codec.dct_method = params.dctMethod;
    codec.dither_mode = params.dither;
    if (params.twoPass) {
      codec.two_pass_quantize = TRUE;
      codec.colormap = nullptr;
    }
    jpeg_start_output(&codec, codec.input_scan_number);
  }
  ReadPass(codec, firstRow, stride, rowsPerCall);
  if (buffered) jpeg_finish_output(&codec);

  if (codec.quantize_colors && codec.colormap != nullptr) {
    image.colorCount = codec.actual_number_of_colors;
    const bool gray = codec.out_color_components == 1;
    for (int i = 0; i < image.colorCount; ++i) {
      const std::uint32_t b = codec.colormap[0][i];
      const std::uint32_t g = gray ? b : codec.colormap[1][i];
      const std::uint32_t r = gray ? b : codec.colormap[2][i];
      image.palette[static_cast<std::size_t>(i)] = r << 16 | g << 8 | b;
    }
  }
  jpeg_finish_decompress(&codec);
  jpeg_destroy_decompress(&codec);
  return image;
}

void RawCompress(const RawCompressParams& params, const std::uint8_t* firstRow,
                 std::ptrdiff_t rowStride, int rowsPerCall, std::vector<std::uint8_t>& out) {
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(rowsPerCall));
  auto destination = std::make_unique<BlockDestination>();
  destination->out = &out;
  jpeg_compress_struct codec{};
  JumpingErrorManager errors;
  InstallErrorManager(errors, *reinterpret_cast<jpeg_common_struct*>(&codec));
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&codec);
    throw std::runtime_error(std::string("libjpeg: ") + errors.message);
  }
  jpeg_create_compress(&codec);
  destination->pub.init_destination = BlockDestination::Init;
  destination->pub.empty_output_buffer = BlockDestination::Empty;
  destination->pub.term_destination = BlockDestination::Term;
  codec.dest = &destination->pub;

  codec.image_width = static_cast<JDIMENSION>(params.width);
  codec.image_height = static_cast<JDIMENSION>(params.height);
  codec.input_components = params.components;
  codec.in_color_space = params.inColorSpace;
  jpeg_set_defaults(&codec);
  codec.dct_method = params.dctMethod;
  jpeg_set_quality(&codec, params.quality, TRUE);
  if (params.progressive) jpeg_simple_progression(&codec);
  jpeg_start_compress(&codec, TRUE);
  const std::uint8_t* current = firstRow;
  while (codec.next_scanline < codec.image_height) {
    const int left = static_cast<int>(codec.image_height - codec.next_scanline);
    const int count = rowsPerCall < left ? rowsPerCall : left;
    for (int k = 0; k < count; ++k)
      rows[static_cast<std::size_t>(k)] = const_cast<JSAMPROW>(current + k * rowStride);
    const JDIMENSION done =
        jpeg_write_scanlines(&codec, rows.data(), static_cast<JDIMENSION>(count));
    current += static_cast<std::ptrdiff_t>(done) * rowStride;
  }
  jpeg_finish_compress(&codec);
  jpeg_destroy_compress(&codec);
}

}  // namespace bench
