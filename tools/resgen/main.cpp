// Generates the launcher's committed resources reproducibly:
//   talvesk-resgen all OUTDIR [--font FILE]
//       OUTDIR/placeholder.bmp, OUTDIR/talvesk.ico
//   talvesk-resgen layout-hex [BMP_FILE] [--font FILE] [--indent N]
//       the default tile picture's Picture.Data as the layout's {hex} block, drawn afresh or
//       taken from BMP_FILE (the committed launcher/resources/placeholder.bmp, say)
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/resgen/disc_icon.h"
#include "tools/resgen/ico_writer.h"
#include "tools/resgen/placeholder.h"

namespace {

struct Options {
  std::string mode;
  std::string outDir;
  std::string bmpFile;
  std::string fontFile = kDefaultFontFile;
  int indent = 0;
};

[[noreturn]] void Usage() {
  std::cerr << "usage: talvesk-resgen all OUTDIR [--font FILE]\n"
               "       talvesk-resgen layout-hex [BMP_FILE] [--font FILE] [--indent N]\n";
  std::exit(2);
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--font" && i + 1 < argc) {
      options.fontFile = argv[++i];
    } else if (arg == "--indent" && i + 1 < argc) {
      try {
        options.indent = std::stoi(argv[++i]);
      } catch (const std::exception&) {
        Usage();
      }
      if (options.indent < 0 || options.indent > 40) Usage();
    } else if (arg.starts_with("--")) {
      Usage();
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) Usage();
  options.mode = positional[0];
  if (options.mode == "all" && positional.size() == 2) {
    options.outDir = positional[1];
  } else if (options.mode == "layout-hex" && positional.size() <= 2) {
    if (positional.size() == 2) options.bmpFile = positional[1];
  } else {
    Usage();
  }
  return options;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path);
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void WriteAll(const Options& options) {
  const std::filesystem::path out = options.outDir;
  WriteFile(out / "placeholder.bmp", BuildPlaceholderBmp(options.fontFile));
  std::vector<RgbaImage> images;
  for (int size : IconSizes()) images.push_back(RenderDiscIcon(size));
  WriteFile(out / "talvesk.ico", EncodeIco(images));
}

void PrintLayoutHex(const Options& options) {
  const Bytes data = WrapAsPictureData(
      options.bmpFile.empty() ? BuildPlaceholderBmp(options.fontFile) : ReadFile(options.bmpFile));
  constexpr std::size_t kBytesPerLine = 32;  // 64 hex digits
  const std::string margin(static_cast<std::size_t>(options.indent), ' ');
  std::string text = "{";
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i % kBytesPerLine == 0) text += "\n" + margin;
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(data[i]));
    text += digits;
  }
  text += "}\n";
  std::cout << text;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseArguments(argc, argv);
  try {
    if (options.mode == "all")
      WriteAll(options);
    else
      PrintLayoutHex(options);
  } catch (const std::exception& error) {
    std::cerr << "talvesk-resgen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
