#include "framework/graphics/picture.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"

namespace {

struct FileFormat {
  AnsiString extension;  // lower case, no dot
  AnsiString description;
  const TGraphicClass* graphicClass;
};

AnsiString Lower(AnsiString text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Function-local, so registrations from other units' static initialisers find it constructed,
// and never destroyed, so unregistrations from their static destructors find it still there.
std::vector<FileFormat>& Formats() {
  static auto* formats = new std::vector<FileFormat>{{"bmp", "Bitmaps", &TBitmap::Class()}};
  return *formats;
}

bool SameClass(const TGraphicClass& a, const TGraphicClass& b) {
  return &a == &b || std::strcmp(a.name, b.name) == 0;
}

// The extension of the file name's last component, without the dot.
AnsiString ExtensionOf(const AnsiString& fileName) {
  const auto nameStart = fileName.find_last_of("\\/");
  const auto dot = fileName.rfind('.');
  if (dot == AnsiString::npos || (nameStart != AnsiString::npos && dot < nameStart)) return {};
  return fileName.substr(dot + 1);
}

const TGraphicClass& ClassOf(TGraphic& graphic) {
  const TGraphicClass* graphicClass = TPicture::FindClassByName(graphic.ClassName());
  if (graphicClass == nullptr) {
    throw EInvalidGraphic(AnsiString("Unknown picture class \"") + graphic.ClassName() + "\"");
  }
  return *graphicClass;
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const AnsiString& extension, const AnsiString& description,
                                  const TGraphicClass& graphicClass) {
  auto& formats = Formats();
  const AnsiString key = Lower(extension);
  std::erase_if(formats, [&](const FileFormat& format) { return format.extension == key; });
  formats.push_back({key, description, &graphicClass});
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
  std::erase_if(Formats(), [&](const FileFormat& format) {
    return SameClass(*format.graphicClass, graphicClass);
  });
}

const TGraphicClass* TPicture::FindClassByExtension(const AnsiString& extension) {
  const AnsiString key = Lower(extension);
  for (const FileFormat& format : Formats()) {
    if (format.extension == key) return format.graphicClass;
  }
  return nullptr;
}

const TGraphicClass* TPicture::FindClassByName(const AnsiString& className) {
  for (const FileFormat& format : Formats()) {
    if (className == format.graphicClass->name) return format.graphicClass;
  }
  // The bitmap is the framework's own kind and stays known without a file format.
  if (className == TBitmap::Class().name) return &TBitmap::Class();
  return nullptr;
}

int TPicture::Width() const { return graphic_ ? graphic_->GetWidth() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->GetHeight() : 0; }

void TPicture::SetGraphic(TGraphic* graphic) {
  if (graphic == nullptr) {
    SetGraphic(std::unique_ptr<TGraphic>());
    return;
  }
  if (graphic == graphic_.get()) return;
  std::unique_ptr<TGraphic> copy = ClassOf(*graphic).create();
  copy->Assign(graphic);
  SetGraphic(std::move(copy));
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  // Freeing the graphic from a handler of its own decode or save would pull it from under the
  // running operation.
  if (graphic_ && graphic_->Busy()) {
    throw EInvalidGraphicOperation("Cannot replace a picture while it is being decoded or saved");
  }
  if (graphic) graphic->OnChange = [this](TObject* sender) { GraphicChanged(sender); };
  graphic_ = std::move(graphic);
  GraphicChanged(this);
}

void TPicture::GraphicChanged(TObject*) {
  if (OnChange) OnChange(this);
}

void TPicture::LoadFromFile(const AnsiString& fileName) {
  const AnsiString extension = ExtensionOf(fileName);
  const TGraphicClass* graphicClass = FindClassByExtension(extension);
  if (graphicClass == nullptr) {
    throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
  }
  std::unique_ptr<TGraphic> graphic = graphicClass->create();
  graphic->LoadFromFile(fileName);
  SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const AnsiString& fileName) {
  if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::ReadData(TStream& stream) {
  std::uint8_t length = 0;
  stream.ReadBuffer(&length, 1);
  if (length == 0) {
    SetGraphic(std::unique_ptr<TGraphic>());
    return;
  }
  AnsiString className(length, '\0');
  stream.ReadBuffer(className.data(), length);
  const TGraphicClass* graphicClass = FindClassByName(className);
  if (graphicClass == nullptr) {
    throw EInvalidGraphic("Unknown picture class \"" + className + "\"");
  }
  std::unique_ptr<TGraphic> graphic = graphicClass->create();
  graphic->ReadData(stream);
  SetGraphic(std::move(graphic));
}

void TPicture::WriteData(TStream& stream) {
  if (!graphic_) {
    const std::uint8_t none = 0;
    stream.WriteBuffer(&none, 1);
    return;
  }
  const AnsiString className = graphic_->ClassName();
  if (className.empty() || className.size() > 255) {
    throw EInvalidGraphic("Unknown picture class \"" + className + "\"");
  }
  const auto length = static_cast<std::uint8_t>(className.size());
  stream.WriteBuffer(&length, 1);
  stream.WriteBuffer(className.data(), length);
  graphic_->WriteData(stream);
}

void TPicture::Assign(TPersistent* source) {
  if (source == nullptr) {
    SetGraphic(std::unique_ptr<TGraphic>());
  } else if (auto* picture = dynamic_cast<TPicture*>(source)) {
    if (picture != this) SetGraphic(picture->Graphic());
  } else if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(graphic);
  } else {
    TPersistent::Assign(source);
  }
}
