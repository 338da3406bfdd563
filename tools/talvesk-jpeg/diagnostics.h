#pragma once
// How talvesk-jpeg tells what went wrong: every message on stderr starts with "talvesk-jpeg: "
// and, when it is about a file, the file's name as given, so that a loop over many files shows
// which one failed.
#include <exception>
#include <stdexcept>
#include <string>

// A failure of one step on one file; what() is "NAME: message".
class FileFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message of a failure: the exception's own, and for a JPEG error libjpeg's words after it
// ("JPEG error #53: Not a JPEG file: starts with 0x50 0x36").
std::string Describe(const std::exception& error);

// Runs step; whatever it throws comes back as a FileFailure about the file.
template <class Step>
void OnFile(const std::string& name, Step&& step) {
  try {
    step();
  } catch (const FileFailure&) {
    throw;
  } catch (const std::exception& error) {
    throw FileFailure(name + ": " + Describe(error));
  }
}

// Prints "talvesk-jpeg: TEXT" and a newline on stderr.
void PrintMessage(const std::string& text);

// While it lives, libjpeg's warnings about damaged data are kept: the first one is printed as
// "talvesk-jpeg: NAME: warning: TEXT" when it goes (after the progress display it outlives has
// cleared its line). One at a time.
class WarningReport {
 public:
  explicit WarningReport(std::string name);
  ~WarningReport();
  WarningReport(const WarningReport&) = delete;
  WarningReport& operator=(const WarningReport&) = delete;

 private:
  static void Keep(const char* text) noexcept;

  std::string name_;
  std::string first_;
};
