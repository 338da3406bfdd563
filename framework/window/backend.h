#pragma once
// What the application needs of a window system: one window with a client area of a fixed size,
// a way to show a finished frame, input events and a blocking message box.
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/graphics/canvas.h"
#include "framework/system/exceptions.h"

// One image of the window icon: width x height pixels, top-down rows, 0xAARRGGBB.
struct TIconImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

// A mouse button going down or up; the application makes clicks of them.
struct TWindowEvent {
  enum class Kind { Press, Release, Close, Expose };
  Kind kind = Kind::Expose;
  int x = 0;  // Press, Release: client coordinates (outside the client area when captured)
  int y = 0;
  int button = 1;  // 1 = left
};

// No display to open a window on. The application reports it on stderr and ends the program
// with exit status 1, since there is nowhere to show it.
class ENoDisplay : public Exception {
 public:
  using Exception::Exception;
};

class TWindowBackend {
 public:
  virtual ~TWindowBackend() = default;

  // Opens the window, centred on the desktop, not resizable. Raises ENoDisplay.
  virtual void CreateWindow(const AnsiString& title, int clientWidth, int clientHeight,
                            const std::vector<TIconImage>& icons) = 0;
  virtual void DestroyWindow() = 0;
  // Shows a frame of the client size (pixels 0x00RRGGBB).
  virtual void Present(const TSurface& frame) = 0;
  // Waits for the next event. False when no event can come any more (the window is gone, or a
  // test backend has run out of injected events).
  virtual bool WaitEvent(TWindowEvent& event) = 0;
  // Shows a message box over the window (if any) and returns when it is dismissed.
  virtual void ShowMessage(const AnsiString& title, const AnsiString& text) = 0;
};
