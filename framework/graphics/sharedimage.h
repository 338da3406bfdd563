#pragma once
// A reference-counted record that several graphics share (their compressed bytes, say).
// A new record has a count of zero; Reference adds one, Release takes one away and destroys
// the record when the count reaches zero.
#include "framework/classes/object.h"

class TSharedImage : public TObject {
 public:
  const char* ClassName() const override { return "TSharedImage"; }
  void Reference() { ++refCount_; }
  void Release();
  int RefCount() const { return refCount_; }

 protected:
  // Frees the system handles the record holds, before it is destroyed.
  virtual void ReleaseHandles() = 0;

 private:
  int refCount_ = 0;
};

// Keeps a record alive for one scope: an operation that works on a graphic's record holds it,
// so that a handler which makes the graphic drop the record cannot free it under the operation.
class TSharedImageHold {
 public:
  explicit TSharedImageHold(TSharedImage& image) : image_(image) { image_.Reference(); }
  ~TSharedImageHold() { image_.Release(); }
  TSharedImageHold(const TSharedImageHold&) = delete;
  TSharedImageHold& operator=(const TSharedImageHold&) = delete;

 private:
  TSharedImage& image_;
};
