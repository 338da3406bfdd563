#pragma once
// ImageMagick's convert as an independent reader and writer of BMP files.
#include <cstdio>
#include <string>

// Runs a shell command and returns its standard output; ok is false when it failed.
inline std::string RunCapture(const std::string& command, bool* ok) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *ok = false;
    return output;
  }
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  *ok = pclose(pipe) == 0;
  return output;
}

inline bool HaveConvert() {
  bool ok = false;
  RunCapture("convert -version >/dev/null 2>&1", &ok);
  return ok;
}

// The picture's pixels as ImageMagick sees them: R,G,B bytes, rows top to bottom.
inline std::string DecodeToRgb(const std::string& file, bool* ok) {
  return RunCapture("convert '" + file + "' -depth 8 rgb:- 2>/dev/null", ok);
}
