#include "framework/window/sdl_window_system.h"

#include <memory>

#include "framework/forms/application.h"
#include "framework/graphics/text_backend.h"
#include "framework/window/sdl_backend.h"
#include "framework/window/text_renderer.h"

void UseSdlWindowSystem() {
  SetTextBackend(&TTextRenderer::Instance());
  SetWindowBackend(std::make_unique<TSdlBackend>());
}
