#include "tests/drive/disc_images.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/shell.h"

namespace {

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  WriteFileBytes(path, bytes);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

void SetTime(const std::filesystem::path& path) {
  const timespec times[2] = {{kSourceTime, 0}, {kSourceTime, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot set the time of " + path.string());
}

void Run(const std::string& command) {
  std::string output;
  if (RunShell(command + " 2>&1", &output) != 0)
    throw std::runtime_error(command + " failed: " + output);
}

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::uint8_t Bcd(unsigned value) { return static_cast<std::uint8_t>(value / 10 * 16 + value % 10); }

}  // namespace

void WriteSourceFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder / "Data" / "Nested");
  WriteFile(folder / "autorun.inf", Text("[autorun]\r\nopen=Setup.exe\r\n"));
  WriteFile(folder / "Setup.exe", Text("MZ a program that is not one"));
  // A few MB that end inside a sector, different in every sector.
  Bytes big(3 * 1024 * 1024 + 123);
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : big)
    byte = static_cast<std::uint8_t>((state = state * 1103515245 + 12345) >> 16);
  WriteFile(folder / "Data" / "big.bin", big);
  WriteFile(folder / "Data" / "Nested" / kLongName, Text("long"));
  WriteFile(folder / "Data" / "Nested" / kUnicodeName, Text("unicode"));
  WriteFile(folder / "Data" / "Nested" / "Mixed Case Name.TXT", Text("mixed"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    SetTime(entry.path());
}

void MakeIsoImage(const std::filesystem::path& folder, const std::filesystem::path& image,
                  NameTrees trees, const std::string& label) {
  const std::string names = trees == NameTrees::kRockRidgeAndJoliet ? "-rockridge on -joliet on"
                            : trees == NameTrees::kJolietOnly       ? "-rockridge off -joliet on"
                                                                    : "-rockridge off -joliet off";
  Run("xorriso -report_about SORRY -outdev " + Quoted(image) + " " + names + " -volid " + label +
      " -map " + Quoted(folder) + " / -commit");
}

void ExtractWithXorriso(const std::filesystem::path& image, const std::filesystem::path& folder) {
  Run("xorriso -report_about SORRY -osirrox on -indev " + Quoted(image) + " -extract / " +
      Quoted(folder));
}

void WriteRawImage(const std::filesystem::path& iso, const std::filesystem::path& raw, int mode) {
  const Bytes sectors = ReadFileBytes(iso);
  Bytes frames(sectors.size() / 2048 * 2352);
  for (std::size_t sector = 0; sector < sectors.size() / 2048; ++sector) {
    std::uint8_t* frame = &frames[sector * 2352];
    std::fill(frame + 1, frame + 11, 0xFF);                    // the sync pattern: 00, ten FF, 00
    const auto address = static_cast<unsigned>(sector + 150);  // two seconds of lead-in
    frame[12] = Bcd(address / 75 / 60);
    frame[13] = Bcd(address / 75 % 60);
    frame[14] = Bcd(address % 75);
    frame[15] = static_cast<std::uint8_t>(mode);
    // Mode 2 form 1: the sub-header, written twice, before the data.
    if (mode == 2) frame[18] = frame[22] = 8;
    std::copy_n(&sectors[sector * 2048], 2048, frame + (mode == 2 ? 24 : 16));
  }
  WriteFileBytes(raw, frames);
}

std::uint32_t ExtentOf(const Bytes& image, std::size_t record) {
  const std::size_t at = record + kExtentField;
  return image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
         static_cast<std::uint32_t>(image[at + 3]) << 24;
}

std::size_t RecordIn(const Bytes& image, std::size_t folder, const std::string& identifier) {
  const std::size_t start = std::size_t{ExtentOf(image, folder)} * 2048;
  const std::size_t end =
      start + (image[folder + kSizeField] | image[folder + kSizeField + 1] << 8 |
               image[folder + kSizeField + 2] << 16);
  for (std::size_t at = start; at < end && at < image.size();) {
    if (image[at] == 0) {
      at = (at / 2048 + 1) * 2048;
      continue;
    }
    if (image[at + 32] == identifier.size() &&
        std::equal(identifier.begin(), identifier.end(),
                   image.begin() + static_cast<std::ptrdiff_t>(at + 33)))
      return at;
    at += image[at];
  }
  throw std::runtime_error("no record " + identifier);
}

void PutBothEndian(Bytes& image, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    image[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    image[offset + 7 - static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}
