#pragma once
// A generated file in memory. Integers go in through framework/system/little_endian.h.
#include <cstdint>
#include <vector>

#include "framework/system/little_endian.h"

using Bytes = std::vector<std::uint8_t>;
