#pragma once
// A window backend without a window, for tests: events are injected, the last presented frame
// can be read back and message boxes are recorded instead of shown.
//
// WaitEvent returns false as soon as the injected events are used up, so TApplication::Run
// returns then (leaving the form shown); a test may inject more events and call Run again.
#include <deque>

#include "framework/window/backend.h"

struct TRecordedMessage {
  AnsiString title;
  AnsiString text;
};

class THeadlessBackend : public TWindowBackend {
 public:
  void CreateWindow(const AnsiString& title, int clientWidth, int clientHeight,
                    const std::vector<TIconImage>& icons) override;
  void DestroyWindow() override { windowOpen_ = false; }
  void Present(const TSurface& frame) override;
  bool WaitEvent(TWindowEvent& event) override;
  void ShowMessage(const AnsiString& title, const AnsiString& text) override;

  // A press and a release at the same point.
  void PushClick(int x, int y, int button = 1);
  void PushPress(int x, int y, int button = 1);
  void PushRelease(int x, int y, int button = 1);
  void PushClose();
  void PushExpose();

  bool WindowOpen() const { return windowOpen_; }
  const AnsiString& WindowTitle() const { return title_; }
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  const std::vector<TIconImage>& Icons() const { return icons_; }

  // The last presented frame (empty before the first), row-major, no padding.
  const std::vector<std::uint32_t>& Frame() const { return frame_; }
  int FrameWidth() const { return frameWidth_; }
  int FrameHeight() const { return frameHeight_; }
  // Pixel 0x00RRGGBB of the last frame; 0 outside it.
  std::uint32_t Pixel(int x, int y) const;
  int PresentCount() const { return presentCount_; }

  const std::vector<TRecordedMessage>& Messages() const { return messages_; }

 private:
  std::deque<TWindowEvent> events_;
  bool windowOpen_ = false;
  AnsiString title_;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  std::vector<TIconImage> icons_;
  std::vector<std::uint32_t> frame_;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  int presentCount_ = 0;
  std::vector<TRecordedMessage> messages_;
};
