#pragma once
// Whole files as bytes.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Empty when the file cannot be read.
Bytes ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);
// Throws when the file cannot be written.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
