#pragma once
// ISO 9660 directory records and the names in them: the record layout, ISO 9660 and Joliet
// identifiers, and the Rock Ridge entries of the System Use Sharing Protocol (SUSP), whose
// continuation areas live in other sectors.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

// File flags of a directory record.
constexpr std::uint8_t kFlagDirectory = 0x02;
constexpr std::uint8_t kFlagAssociated = 0x04;
constexpr std::uint8_t kFlagNotFinalExtent = 0x80;

// Names longer than this (in UTF-8 bytes) are refused, as FUSE refuses them.
constexpr std::size_t kMaxNameBytes = 1024;

struct DirectoryRecord {
  std::uint32_t length = 0;  // bytes the record takes
  std::uint32_t extent = 0;  // first logical sector
  std::uint32_t size = 0;    // bytes
  std::uint8_t flags = 0;
  std::int64_t time = 0;  // seconds since 1970, UTC; 0 when the recorded date is invalid
  std::span<const std::uint8_t> identifier;
  std::span<const std::uint8_t> systemUse;  // after the identifier and its padding byte
};

// The record at the start of bytes, which run to the end of its sector; nothing when the length
// byte is 0 (the rest of the sector is padding) or the record does not fit.
std::optional<DirectoryRecord> ParseDirectoryRecord(std::span<const std::uint8_t> bytes);
// The records of a folder that stand for the folder itself and its parent.
bool IsSelfOrParent(const DirectoryRecord& record);

// A name as Linux shows it: ISO 9660 identifiers read as Latin-1, Joliet ones as UCS-2 (UTF-16)
// big-endian; both without the ";1" version and a trailing dot.
std::string IsoName(std::span<const std::uint8_t> identifier);
std::string JolietName(std::span<const std::uint8_t> identifier);
// Whether a name can stand in a folder: not empty, not "." or "..", no '/' or NUL, not too long.
bool IsUsableName(const std::string& name);
// Text of a volume descriptor field without its padding (spaces, NULs), as JolietName or Latin-1.
std::string VolumeText(std::span<const std::uint8_t> field, bool joliet);

// The SUSP "SP" entry at the start of a root folder's own record: the system use areas hold SUSP
// entries after this many skipped bytes. Nothing when the image has no SUSP.
std::optional<std::uint8_t> SuspSkipBytes(const DirectoryRecord& rootSelf);

struct RockRidgeEntry {
  std::string name;                        // from the NM entries; empty when there are none
  bool nameTooLong = false;                // the NM entries ran past kMaxNameBytes
  bool relocated = false;                  // RE: a folder shown elsewhere through a child link
  std::optional<std::uint32_t> childLink;  // CL: this entry is the folder at that sector
};

// The bytes of a continuation area (offset and length within one sector, already checked); empty
// when it cannot be read.
using AreaReader = std::function<std::span<const std::uint8_t>(
    std::uint32_t sector, std::uint32_t offset, std::uint32_t length)>;

// The Rock Ridge entries of one record, following at most a few continuation areas.
RockRidgeEntry ReadRockRidge(const DirectoryRecord& record, std::uint8_t skipBytes,
                             const AreaReader& readArea);
