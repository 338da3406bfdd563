#pragma once
// The caption font's file (DejaVu Sans, see framework/window/fonts/), compiled into the program.
#include <cstdint>
#include <span>

std::span<const std::uint8_t> CaptionFontBytes();
