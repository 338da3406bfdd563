#pragma once
// A fresh application on the headless backend for each test, and a small picture in the layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/forms/application.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/text_backend.h"
#include "framework/window/headless_backend.h"
#include "framework/window/text_renderer.h"

// Text through the real font renderer, as the program draws it.
inline void UseRealFonts() { SetTextBackend(&TTextRenderer::Instance()); }

// A 2 x 2 BMP file: top row red, green; bottom row blue, white.
inline std::string TwoByTwoBmp() {
  TBitmap bitmap;
  bitmap.SetSize(2, 2);
  // Pixels are B,G,R.
  std::memcpy(bitmap.ScanLine(0), "\x00\x00\xFF\x00\xFF\x00", 6);
  std::memcpy(bitmap.ScanLine(1), "\xFF\x00\x00\xFF\xFF\xFF", 6);
  TMemoryStream file;
  bitmap.SaveToStream(file);
  return std::string(reinterpret_cast<const char*>(file.Memory()),
                     static_cast<std::size_t>(file.GetSize()));
}

// The Picture.Data value holding a BMP: class name, then the bitmap's counted payload.
inline std::string PictureDataHex(const std::string& bmp) {
  std::string data = "\x07TBitmap";
  const auto size = static_cast<std::uint32_t>(bmp.size());
  for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((size >> shift) & 0xFF);
  data += bmp;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : data) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseRealFonts();
    auto backend = std::make_unique<THeadlessBackend>();
    backend_ = backend.get();
    SetWindowBackend(std::move(backend));
    saved_ = Application;
    application_ = std::make_unique<TApplication>(nullptr);
    Application = application_.get();
    Application->SetTitle("Test App");
  }
  void TearDown() override {
    application_.reset();
    RegisterMainIcon({});
    Application = saved_;
    SetWindowBackend(nullptr);
  }

  THeadlessBackend& Backend() { return *backend_; }

 private:
  THeadlessBackend* backend_ = nullptr;
  TApplication* saved_ = nullptr;
  std::unique_ptr<TApplication> application_;
};
