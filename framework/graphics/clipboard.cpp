#include "framework/graphics/clipboard.h"

#include <unordered_map>
#include <vector>

#include "framework/system/exceptions.h"

namespace {

struct GlobalBlocks {
  THandle next = 0x20001;
  std::unordered_map<THandle, std::vector<std::uint8_t>> blocks;
};

// Never destroyed, so the clipboard can free its block when it is destroyed at exit.
GlobalBlocks& Blocks() {
  static auto* blocks = new GlobalBlocks;
  return *blocks;
}

}  // namespace

THandle GlobalAllocCopy(const void* bytes, std::size_t size) {
  if (size == 0) return 0;
  auto& table = Blocks();
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  table.next += 16;
  table.blocks.emplace(table.next, std::vector<std::uint8_t>(first, first + size));
  return table.next;
}

const std::uint8_t* GlobalData(THandle handle, std::size_t* size) {
  const auto& table = Blocks().blocks;
  const auto found = table.find(handle);
  if (found == table.end()) {
    if (size != nullptr) *size = 0;
    return nullptr;
  }
  if (size != nullptr) *size = found->second.size();
  return found->second.data();
}

void GlobalFree(THandle handle) { Blocks().blocks.erase(handle); }

int GlobalLiveBlockCount() { return static_cast<int>(Blocks().blocks.size()); }

TClipboard::~TClipboard() { Clear(); }

void TClipboard::Clear() {
  GlobalFree(data_);
  if (palette_ != 0) DeleteObject(palette_);
  format_ = 0;
  data_ = 0;
  palette_ = 0;
}

void TClipboard::Assign(TGraphic* graphic) {
  Clear();
  if (graphic == nullptr) return;
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  graphic->SaveToClipboardFormat(format, data, palette);
  format_ = format;
  data_ = data;
  palette_ = palette;
}

bool TClipboard::HasFormat(std::uint16_t format) const {
  if (format == CF_PALETTE) return palette_ != 0;
  if (data_ == 0) return false;
  // A DIB on the clipboard serves requests for a bitmap as well.
  return format == format_ || (format == CF_BITMAP && format_ == CF_DIB);
}

void TClipboard::AssignTo(TGraphic* graphic) const {
  if (data_ == 0) throw EInvalidGraphic("The clipboard holds no picture");
  graphic->LoadFromClipboardFormat(format_, data_, palette_);
}

TClipboard& Clipboard() {
  static TClipboard clipboard;
  return clipboard;
}
