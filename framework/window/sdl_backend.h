#pragma once
// The real window, through SDL2: a software frame buffer copied to the window surface, input by
// polling, message boxes from SDL. Without a display it raises ENoDisplay rather than fall back
// to SDL's invisible drivers (offscreen, dummy), unless SDL_VIDEODRIVER asks for one of them.
//
// Frames are shown enlarged by the desktop's whole scale factor (desktop_scale.h), as far as the
// window still fits the screen, and clicks are mapped back, so callers see only client pixels.
// A lost X server ends the process with status 1; SIGTERM, SIGINT and SIGHUP end it as their
// default actions do, message box included.
#include "framework/window/backend.h"

struct SDL_Window;

class TSdlBackend : public TWindowBackend {
 public:
  TSdlBackend() = default;
  ~TSdlBackend() override;
  TSdlBackend(const TSdlBackend&) = delete;
  TSdlBackend& operator=(const TSdlBackend&) = delete;

  void CreateWindow(const AnsiString& title, int clientWidth, int clientHeight,
                    const std::vector<TIconImage>& icons) override;
  void DestroyWindow() override;
  void Present(const TSurface& frame) override;
  bool WaitEvent(TWindowEvent& event) override;
  void ShowMessage(const AnsiString& title, const AnsiString& text) override;

 private:
  void InitVideo();
  void Redraw();
  // The parent for a message box; null when the box needs none. The caller destroys it.
  SDL_Window* CreateMessageAnchor() const;

  bool videoInitialised_ = false;
  SDL_Window* window_ = nullptr;
  int scale_ = 1;
  std::vector<std::uint32_t> lastFrame_;  // as shown: enlarged by scale_
  int frameWidth_ = 0;
  int frameHeight_ = 0;
};
