#pragma once
// The JPEG picture unit: TJPEGImage keeps the compressed bytes (shared between copies through a
// counted TJPEGData), reads only the header when loaded, and decodes into a TBitmap on first use.
#include <cstdint>
#include <experimental/propagate_const>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"
#include "framework/graphics/sharedimage.h"
#include "framework/system/exceptions.h"

// Every libjpeg error, as "JPEG error #<library message code>". LibraryText() holds the library's
// own words for it ("Not a JPEG file: starts with 0x50 0x36"), for a program that shows more.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
  EJPEG(int code, std::string libraryText);
  const std::string& LibraryText() const noexcept { return libraryText_; }

 private:
  std::string libraryText_;
};

// Called with the library's words for each warning about damaged data that it decodes anyway
// ("Premature end of JPEG file"); pictures themselves ignore warnings. Process-wide, null unless
// a program sets it; it must not throw.
using TJPEGWarningHandler = void (*)(const char* text) noexcept;
extern TJPEGWarningHandler JpegWarningHandler;

enum TJPEGPerformance : std::uint8_t { dsBestQuality = 0, dsBestSpeed = 1 };
enum TJPEGPixelFormat : std::uint8_t { bd24Bit = 0, bd8Bit = 1 };
enum TJPEGScale : std::uint8_t { sfFull = 0, sfHalf = 1, sfQuarter = 2, sfEighth = 3 };
using TJPEGQualityRange = std::uint8_t;  // 1 to 100

// Process-wide defaults every new picture copies; field order is part of the contract.
struct TJPEGDefaults {
  TJPEGQualityRange SaveQuality = 90;
  bool GrayOutput = false;
  TJPEGPerformance DecodeSpeed = dsBestQuality;
  TJPEGPixelFormat BitmapDepth = bd24Bit;
  bool ShowWhileLoading = false;
  bool SaveProgressive = false;
  TJPEGScale ShrinkFactor = sfFull;
  bool BlockSmoothing = true;
};
extern TJPEGDefaults JpegDefaultOptions;

// Fits JpegDefaultOptions.BitmapDepth to the screen's depth (8 bits or fewer: bd8Bit).
void AdjustDefaultsToScreen();

// The compressed bytes of one or more pictures, counted by TSharedImage.
class TJPEGData : public TSharedImage {
 public:
  ~TJPEGData() override;
  const char* ClassName() const override { return "TJPEGData"; }

  // Null while there is no compressed data. Reached through a const record, the stream is const
  // too, so that a read-only view of a picture cannot change the bytes it shares.
  std::experimental::propagate_const<std::unique_ptr<TMemoryStream>> JpegStream;
  std::int32_t ImageHeight = 0;
  std::int32_t ImageWidth = 0;
  bool IsGrayscale = false;

 protected:
  void ReleaseHandles() override {}

 private:
  friend struct TJPEGImageInternals;
  int compressions_ = 0;  // compressions writing new bytes for this record now
};

class TJPEGImage;
class TDecodeAheadJob;

// What a header says beyond the picture's size, for programs that describe files.
struct TJPEGHeaderDetails {
  int ColorSpace = 0;  // libjpeg's J_COLOR_SPACE of the data (JCS_YCbCr, JCS_CMYK, JCS_YCCK...)
  struct Sampling {
    int Horizontal, Vertical;
  };
  std::vector<Sampling> Components;  // each component's sampling factors, in file order
};
// Reads them again from the picture's compressed bytes; EJPEG when it holds none (an empty file)
// or they are damaged.
TJPEGHeaderDetails ReadHeaderDetails(TJPEGImage& picture);

// The picture's bitmap, decoded from its data on first use and kept for later calls; the picture
// owns it. A decode that fails raises its error once and leaves what was decoded. A picture that
// nobody watches (no OnProgress, not of a derived class) is decoded ahead on a worker thread from
// the moment it loads its data; this call then waits for that decode, and everything else is as
// if it had decoded here: the same bitmap, notifications, warnings and errors, on this thread.
TBitmap* GetDecodedBitmap(TJPEGImage& picture);

// What a picture holds: no data, compressed bytes only, compressed bytes and their bitmap, or a
// bitmap that has not been compressed (it is, when the picture is saved).
enum class TJPEGState : std::uint8_t { Blank, Compressed, Decoded, BitmapOnly };

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  const char* ClassName() const override { return "TJPEGImage"; }
  static const TGraphicClass& Class();

  void Assign(TPersistent* source) override;
  void Changed(TObject* sender) override;

  // Options, fixed at construction from JpegDefaultOptions.
  TJPEGQualityRange SaveQuality() const { return saveQuality_; }
  bool GrayOutput() const { return grayOutput_; }
  TJPEGPerformance DecodeSpeed() const { return decodeSpeed_; }
  TJPEGPixelFormat BitmapDepth() const { return bitmapDepth_; }
  bool ShowWhileLoading() const { return showWhileLoading_; }
  bool SaveProgressive() const { return saveProgressive_; }
  TJPEGScale ShrinkFactor() const { return shrinkFactor_; }
  bool BlockSmoothing() const { return blockSmoothing_; }

  // State, for callers that inspect a picture (tools, tests).
  TJPEGState State() const;
  const TJPEGData& Data() const { return *sharedData_; }
  const TJPEGData* SharedDataRecord() const { return sharedData_; }
  TBitmap* DecodedBitmapOrNull() const { return decodedBitmap_.get(); }
  HPALETTE HeldPaletteHandle() const { return heldPalette_.get(); }
  bool IsGrayscale() const { return sharedData_->IsGrayscale; }

 protected:
  void AssignTo(TPersistent* dest) override;
  void RenderStretched(TCanvas& canvas, const TRect& rect) override;
  bool Equals(TGraphic* other) override;
  bool IsEmpty() override;
  int QueryHeight() override;
  int QueryWidth() override;
  HPALETTE QueryPalette() override;
  void ChangeHeight(int value) override;
  void ChangeWidth(int value) override;
  void ChangePalette(HPALETTE palette) override;
  void ReadFormData(TStream& stream) override;
  void WriteFormData(TStream& stream) override;
  void ReadFromStream(TStream& stream) override;
  void WriteToStream(TStream& stream) override;
  void ImportClipboardData(std::uint16_t format, THandle data, HPALETTE palette) override;
  void ExportClipboardData(std::uint16_t& format, THandle& data, HPALETTE& palette) override;

 private:
  void StartNewData();
  void StartNewBitmap();
  void DiscardBitmap();
  void ReadJpegBytes(std::int32_t count, TStream& source);

  TJPEGData* sharedData_ = nullptr;  // counted reference; never null after construction
  // Shared, so that a decode still filling it keeps it when a handler makes the picture drop it.
  std::shared_ptr<TBitmap> decodedBitmap_;
  std::int32_t cachedOutputWidth_ = 0;
  std::int32_t cachedOutputHeight_ = 0;
  OwnedPalette heldPalette_;
  bool blockSmoothing_;
  bool grayOutput_;
  TJPEGPixelFormat bitmapDepth_;
  TJPEGQualityRange saveQuality_;
  bool showWhileLoading_;
  bool saveProgressive_;
  TJPEGPerformance decodeSpeed_;
  TJPEGScale shrinkFactor_;
  bool outputSizeStale_ = false;
  // The decode of the data on a worker thread, started when they were loaded; see
  // TJPEGImageInternals.
  std::shared_ptr<TDecodeAheadJob> decodeAhead_;

  friend TBitmap* GetDecodedBitmap(TJPEGImage&);
  friend TJPEGHeaderDetails ReadHeaderDetails(TJPEGImage&);  // reads the record's own stream
  friend struct TJPEGImageInternals;  // the unit's own operations on these fields
};
