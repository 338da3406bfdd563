#pragma once
// A zlib stream (RFC 1950) holding one deflate block with the fixed Huffman codes (RFC 1951)
// and greedy LZ77 matching: small enough to write here, good enough for flat-coloured icons.
#include <cstdint>
#include <span>

#include "tools/resgen/byte_sink.h"

Bytes ZlibCompress(std::span<const std::uint8_t> data);

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);
std::uint32_t Adler32(std::span<const std::uint8_t> data);
