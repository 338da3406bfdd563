#include "framework/window/headless_backend.h"

void THeadlessBackend::CreateWindow(const AnsiString& title, int clientWidth, int clientHeight,
                                    const std::vector<TIconImage>& icons) {
  windowOpen_ = true;
  title_ = title;
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  icons_ = icons;
}

void THeadlessBackend::Present(const TSurface& frame) {
  frameWidth_ = frame.width;
  frameHeight_ = frame.height;
  frame_.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
  for (int y = 0; y < frame.height; ++y) {
    const std::uint32_t* row = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.pitchPixels;
    std::copy(row, row + frame.width,
              frame_.begin() + static_cast<std::ptrdiff_t>(y) * frame.width);
  }
  ++presentCount_;
}

bool THeadlessBackend::WaitEvent(TWindowEvent& event) {
  if (!windowOpen_ || events_.empty()) return false;
  event = events_.front();
  events_.pop_front();
  return true;
}

void THeadlessBackend::ShowMessage(const AnsiString& title, const AnsiString& text) {
  messages_.push_back({title, text});
}

void THeadlessBackend::PushClick(int x, int y, int button) {
  PushPress(x, y, button);
  PushRelease(x, y, button);
}

void THeadlessBackend::PushPress(int x, int y, int button) {
  events_.push_back({TWindowEvent::Kind::Press, x, y, button});
}

void THeadlessBackend::PushRelease(int x, int y, int button) {
  events_.push_back({TWindowEvent::Kind::Release, x, y, button});
}

void THeadlessBackend::PushClose() { events_.push_back({TWindowEvent::Kind::Close, 0, 0, 0}); }

void THeadlessBackend::PushExpose() { events_.push_back({TWindowEvent::Kind::Expose, 0, 0, 0}); }

std::uint32_t THeadlessBackend::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= frameWidth_ || y >= frameHeight_) return 0;
  return frame_[static_cast<std::size_t>(y) * static_cast<std::size_t>(frameWidth_) +
                static_cast<std::size_t>(x)];
}
