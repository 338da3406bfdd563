#include "framework/graphics/graphic.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "framework/classes/file_save.h"
#include "framework/system/exceptions.h"
#include "framework/system/little_endian.h"

TGraphic::~TGraphic() {
  if (busy_ == 0) return;
  std::fputs("A graphic was freed by a handler of its own decode or save\n", stderr);
  std::abort();
}

void TGraphic::LoadFromFile(const AnsiString& fileName) {
  TFileStream file(fileName, fmOpenRead);
  ReadFromStream(file);
}

void TGraphic::SaveToFile(const AnsiString& fileName) {
  SaveFileReplacing(fileName, [this](TStream& file) { WriteToStream(file); });
}

void TGraphic::SetModified(bool value) {
  if (value) {
    Changed(this);
  } else {
    modified_ = false;
  }
}

void TGraphic::Changed(TObject*) {
  modified_ = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* sender, TProgressStage stage, std::uint8_t percent, bool redrawNow,
                        const TRect& rect, const AnsiString& message) {
  if (OnProgress) OnProgress(sender, stage, percent, redrawNow, rect, message);
}

bool TGraphic::Equals(TGraphic* other) {
  if (other == nullptr || typeid(*this) != typeid(*other)) return false;
  if (other == this) return true;
  TMemoryStream mine;
  TMemoryStream theirs;
  WriteToStream(mine);
  other->WriteToStream(theirs);
  return mine.GetSize() == theirs.GetSize() &&
         (mine.GetSize() == 0 || std::memcmp(mine.Memory(), theirs.Memory(),
                                             static_cast<std::size_t>(mine.GetSize())) == 0);
}

void TGraphic::SetTransparentFlag(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed(this);
}

void TGraphic::ReadFormData(TStream& stream) {
  std::uint8_t countBytes[4];
  stream.ReadBuffer(countBytes, 4);
  const auto count = static_cast<std::int32_t>(ReadLE32(countBytes));
  // A count the stream cannot back is refused before anything is allocated for it.
  if (count < 0 || count > stream.GetSize() - stream.GetPosition()) {
    throw EReadError("Stream read error");
  }
  // The graphic reads its stream to the end, so it gets exactly the counted bytes.
  TMemoryStream payload;
  payload.SetSize64(count);
  stream.ReadBuffer(payload.Memory(), count);
  ReadFromStream(payload);
}

void TGraphic::WriteFormData(TStream& stream) {
  TMemoryStream payload;
  WriteToStream(payload);
  const std::int64_t size = payload.GetSize();
  if (size > INT32_MAX) throw EWriteError("Stream write error");
  const auto count = static_cast<std::uint32_t>(size);
  std::uint8_t countBytes[4];
  WriteLE32(countBytes, count);
  stream.WriteBuffer(countBytes, 4);
  stream.WriteBuffer(payload.Memory(), size);
}
