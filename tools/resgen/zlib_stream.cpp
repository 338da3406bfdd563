#include "tools/resgen/zlib_stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr int kMaxChain = 128;
constexpr std::size_t kHashSize = 1 << 15;

constexpr std::array<unsigned, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<unsigned, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<unsigned, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<unsigned, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                     4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  // Values go least significant bit first, as deflate packs them.
  void Bits(unsigned value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1U);
  }
  // Huffman codes go most significant bit first.
  void Code(unsigned code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1U);
  }
  void Flush() {
    if (used_ > 0) out_.push_back(current_);
    current_ = 0;
    used_ = 0;
  }

 private:
  void Bit(unsigned bit) {
    current_ = static_cast<std::uint8_t>(current_ | (bit << used_));
    if (++used_ == 8) Flush();
  }
  Bytes& out_;
  std::uint8_t current_ = 0;
  unsigned used_ = 0;
};

void PutSymbol(BitWriter& bits, unsigned symbol) {
  if (symbol < 144)
    bits.Code(0x30 + symbol, 8);
  else if (symbol < 256)
    bits.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280)
    bits.Code(symbol - 256, 7);
  else
    bits.Code(0xC0 + symbol - 280, 8);
}

void PutMatch(BitWriter& bits, unsigned length, unsigned distance) {
  unsigned code = 0;
  while (code + 1 < kLengthBase.size() && kLengthBase[code + 1] <= length) ++code;
  PutSymbol(bits, 257 + code);
  bits.Bits(length - kLengthBase[code], kLengthExtra[code]);
  unsigned dcode = 0;
  while (dcode + 1 < kDistanceBase.size() && kDistanceBase[dcode + 1] <= distance) ++dcode;
  bits.Code(dcode, 5);
  bits.Bits(distance - kDistanceBase[dcode], kDistanceExtra[dcode]);
}

std::size_t Hash(std::span<const std::uint8_t> data, std::size_t at) {
  const unsigned key = (unsigned{data[at]} << 16) | (unsigned{data[at + 1]} << 8) | data[at + 2];
  return (key * 2654435761U >> 17) & (kHashSize - 1);
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
  crc = ~crc;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
  }
  return ~crc;
}

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

Bytes ZlibCompress(std::span<const std::uint8_t> data) {
  Bytes out = {0x78, 0x01};  // deflate, 32 KiB window, no dictionary; 0x7801 % 31 == 0
  BitWriter bits(out);
  bits.Bits(1, 1);  // final block
  bits.Bits(1, 2);  // fixed Huffman codes

  constexpr std::size_t kNone = SIZE_MAX;
  std::vector<std::size_t> head(kHashSize, kNone);
  std::vector<std::size_t> previous(kWindow, kNone);
  auto insert = [&](std::size_t at) {
    if (at + kMinMatch > data.size()) return;
    const std::size_t h = Hash(data, at);
    previous[at % kWindow] = head[h];
    head[h] = at;
  };

  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t bestLength = 0, bestDistance = 0;
    if (at + kMinMatch <= data.size()) {
      const std::size_t limit = std::min(kMaxMatch, data.size() - at);
      std::size_t candidate = head[Hash(data, at)];
      for (int chain = 0; chain < kMaxChain && candidate != kNone && at - candidate <= kWindow;
           ++chain) {
        std::size_t length = 0;
        while (length < limit && data[candidate + length] == data[at + length]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = at - candidate;
          if (length == limit) break;
        }
        const std::size_t next = previous[candidate % kWindow];
        if (next == kNone || next >= candidate) break;
        candidate = next;
      }
    }
    if (bestLength >= kMinMatch) {
      PutMatch(bits, static_cast<unsigned>(bestLength), static_cast<unsigned>(bestDistance));
      for (std::size_t k = 0; k < bestLength; ++k) insert(at + k);
      at += bestLength;
    } else {
      PutSymbol(bits, data[at]);
      insert(at);
      ++at;
    }
  }
  PutSymbol(bits, 256);  // end of block
  bits.Flush();
  PutU32BE(out, Adler32(data));
  return out;
}
