#pragma once
// Milliseconds from a monotonic clock, 32-bit, wrapping.
#include <cstdint>
#include <functional>

std::uint32_t GetTickCount();

// Tests replace the clock; an empty function restores the real one.
void SetTickCountSource(std::function<std::uint32_t()> source);
