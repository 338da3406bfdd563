#include "tests/jpeg/test_support.h"

#include <fstream>
#include <stdexcept>

#include "framework/graphics/palette.h"

namespace {

// A smooth colour test image, R,G,B per pixel, rows top to bottom.
Bytes GradientRgb(int width, int height) {
  Bytes rgb;
  rgb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb.push_back(static_cast<std::uint8_t>(x * 255 / (width > 1 ? width - 1 : 1)));
      rgb.push_back(static_cast<std::uint8_t>(y * 255 / (height > 1 ? height - 1 : 1)));
      rgb.push_back(static_cast<std::uint8_t>((x + y) * 4));
    }
  }
  return rgb;
}

}  // namespace

Bytes Cjpeg(int width, int height, const Bytes& rgb, const std::string& options, bool gray) {
  TempDir dir;
  {
    std::ofstream file(dir.Path("in.pnm"), std::ios::binary);
    file << (gray ? "P5\n" : "P6\n") << width << ' ' << height << "\n255\n";
    // A gray image is the green channel.
    for (std::size_t i = gray ? 1 : 0; i < rgb.size(); i += gray ? 3 : 1) file.put(char(rgb[i]));
  }
  const std::string command =
      "cjpeg " + options + " -outfile " + dir.Quoted("out.jpg") + " " + dir.Quoted("in.pnm");
  if (RunShell(command) != 0) throw std::runtime_error("cjpeg failed: " + command);
  return ReadFileBytes(dir.Path("out.jpg"));
}

Bytes MakeJpeg(int width, int height, const std::string& cjpegOptions, bool gray) {
  return Cjpeg(width, height, GradientRgb(width, height), cjpegOptions, gray);
}

Image Resolve(TBitmap& bitmap) {
  Image image{bitmap.GetWidth(), bitmap.GetHeight(), {}};
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < image.width; ++x) {
      if (bitmap.GetPixelFormat() == pf8bit) {
        const TColor color = bitmap.PaletteColor(row[x]);
        image.rgb.insert(image.rgb.end(), {GetRValue(color), GetGValue(color), GetBValue(color)});
      } else {
        image.rgb.insert(image.rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
      }
    }
  }
  return image;
}

Image Djpeg(const Bytes& jpeg, const std::string& options) {
  TempDir dir;
  WriteFileBytes(dir.Path("in.jpg"), jpeg);
  const std::string command =
      "djpeg " + options + " -bmp -outfile " + dir.Quoted("out.bmp") + " " + dir.Quoted("in.jpg");
  // Status 2: decoded, with warnings about the data.
  const int status = RunShell(command);
  if (status != 0 && status != 2) throw std::runtime_error("djpeg failed: " + command);
  TBitmap bitmap;
  bitmap.LoadFromFile(dir.Path("out.bmp").string());
  return Resolve(bitmap);
}

std::string DjpegOptions(const TJPEGDefaults& options, bool grayFile) {
  const bool fast = options.DecodeSpeed == dsBestSpeed;
  std::string result = fast ? "-dct fast" : "-dct float";
  if (options.GrayOutput) result += " -grayscale";
  if (options.BitmapDepth == bd8Bit || options.GrayOutput || grayFile) {
    result += " -colors 236";
    if (fast) result += " -dither ordered -onepass";
  }
  if (options.ShrinkFactor != sfFull)
    result += " -scale 1/" + std::to_string(1 << options.ShrinkFactor);
  return result;
}

void ExpectSameColours(const Image& expected, const Image& actual) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  std::size_t differing = 0, first = 0;
  for (std::size_t i = 0; i < expected.rgb.size(); ++i) {
    if (expected.rgb[i] != actual.rgb[i] && differing++ == 0) first = i;
  }
  EXPECT_EQ(differing, 0u) << "first at pixel " << first / 3 << " channel " << first % 3 << ": "
                           << int(actual.rgb[first]) << " instead of " << int(expected.rgb[first]);
}

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

Bytes BytesOf(const TMemoryStream& stream) {
  const auto* first = stream.Memory();
  return first == nullptr ? Bytes() : Bytes(first, first + stream.GetSize());
}

std::unique_ptr<TBitmap> PatternBitmap(int width, int height) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = bitmap->ScanLine(y) + 3 * x;
      pixel[0] = static_cast<std::uint8_t>(x);
      pixel[1] = static_cast<std::uint8_t>(y);
      pixel[2] = static_cast<std::uint8_t>(x + y);
    }
  }
  return bitmap;
}

std::string JpegErrorText(int code) { return "JPEG error #" + std::to_string(code); }

ShellRun RunCapturing(const TempDir& dir, const std::string& command) {
  ShellRun run{};
  run.status = RunShell("{ " + command + "; } 2>" + dir.Quoted("err.txt"), &run.out);
  const Bytes err = ReadFileBytes(dir.Path("err.txt"));
  run.err.assign(err.begin(), err.end());
  return run;
}
