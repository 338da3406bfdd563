// libpng reports errors by longjmp, so no C++ exception may unwind through its frames: every
// libpng call runs inside PngGuard, the stream callbacks catch what the stream throws and hand it
// to libpng's error path, and it is rethrown once the guard has returned.
#include "tools/talvesk-jpeg/png_format.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "framework/system/exceptions.h"

namespace {

// What the error path carries out of libpng.
struct PngFailure {
  char message[200] = {};
  std::exception_ptr pending;  // a stream's exception, rethrown as it is
};

[[noreturn]] void KeepError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::strncpy(failure->message, message, sizeof failure->message - 1);
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Runs f; an exception it throws goes to libpng's error path (f must not be left by a longjmp).
template <class F>
void CallStream(png_structp png, F&& f) {
  bool failed = false;
  try {
    f();
  } catch (...) {
    static_cast<PngFailure*>(png_get_error_ptr(png))->pending = std::current_exception();
    failed = true;
  }
  if (failed) png_error(png, "stream failed");
}

void ReadFromStream(png_structp png, png_bytep data, std::size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  std::int64_t count = 0;
  CallStream(png, [&] { count = stream->Read(data, static_cast<std::int64_t>(length)); });
  if (count != static_cast<std::int64_t>(length)) png_error(png, "the file ends early");
}

void WriteToStream(png_structp png, png_bytep data, std::size_t length) {
  auto* stream = static_cast<TStream*>(png_get_io_ptr(png));
  CallStream(png, [&] { stream->WriteBuffer(data, static_cast<std::int64_t>(length)); });
}

void FlushNothing(png_structp) {}

// Runs a block of libpng calls; false when libpng's error path left it. call must not create
// objects with non-trivial destructors that live across a libpng call.
template <class Call>
bool PngGuard(png_structp png, Call&& call) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  call();
  return true;
}

// Rethrows a stream's exception, or raises libpng's error with the prefix.
[[noreturn]] void Fail(const PngFailure& failure, const char* prefix) {
  if (failure.pending) std::rethrow_exception(failure.pending);
  throw EInvalidGraphic(std::string(prefix) + failure.message);
}

// A libpng reader or writer and its info record, destroyed on every path.
template <bool kReading>
struct PngCodec {
  PngFailure failure;
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngCodec() {
    png = kReading
              ? png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, KeepError, IgnoreWarning)
              : png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, KeepError, IgnoreWarning);
    if (png != nullptr) info = png_create_info_struct(png);
    if (info == nullptr) {
      Destroy();
      throw EOutOfResources("Out of memory for libpng");
    }
  }
  ~PngCodec() { Destroy(); }
  PngCodec(const PngCodec&) = delete;
  PngCodec& operator=(const PngCodec&) = delete;

  void Destroy() {
    if (png == nullptr) return;
    if (kReading) {
      png_destroy_read_struct(&png, &info, nullptr);
    } else {
      png_destroy_write_struct(&png, &info);
    }
  }
};

constexpr const char* kDamaged = "PNG file is not valid: ";

}  // namespace

bool LooksLikePng(const std::uint8_t* start, std::size_t size) {
  return size >= 8 && png_sig_cmp(start, 0, 8) == 0;
}

bool ReadPng(TBitmap& bitmap, TStream& stream) {
  PngCodec<true> reader;
  png_uint_32 width = 0, height = 0;
  int colorType = 0;
  // Whatever the file holds arrives as 8-bit B,G,R, the bitmap's own layout.
  const bool headerRead = PngGuard(reader.png, [&] {
    png_set_read_fn(reader.png, &stream, ReadFromStream);
    png_read_info(reader.png, reader.info);
    colorType = png_get_color_type(reader.png, reader.info);
    png_set_expand(reader.png);
    png_set_scale_16(reader.png);
    png_set_strip_alpha(reader.png);
    png_set_gray_to_rgb(reader.png);
    png_set_bgr(reader.png);
    png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    width = png_get_image_width(reader.png, reader.info);
    height = png_get_image_height(reader.png, reader.info);
    if (png_get_rowbytes(reader.png, reader.info) != std::size_t{width} * 3) {
      png_error(reader.png, "unexpected row layout");
    }
  });
  if (!headerRead) Fail(reader.failure, kDamaged);
  // libpng's own limit keeps both within a million.
  StartBitmap(bitmap, static_cast<int>(width), static_cast<int>(height));
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = bitmap.ScanLine(static_cast<int>(y));
  if (!PngGuard(reader.png, [&] { png_read_image(reader.png, rows.data()); })) {
    Fail(reader.failure, kDamaged);
  }
  return (colorType & PNG_COLOR_MASK_COLOR) == 0;
}

void WritePng(PixelRows& rows, bool gray, TStream& stream) {
  PngCodec<false> writer;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.Width()) * (gray ? 1 : 3));
  const bool written = PngGuard(writer.png, [&] {
    png_set_write_fn(writer.png, &stream, WriteToStream, FlushNothing);
    png_set_IHDR(writer.png, writer.info, static_cast<png_uint_32>(rows.Width()),
                 static_cast<png_uint_32>(rows.Height()), 8,
                 gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png, writer.info);
    for (int y = 0; y < rows.Height(); ++y) {
      rows.Row(y, gray, row.data());
      png_write_row(writer.png, row.data());
    }
    png_write_end(writer.png, writer.info);
  });
  if (!written) Fail(writer.failure, "Cannot write PNG: ");
}
