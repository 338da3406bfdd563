#pragma once
// CD images for the drive's tests: a known folder written by xorriso into ISO 9660 images, the
// same images rewritten into raw 2352-byte sectors as CD rippers write them, and byte patches at
// known places of the ISO 9660 layout for hostile images.
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/files.h"

inline constexpr char kVolumeLabel[] = "TALVESK_TEST";
// Every file and folder of the source folder has this time: 2001-09-09 01:46:40 UTC.
inline constexpr std::int64_t kSourceTime = 1000000000;
// Names that only Rock Ridge keeps whole: long (a continuation area holds it), mixed case, UTF-8.
inline const std::string kLongName = "A " + std::string(140, 'n') + " long name.txt";
inline const std::string kUnicodeName = "Ünïcödé Readme.txt";

// Writes the source folder: autorun.inf and Setup.exe at the root, Data/big.bin (3 MB), and
// Data/Nested with kLongName, kUnicodeName and "Mixed Case Name.TXT".
void WriteSourceFolder(const std::filesystem::path& folder);

enum class NameTrees { kRockRidgeAndJoliet, kJolietOnly, kIsoOnly };
void MakeIsoImage(const std::filesystem::path& folder, const std::filesystem::path& image,
                  NameTrees trees, const std::string& label = kVolumeLabel);
// xorriso's own reading of an image, as a folder to compare with.
void ExtractWithXorriso(const std::filesystem::path& image, const std::filesystem::path& folder);

// Sync pattern, address header, mode 1 or mode 2 form 1 sub-header; error-correction bytes zero.
void WriteRawImage(const std::filesystem::path& iso, const std::filesystem::path& raw, int mode);

// Places in a 2048-byte-sector image.
constexpr std::size_t kPrimaryDescriptor = 16 * 2048;
constexpr std::size_t kRootRecord = kPrimaryDescriptor + 156;
constexpr std::size_t kExtentField = 2;  // in a directory record, little- then big-endian
constexpr std::size_t kSizeField = 10;
std::uint32_t ExtentOf(const Bytes& image, std::size_t record);
// The byte offset of the record with this ISO 9660 identifier in the folder whose own record
// is at `folder`; throws when there is none.
std::size_t RecordIn(const Bytes& image, std::size_t folder, const std::string& identifier);
// Writes a both-endian 32-bit field.
void PutBothEndian(Bytes& image, std::size_t offset, std::uint32_t value);
