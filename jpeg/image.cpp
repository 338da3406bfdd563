// The picture object model: construction, sharing of the compressed data, copying to and from
// bitmaps, comparison, sizes, palettes, drawing and the clipboard.
#include <memory>

#include "framework/graphics/canvas.h"
#include "framework/graphics/screen.h"
#include "framework/system/resstrings.h"
#include "jpeg/codec.h"
#include "jpeg/picture_internals.h"

TJPEGData::~TJPEGData() = default;

namespace {

std::unique_ptr<TGraphic> CreateJpegImage() { return std::make_unique<TJPEGImage>(); }

constinit const TGraphicClass kJpegImageClass{"TJPEGImage", &CreateJpegImage};

// A halftone palette when the screen shows 8 bits per pixel or fewer, else 0.
HPALETTE HalftonePaletteForPalettedScreen() {
  if (!ScreenIsPaletted()) return 0;
  const HDC screen = GetDC(0);
  const HPALETTE palette = CreateHalftonePalette(screen);
  ReleaseDC(0, screen);
  return palette;
}

// Without a readable header (no data, empty or damaged bytes) the size is 0 at every scale:
// asking the decoder would only raise the header's error again from a mere size query.
bool UsesFullSize(TJPEGScale shrinkFactor, const TJPEGData& data) {
  return shrinkFactor == sfFull || data.ImageWidth == 0;
}

}  // namespace

const TGraphicClass& TJPEGImage::Class() { return kJpegImageClass; }

TJPEGImage::TJPEGImage()
    : blockSmoothing_(JpegDefaultOptions.BlockSmoothing),
      grayOutput_(JpegDefaultOptions.GrayOutput),
      bitmapDepth_(JpegDefaultOptions.BitmapDepth),
      saveQuality_(JpegDefaultOptions.SaveQuality),
      showWhileLoading_(JpegDefaultOptions.ShowWhileLoading),
      saveProgressive_(JpegDefaultOptions.SaveProgressive),
      decodeSpeed_(JpegDefaultOptions.DecodeSpeed),
      shrinkFactor_(JpegDefaultOptions.ShrinkFactor) {
  StartNewData();
}

TJPEGImage::~TJPEGImage() {
  TJPEGImageInternals::DropDecodingAhead(*this);
  heldPalette_.reset();
  decodedBitmap_.reset();
  if (sharedData_ != nullptr) sharedData_->Release();
}

TJPEGState TJPEGImage::State() const {
  if (sharedData_->JpegStream) return decodedBitmap_ ? TJPEGState::Decoded : TJPEGState::Compressed;
  return decodedBitmap_ ? TJPEGState::BitmapOnly : TJPEGState::Blank;
}

void TJPEGImage::StartNewData() {
  TJPEGImageInternals::DropDecodingAhead(*this);
  auto* fresh = new TJPEGData;
  if (sharedData_ != nullptr) sharedData_->Release();
  sharedData_ = fresh;
  sharedData_->Reference();
  outputSizeStale_ = true;
}

void TJPEGImage::StartNewBitmap() { decodedBitmap_ = std::make_shared<TBitmap>(); }

void TJPEGImage::DiscardBitmap() { decodedBitmap_.reset(); }

void TJPEGImage::Changed(TObject* sender) { TGraphic::Changed(sender); }

void TJPEGImage::Assign(TPersistent* source) {
  if (auto* picture = dynamic_cast<TJPEGImage*>(source)) {
    // Taking over one's own record would release it before it is referenced again.
    if (picture == this) return;
    std::unique_ptr<TBitmap> copy;
    if (TBitmap* bitmap = picture->decodedBitmap_.get()) {
      copy = std::make_unique<TBitmap>();
      copy->Assign(bitmap);
    }
    TJPEGImageInternals::DropDecodingAhead(*this);
    picture->sharedData_->Reference();
    sharedData_->Release();
    sharedData_ = picture->sharedData_;
    outputSizeStale_ = true;
    decodedBitmap_ = std::move(copy);
    return;
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(bitmap);
    StartNewData();
    decodedBitmap_ = std::move(copy);
    return;
  }
  TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent* dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
    bitmap->Assign(GetDecodedBitmap(*this));
    return;
  }
  TGraphic::AssignTo(dest);
}

void TJPEGImage::RenderStretched(TCanvas& canvas, const TRect& rect) {
  canvas.StretchDraw(rect, GetDecodedBitmap(*this));
}

bool TJPEGImage::Equals(TGraphic* other) {
  auto* picture = dynamic_cast<TJPEGImage*>(other);
  if (picture == nullptr) return false;
  if (HoldsCompressedBytes(State()) && HoldsCompressedBytes(picture->State())) {
    return TGraphic::Equals(other);
  }
  return sharedData_ == picture->sharedData_;
}

bool TJPEGImage::IsEmpty() {
  switch (State()) {
    case TJPEGState::Blank:
      return true;
    case TJPEGState::BitmapOnly:
      return decodedBitmap_->Empty();
    case TJPEGState::Compressed:
    case TJPEGState::Decoded:
      break;
  }
  return false;
}

int TJPEGImage::QueryWidth() {
  if (decodedBitmap_) return decodedBitmap_->GetWidth();
  if (UsesFullSize(shrinkFactor_, *sharedData_)) return sharedData_->ImageWidth;
  TJPEGImageInternals::RefreshOutputSize(*this);
  return cachedOutputWidth_;
}

int TJPEGImage::QueryHeight() {
  if (decodedBitmap_) return decodedBitmap_->GetHeight();
  if (UsesFullSize(shrinkFactor_, *sharedData_)) return sharedData_->ImageHeight;
  TJPEGImageInternals::RefreshOutputSize(*this);
  return cachedOutputHeight_;
}

void TJPEGImage::ChangeWidth(int) { throw EInvalidGraphicOperation(LoadResString(SChangeJPGSize)); }

void TJPEGImage::ChangeHeight(int) {
  throw EInvalidGraphicOperation(LoadResString(SChangeJPGSize));
}

HPALETTE TJPEGImage::QueryPalette() {
  if (decodedBitmap_) return decodedBitmap_->GetPalette();
  if (heldPalette_) return heldPalette_.get();
  // The 8-bit decoder builds its own palette; a 24-bit picture on a paletted screen is shown
  // through a halftone one, made once.
  if (bitmapDepth_ == bd24Bit) heldPalette_.reset(HalftonePaletteForPalettedScreen());
  return heldPalette_.get();
}

void TJPEGImage::ChangePalette(HPALETTE palette) {
  if (palette == heldPalette_.get()) return;
  if (decodedBitmap_ && palette == decodedBitmap_->GetPalette()) {
    // The bitmap keeps its handle; the picture holds its own copy so that each handle has one
    // owner.
    heldPalette_.reset(palette == 0 ? 0 : CopyPalette(palette));
    return;
  }
  // A picture that holds only a bitmap has nothing to decode again: keep its only image.
  const bool rebuild = State() == TJPEGState::Decoded;
  if (rebuild) DiscardBitmap();
  // An 8-bit decode maps its pixels to the new palette: one begun earlier is of no use.
  if (bitmapDepth_ == bd8Bit) TJPEGImageInternals::DropDecodingAhead(*this);
  heldPalette_.reset(palette);
  if (rebuild) {
    PaletteModified = true;
    Changed(this);
  }
}

void TJPEGImage::ImportClipboardData(std::uint16_t format, THandle data, HPALETTE palette) {
  // The picture then holds only the imported bitmap, so that a save writes what it shows.
  auto imported = std::make_unique<TBitmap>();
  imported->LoadFromClipboardFormat(format, data, palette);
  StartNewData();
  decodedBitmap_ = std::move(imported);
}

void TJPEGImage::ExportClipboardData(std::uint16_t& format, THandle& data, HPALETTE& palette) {
  GetDecodedBitmap(*this)->SaveToClipboardFormat(format, data, palette);
}
