#pragma once
// The drive's small files: its records and settings, its installed copy, the helper it writes
// out, the links it reads. Writing goes through the framework's save helper, so a failed write
// destroys nothing.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Replaces the file's content (raises the framework's EWriteError or EFOpenError on failure).
void WriteWholeFile(const std::string& path, std::string_view bytes);

// The file's bytes, at most `limit` of them; nothing when it is not a regular file that can be
// read (a FIFO or a device is not opened for reading, so this never blocks).
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit);

// What a symbolic link holds; "" when the path is no link.
std::string LinkText(const std::string& path);
