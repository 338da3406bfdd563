#pragma once
// The framework's exception tree. Every failure the units report is an Exception;
// EAbort is the silent cancel that handlers raise and operations absorb.
#include <exception>

#include "framework/system/ansistring.h"

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : message_(std::move(message)) {}
  const AnsiString& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  AnsiString message_;
};

#define TALVESK_EXCEPTION(Name, Base) \
  class Name : public Base {          \
   public:                            \
    using Base::Base;                 \
  }

TALVESK_EXCEPTION(EAbort, Exception);
TALVESK_EXCEPTION(EInvalidGraphic, Exception);
TALVESK_EXCEPTION(EInvalidGraphicOperation, Exception);
TALVESK_EXCEPTION(EStreamError, Exception);
TALVESK_EXCEPTION(EReadError, EStreamError);
TALVESK_EXCEPTION(EWriteError, EStreamError);
TALVESK_EXCEPTION(EFOpenError, EStreamError);
TALVESK_EXCEPTION(EOutOfResources, Exception);
TALVESK_EXCEPTION(EConvertError, Exception);

#undef TALVESK_EXCEPTION

// Raises the silent EAbort.
[[noreturn]] void Abort();
