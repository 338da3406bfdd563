#pragma once
// The main window's layout, Unit1.layout, compiled into the program.
#include <cstdint>
#include <span>

std::span<const std::uint8_t> Unit1LayoutBytes();
