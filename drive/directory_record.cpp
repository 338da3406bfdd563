#include "drive/directory_record.h"

#include <chrono>

#include "framework/system/utf8.h"

namespace {

constexpr std::size_t kRecordFixedBytes = 33;
constexpr std::uint32_t kSectorSize = 2048;
// Continuation areas followed per record: real images need one; a chain of them is a loop.
constexpr int kMaxContinuationAreas = 8;

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

// The 7-byte recording date: years since 1900, month, day, hour, minute, second, and the offset
// from UTC in quarter hours.
std::int64_t RecordTime(const std::uint8_t* date) {
  using namespace std::chrono;
  const year_month_day day{year{1900 + date[0]}, month{date[1]}, std::chrono::day{date[2]}};
  const auto quarters = static_cast<std::int8_t>(date[6]);
  if (!day.ok() || date[3] > 23 || date[4] > 59 || date[5] > 59 || quarters < -48 || quarters > 52)
    return 0;
  const auto time = sys_days{day}.time_since_epoch() + hours{date[3]} + minutes{date[4]} +
                    seconds{date[5]} - minutes{15 * quarters};
  return duration_cast<seconds>(time).count();
}

std::string Latin1Text(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) AppendUtf8(text, byte);
  return text;
}

// UTF-16 big-endian; a lone surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16Text(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t unit = char32_t{bytes[i]} << 8 | bytes[i + 1];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = char32_t{bytes[i + 2]} << 8 | bytes[i + 3];
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendUtf8(text, unit);
  }
  return text;
}

// "NAME.EXT;1" -> "NAME.EXT", "NAME.;1" -> "NAME".
std::string WithoutVersion(std::string name) {
  const std::size_t separator = name.rfind(';');
  if (separator != std::string::npos &&
      name.find_first_not_of("0123456789", separator + 1) == std::string::npos)
    name.erase(separator);
  if (name.size() > 1 && name.back() == '.') name.pop_back();
  return name;
}

std::string WithoutPadding(std::string text) {
  const std::size_t end = text.find_last_not_of(std::string_view(" \0", 2));
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace

std::optional<DirectoryRecord> ParseDirectoryRecord(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes[0] == 0) return std::nullopt;
  const std::size_t length = bytes[0];
  if (length < kRecordFixedBytes + 1 || length > bytes.size()) return std::nullopt;
  const std::size_t identifierBytes = bytes[32];
  if (identifierBytes == 0 || kRecordFixedBytes + identifierBytes > length) return std::nullopt;

  DirectoryRecord record;
  record.length = static_cast<std::uint32_t>(length);
  // The data starts after the extended attribute record, which takes whole sectors.
  const std::uint64_t extent = std::uint64_t{LittleEndian32(&bytes[2])} + bytes[1];
  record.extent = static_cast<std::uint32_t>(std::min<std::uint64_t>(extent, UINT32_MAX));
  record.size = LittleEndian32(&bytes[10]);
  record.time = RecordTime(&bytes[18]);
  record.flags = bytes[25];
  record.identifier = bytes.subspan(kRecordFixedBytes, identifierBytes);
  // An identifier of even length is followed by a padding byte.
  const std::size_t systemUse =
      std::min(length, kRecordFixedBytes + identifierBytes + (identifierBytes % 2 == 0 ? 1 : 0));
  record.systemUse = bytes.subspan(systemUse, length - systemUse);
  return record;
}

bool IsSelfOrParent(const DirectoryRecord& record) {
  return record.identifier.size() == 1 && record.identifier[0] <= 1;
}

std::string IsoName(std::span<const std::uint8_t> identifier) {
  return WithoutVersion(Latin1Text(identifier));
}

std::string JolietName(std::span<const std::uint8_t> identifier) {
  return WithoutVersion(Utf16Text(identifier));
}

bool IsUsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kMaxNameBytes &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string VolumeText(std::span<const std::uint8_t> field, bool joliet) {
  return WithoutPadding(joliet ? Utf16Text(field) : Latin1Text(field));
}

std::optional<std::uint8_t> SuspSkipBytes(const DirectoryRecord& rootSelf) {
  const auto area = rootSelf.systemUse;
  if (area.size() >= 7 && area[0] == 'S' && area[1] == 'P' && area[2] >= 7 && area[4] == 0xBE &&
      area[5] == 0xEF)
    return area[6];
  return std::nullopt;
}

RockRidgeEntry ReadRockRidge(const DirectoryRecord& record, std::uint8_t skipBytes,
                             const AreaReader& readArea) {
  RockRidgeEntry entry;
  std::span<const std::uint8_t> area;
  if (record.systemUse.size() > skipBytes) area = record.systemUse.subspan(skipBytes);

  for (int areas = 0;; ++areas) {
    struct Continuation {
      std::uint32_t sector, offset, length;
    };
    std::optional<Continuation> next;
    while (area.size() >= 4) {
      const std::size_t length = area[2];
      if (length < 4 || length > area.size()) break;
      const auto field = area.first(length);
      const auto is = [&](const char* signature) {
        return field[0] == signature[0] && field[1] == signature[1];
      };
      area = area.subspan(length);
      if (is("ST")) break;
      if (is("NM") && length >= 5 && (field[4] & 0x06) == 0) {
        // Bit 0 says more NM entries follow; "." and ".." (bits 1 and 2) are never shown.
        const auto part = field.subspan(5);
        if (entry.name.size() + part.size() > kMaxNameBytes)
          entry.nameTooLong = true;
        else
          entry.name.append(part.begin(), part.end());
      } else if (is("CE") && length >= 28) {
        next = Continuation{LittleEndian32(&field[4]), LittleEndian32(&field[12]),
                            LittleEndian32(&field[20])};
      } else if (is("RE")) {
        entry.relocated = true;
      } else if (is("CL") && length >= 12) {
        entry.childLink = LittleEndian32(&field[4]);
      }
    }
    if (!next || areas >= kMaxContinuationAreas) break;
    if (next->offset >= kSectorSize || next->length > kSectorSize - next->offset) break;
    area = readArea(next->sector, next->offset, next->length);
  }
  return entry;
}
