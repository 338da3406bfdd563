#include "tools/talvesk-jpeg/diagnostics.h"

#include <cstdio>

#include "jpeg/jpeg.h"

namespace {

WarningReport* activeReport = nullptr;

}  // namespace

std::string Describe(const std::exception& error) {
  const auto* jpegError = dynamic_cast<const EJPEG*>(&error);
  if (jpegError == nullptr || jpegError->LibraryText().empty()) return error.what();
  return std::string(error.what()) + ": " + jpegError->LibraryText();
}

void PrintMessage(const std::string& text) {
  // What went to stdout before comes before the message, also when both go to one file.
  std::fflush(stdout);
  std::fprintf(stderr, "talvesk-jpeg: %s\n", text.c_str());
}

WarningReport::WarningReport(std::string name) : name_(std::move(name)) {
  activeReport = this;
  JpegWarningHandler = Keep;
}

WarningReport::~WarningReport() {
  JpegWarningHandler = nullptr;
  activeReport = nullptr;
  if (!first_.empty()) PrintMessage(name_ + ": warning: " + first_);
}

void WarningReport::Keep(const char* text) noexcept {
  if (activeReport == nullptr || !activeReport->first_.empty()) return;
  try {
    activeReport->first_ = text;
  } catch (...) {
    // Out of memory for a warning's text: the warning is lost, the decode goes on.
  }
}
