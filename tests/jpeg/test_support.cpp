#include "tests/jpeg/test_support.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "framework/graphics/palette.h"
#include "framework/graphics/screen.h"

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "talvesk-jpeg-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

int RunShell(const std::string& command, std::string* output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 4096> chunk{};
  std::size_t count = 0;
  while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
    if (output != nullptr) output->append(chunk.data(), count);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

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

void WritePnm(const std::filesystem::path& path, int width, int height, const Bytes& rgb,
              bool gray) {
  std::ofstream file(path, std::ios::binary);
  file << (gray ? "P5\n" : "P6\n") << width << ' ' << height << "\n255\n";
  if (!gray) {
    file.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return;
  }
  for (std::size_t i = 1; i < rgb.size(); i += 3) file.put(static_cast<char>(rgb[i]));
}

Bytes MakeJpeg(int width, int height, const std::string& cjpegOptions, bool gray) {
  TempDir dir;
  const auto input = dir.Path(gray ? "in.pgm" : "in.ppm");
  const auto output = dir.Path("out.jpg");
  WritePnm(input, width, height, GradientRgb(width, height), gray);
  const std::string command =
      "cjpeg " + cjpegOptions + " -outfile '" + output.string() + "' '" + input.string() + "'";
  if (RunShell(command) != 0) throw std::runtime_error("cjpeg failed: " + command);
  return ReadFileBytes(output);
}

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

Bytes BytesOf(TMemoryStream& stream) {
  const auto* first = stream.Memory();
  return first == nullptr ? Bytes() : Bytes(first, first + stream.GetSize());
}

void PaletteLeakCheck::SetUp() { liveAtStart_ = GdiLiveObjectCount(); }

void PaletteLeakCheck::TearDown() {
  SetEmulatedScreenDepth(0);
  EXPECT_EQ(GdiLiveObjectCount(), liveAtStart_) << "palette handles leaked or deleted twice";
}
