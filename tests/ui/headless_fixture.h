#pragma once
// A fresh application on the headless backend for each test, and a small picture in the layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/forms/application.h"
#include "framework/graphics/text_backend.h"
#include "framework/window/headless_backend.h"
#include "framework/window/text_renderer.h"

// Text through the real font renderer, as the program draws it.
inline void UseRealFonts() { SetTextBackend(&TTextRenderer::Instance()); }

// A 2 x 2, 24-bit bottom-up BMP file written byte by byte: top row red, green; bottom row
// blue, white.
inline std::string TwoByTwoBmp() {
  std::string bmp;
  const auto u16 = [&](unsigned v) {
    bmp += static_cast<char>(v & 0xFF);
    bmp += static_cast<char>(v >> 8);
  };
  const auto u32 = [&](unsigned v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  bmp += "BM";
  u32(14 + 40 + 16);
  u32(0);
  u32(14 + 40);
  u32(40);
  u32(2);
  u32(2);
  u16(1);
  u16(24);
  u32(0);
  u32(16);
  u32(3780);
  u32(3780);
  u32(0);
  u32(0);
  // Rows bottom first, pixels B,G,R, each row padded to 8 bytes.
  bmp += std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 8);
  bmp += std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8);
  return bmp;
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
