#pragma once
// Base class of every picture kind (bitmap, JPEG). Public operations are thin non-virtual
// wrappers over the protected virtual ones that each kind overrides.
#include <cstdint>
#include <functional>
#include <memory>

#include "framework/classes/persistent.h"
#include "framework/classes/stream.h"
#include "framework/graphics/palette.h"
#include "framework/graphics/types.h"
#include "framework/system/ansistring.h"

class TCanvas;
class TGraphic;

// A global memory handle (for clipboard data); see clipboard.h.
using THandle = std::uintptr_t;

enum TProgressStage : std::uint8_t { psStarting = 0, psRunning = 1, psEnding = 2 };

using TNotifyEvent = std::function<void(TObject* sender)>;
using TProgressEvent =
    std::function<void(TObject* sender, TProgressStage stage, std::uint8_t percent, bool redrawNow,
                       const TRect& rect, const AnsiString& message)>;

// The class object of a graphic kind: it names the class and constructs an instance
// (the "virtual constructor" the picture registry needs).
struct TGraphicClass {
  const char* name;
  std::unique_ptr<TGraphic> (*create)();
};

class TGraphic : public TInterfacedPersistent {
 public:
  TGraphic() = default;
  // A graphic freed by a handler of its own decode or save would be used after it is gone; that
  // is a fault of the program, which ends here with a message instead of corrupting memory.
  ~TGraphic() override;
  const char* ClassName() const override { return "TGraphic"; }

  int GetWidth() { return QueryWidth(); }
  int GetHeight() { return QueryHeight(); }
  void SetWidth(int value) { ChangeWidth(value); }
  void SetHeight(int value) { ChangeHeight(value); }
  HPALETTE GetPalette() { return QueryPalette(); }
  void SetPalette(HPALETTE value) { ChangePalette(value); }
  bool Empty() { return IsEmpty(); }
  bool GetTransparent() { return GetTransparentFlag(); }
  void SetTransparent(bool value) { SetTransparentFlag(value); }
  bool IsEqual(TGraphic* other) { return Equals(other); }

  virtual void LoadFromFile(const AnsiString& fileName);
  virtual void SaveToFile(const AnsiString& fileName);
  void LoadFromStream(TStream& stream) { ReadFromStream(stream); }
  void SaveToStream(TStream& stream) { WriteToStream(stream); }
  void LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) {
    ImportClipboardData(format, data, palette);
  }
  void SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) {
    ExportClipboardData(format, data, palette);
  }

  // The form property payload (what TPicture's Data property wraps).
  void ReadData(TStream& stream) { ReadFormData(stream); }
  void WriteData(TStream& stream) { WriteFormData(stream); }

  // Draws the graphic stretched into rect; TCanvas::StretchDraw calls this.
  void Draw(TCanvas& canvas, const TRect& rect) { RenderStretched(canvas, rect); }

  // An operation that sends notifications (a decode, a save) marks the graphic busy while it
  // runs; the picture holder refuses to free a busy graphic.
  bool Busy() const { return busy_ > 0; }
  class TBusyScope {
   public:
    explicit TBusyScope(TGraphic& graphic) : graphic_(graphic) { ++graphic_.busy_; }
    ~TBusyScope() { --graphic_.busy_; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    TGraphic& graphic_;
  };

  bool Modified() const { return modified_; }
  void SetModified(bool value);
  bool PaletteModified = false;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

  // Change notification: marks the graphic modified and calls OnChange.
  virtual void Changed(TObject* sender);
  // Progress notification; the default passes it to OnProgress.
  virtual void Progress(TObject* sender, TProgressStage stage, std::uint8_t percent, bool redrawNow,
                        const TRect& rect, const AnsiString& message);

 protected:
  virtual void RenderStretched(TCanvas& canvas, const TRect& rect) = 0;
  // Same class and the same bytes written by WriteToStream.
  virtual bool Equals(TGraphic* other);
  virtual bool IsEmpty() = 0;
  virtual int QueryHeight() = 0;
  virtual int QueryWidth() = 0;
  virtual HPALETTE QueryPalette() { return 0; }
  virtual bool GetTransparentFlag() { return transparent_; }
  virtual void SetTransparentFlag(bool value);
  virtual void ChangeHeight(int value) = 0;
  virtual void ChangeWidth(int value) = 0;
  virtual void ChangePalette(HPALETTE) {}
  // Form payload; the defaults store the stream format behind a 32-bit little-endian count.
  virtual void ReadFormData(TStream& stream);
  virtual void WriteFormData(TStream& stream);
  virtual void ReadFromStream(TStream& stream) = 0;
  virtual void WriteToStream(TStream& stream) = 0;
  virtual void ImportClipboardData(std::uint16_t format, THandle data, HPALETTE palette) = 0;
  virtual void ExportClipboardData(std::uint16_t& format, THandle& data, HPALETTE& palette) = 0;

 private:
  bool modified_ = false;
  bool transparent_ = false;
  int busy_ = 0;
};
