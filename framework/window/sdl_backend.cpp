#include "framework/window/sdl_backend.h"

#include <SDL2/SDL.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "framework/graphics/screen.h"
#include "framework/system/utf8.h"
#include "framework/window/desktop_scale.h"
#include "framework/window/x11_display.h"

namespace {

// Short sleep between polls: waiting inside SDL races its wake-up event against the window's
// destruction on X11.
constexpr Uint32 kPollDelayMs = 10;

bool IsX11() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && std::strcmp(driver, "x11") == 0;
}

bool IsInvisibleDriver(const char* driver) {
  return driver != nullptr &&
         (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

const TIconImage* LargestIcon(const std::vector<TIconImage>& icons) {
  const TIconImage* best = nullptr;
  for (const TIconImage& icon : icons) {
    const bool complete = icon.width > 0 && icon.height > 0 &&
                          icon.argb.size() == static_cast<std::size_t>(icon.width) *
                                                  static_cast<std::size_t>(icon.height);
    if (complete && (best == nullptr || icon.width > best->width)) best = &icon;
  }
  return best;
}

// SDL's X11 message box runs in a child process that it forks, while the program waits. When a
// signal ends the program, the box must go with it.
pid_t boxOwner = 0;  // the program's process id while it shows a box

void EndWithBoxOwner() {
  if (boxOwner == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != boxOwner) _exit(1);  // the owner ended before the line above
}

int FloorDiv(int value, int divisor) {
  return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

}  // namespace

TSdlBackend::~TSdlBackend() {
  DestroyWindow();
  if (videoInitialised_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_Quit();
}

void TSdlBackend::InitVideo() {
  if (videoInitialised_) return;
  const char* requested = SDL_getenv("SDL_VIDEODRIVER");
  const bool driverChosen = requested != nullptr && requested[0] != '\0';
  // Without this SDL presents through GL and may re-create the X window behind our back.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // SDL would turn SIGINT and SIGTERM into a quit event, which a program waiting for a message
  // box never reads; their default actions end the program at once.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    throw ENoDisplay(AnsiString("cannot open the window: ") + SDL_GetError());
  }
  // SDL falls back to drivers that show nothing; a window nobody can see is a failure.
  if (!driverChosen && IsInvisibleDriver(SDL_GetCurrentVideoDriver())) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    throw ENoDisplay(
        "cannot open the window: no display found (set DISPLAY, or SDL_VIDEODRIVER to choose "
        "a video driver)");
  }
  videoInitialised_ = true;
  if (IsX11()) EndProcessOnLostXConnection();
  static const bool boxChildWatched = pthread_atfork(nullptr, nullptr, EndWithBoxOwner) == 0;
  (void)boxChildWatched;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    const int bytes = SDL_BYTESPERPIXEL(mode.format);
    SetScreenDepth(bytes == 4 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(mode.format)));
  }
}

void TSdlBackend::CreateWindow(const AnsiString& title, int clientWidth, int clientHeight,
                               const std::vector<TIconImage>& icons) {
  InitVideo();
  DestroyWindow();
  SDL_Rect usable{};
  const bool screenKnown = SDL_GetDisplayUsableBounds(0, &usable) == 0;
  scale_ = DesktopScaleFactor(IsX11() ? XftDpiResource() : std::nullopt, SDL_getenv("GDK_SCALE"),
                              SDL_getenv("QT_SCALE_FACTOR"));
  while (screenKnown && scale_ > 1 &&
         (clientWidth * scale_ > usable.w || clientHeight * scale_ > usable.h)) {
    --scale_;  // enlarged only as far as the window fits the screen
  }
  const int width = clientWidth * scale_;
  const int height = clientHeight * scale_;
  int x = SDL_WINDOWPOS_CENTERED;
  int y = SDL_WINDOWPOS_CENTERED;
  if (screenKnown) {
    // Centred, but on a screen smaller than the window its top-left corner stays on the screen:
    // a window manager puts the frame, title bar and all, where the window was asked to be.
    x = usable.x + std::max(0, (usable.w - width) / 2);
    y = usable.y + std::max(0, (usable.h - height) / 2);
  }
  window_ = SDL_CreateWindow(SanitizeUtf8(title).c_str(), x, y, width, height, SDL_WINDOW_SHOWN);
  if (window_ == nullptr) throw ENoDisplay(AnsiString("cannot open the window: ") + SDL_GetError());
  if (const TIconImage* icon = LargestIcon(icons)) {
    // SDL only reads the pixels while setting the icon.
    auto* pixels = const_cast<std::uint32_t*>(icon->argb.data());
    if (SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
            pixels, icon->width, icon->height, 32, icon->width * 4, SDL_PIXELFORMAT_ARGB8888)) {
      SDL_SetWindowIcon(window_, surface);
      SDL_FreeSurface(surface);
    }
  }
}

void TSdlBackend::DestroyWindow() {
  if (window_ == nullptr) return;
  SDL_DestroyWindow(window_);
  window_ = nullptr;
}

void TSdlBackend::Present(const TSurface& frame) {
  if (frame.pixels == nullptr) return;
  frameWidth_ = frame.width * scale_;
  frameHeight_ = frame.height * scale_;
  lastFrame_.resize(static_cast<std::size_t>(frameWidth_) * static_cast<std::size_t>(frameHeight_));
  // Each pixel becomes a square of scale_ x scale_ pixels.
  for (int y = 0; y < frame.height; ++y) {
    const std::uint32_t* row = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.pitchPixels;
    std::uint32_t* shown =
        lastFrame_.data() + static_cast<std::ptrdiff_t>(y) * scale_ * frameWidth_;
    for (int x = 0; x < frame.width; ++x) std::fill_n(shown + x * scale_, scale_, row[x]);
    for (int copy = 1; copy < scale_; ++copy) {
      std::copy_n(shown, frameWidth_, shown + static_cast<std::ptrdiff_t>(copy) * frameWidth_);
    }
  }
  Redraw();
}

void TSdlBackend::Redraw() {
  if (window_ == nullptr || lastFrame_.empty()) return;
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (target == nullptr) return;
  const int width = frameWidth_ < target->w ? frameWidth_ : target->w;
  const int height = frameHeight_ < target->h ? frameHeight_ : target->h;
  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
  SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_XRGB8888, lastFrame_.data(), frameWidth_ * 4,
                    target->format->format, target->pixels, target->pitch);
  if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
  SDL_UpdateWindowSurface(window_);
}

bool TSdlBackend::WaitEvent(TWindowEvent& event) {
  for (;;) {
    if (window_ == nullptr) return false;
    SDL_Event sdlEvent;
    while (SDL_PollEvent(&sdlEvent) != 0) {
      switch (sdlEvent.type) {
        case SDL_QUIT:
          event = {TWindowEvent::Kind::Close, 0, 0, 0};
          return true;
        case SDL_WINDOWEVENT:
          if (sdlEvent.window.event == SDL_WINDOWEVENT_CLOSE) {
            event = {TWindowEvent::Kind::Close, 0, 0, 0};
            return true;
          }
          if (sdlEvent.window.event == SDL_WINDOWEVENT_EXPOSED) Redraw();
          break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
          event = {sdlEvent.type == SDL_MOUSEBUTTONDOWN ? TWindowEvent::Kind::Press
                                                        : TWindowEvent::Kind::Release,
                   FloorDiv(sdlEvent.button.x, scale_), FloorDiv(sdlEvent.button.y, scale_),
                   sdlEvent.button.button};
          return true;
        default:
          break;
      }
    }
    SDL_Delay(kPollDelayMs);
  }
}

// SDL's X11 box takes its parent's position inside the parent's parent and then translates it
// from the parent to the screen. Under a window manager the first is a small frame offset; without
// one (kiosk sessions, Xvfb) it is the window's screen position, which is then counted twice and
// pushes the box off the screen. An unmapped window stays a child of the root, so an anchor of the
// main window's size at half its position makes SDL's sum land the box centred over the main
// window, with or without a window manager.
SDL_Window* TSdlBackend::CreateMessageAnchor() const {
  if (window_ == nullptr) return nullptr;  // SDL then centres the box on the screen
  if (!IsX11()) return nullptr;
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GetWindowSize(window_, &width, &height);
  return SDL_CreateWindow("", x / 2, y / 2, width, height, SDL_WINDOW_HIDDEN);
}

void TSdlBackend::ShowMessage(const AnsiString& title, const AnsiString& text) {
  const AnsiString safeTitle = SanitizeUtf8(title);
  const AnsiString safeText = SanitizeUtf8(text);
  SDL_Window* const anchor = CreateMessageAnchor();
  boxOwner = getpid();
  const int shown =
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, safeTitle.c_str(), safeText.c_str(),
                               anchor != nullptr ? anchor : window_);
  boxOwner = 0;
  if (shown != 0) {
    // Nowhere to show it; the terminal is the last resort.
    std::fprintf(stderr, "%s: %s\n(no message box: %s)\n", safeTitle.c_str(), safeText.c_str(),
                 SDL_GetError());
  }
  if (anchor != nullptr) SDL_DestroyWindow(anchor);
}
