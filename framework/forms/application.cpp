#include "framework/forms/application.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

#include "framework/graphics/clipboard.h"
#include "framework/graphics/palette.h"
#include "framework/platform/paths.h"

namespace {

std::unique_ptr<TWindowBackend>& BackendSlot() {
  static std::unique_ptr<TWindowBackend> backend;
  return backend;
}

// Closes the window however Run ends.
class WindowScope {
 public:
  explicit WindowScope(TWindowBackend& backend) : backend_(backend) {}
  ~WindowScope() { backend_.DestroyWindow(); }
  WindowScope(const WindowScope&) = delete;
  WindowScope& operator=(const WindowScope&) = delete;

 private:
  TWindowBackend& backend_;
};

std::vector<TIconImage>& MainIcon() {
  static std::vector<TIconImage> icon;
  return icon;
}

// The program's application object, alive for the whole run. Its forms are destroyed with it at
// exit, releasing palettes and memory blocks into the graphics tables, so those tables are made
// first: statics are destroyed in the reverse order of their making.
TApplication& ProgramApplication() {
  [[maybe_unused]] static const int tablesFirst = GdiLiveObjectCount() + GlobalLiveBlockCount();
  static TApplication application(nullptr);
  return application;
}

}  // namespace

TApplication* Application = &ProgramApplication();

void RegisterMainIcon(std::vector<TIconImage> images) { MainIcon() = std::move(images); }

void SetWindowBackend(std::unique_ptr<TWindowBackend> backend) {
  BackendSlot() = std::move(backend);
}

TWindowBackend& WindowBackend() {
  auto& backend = BackendSlot();
  if (!backend) throw ENoDisplay("no window system was chosen for this program");
  return *backend;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

TApplication::~TApplication() {
  mainForm_ = nullptr;
  DestroyComponents();
}

void TApplication::Initialize() {}

void TApplication::ComponentRemoved(TComponent* component) {
  if (component == mainForm_) mainForm_ = nullptr;
}

void TApplication::PaintMainForm(TWindowBackend& backend) {
  TCustomForm* form = mainForm_;
  const int width = form->ClientWidth();
  const int height = form->ClientHeight();
  frame_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  const TSurface surface{frame_.data(), width, height, width};
  std::exception_ptr failure;
  try {
    form->PaintTo(surface);
  } catch (...) {
    failure = std::current_exception();
  }
  // Show what could be painted before reporting what could not.
  backend.Present(surface);
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      HandleException(form);
    }
  }
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  terminated_ = false;
  pressed_ = nullptr;
  TWindowBackend& backend = WindowBackend();
  backend.CreateWindow(mainForm_->Caption, mainForm_->ClientWidth(), mainForm_->ClientHeight(),
                       icon_.empty() ? MainIcon() : icon_);
  WindowScope window(backend);
  try {
    mainForm_->Show();
  } catch (...) {
    if (mainForm_ != nullptr && mainForm_->Visible) PaintMainForm(backend);
    HandleException(mainForm_);
  }
  while (!terminated_ && mainForm_ != nullptr && mainForm_->Visible) {
    if (mainForm_->NeedsRepaint()) PaintMainForm(backend);
    TWindowEvent event;
    if (!backend.WaitEvent(event)) break;
    switch (event.kind) {
      case TWindowEvent::Kind::Press:
        if (event.button == 1) pressed_ = mainForm_->ClickTargetAt(event.x, event.y);
        break;
      case TWindowEvent::Kind::Release: {
        if (event.button != 1) break;
        // A click is a press and a release on the same control: dragging off a control
        // cancels it, and a release that follows a press elsewhere starts nothing.
        TControl* const pressed = std::exchange(pressed_, nullptr);
        TControl* const target = mainForm_->ClickTargetAt(event.x, event.y);
        if (target == nullptr || target != pressed) break;
        try {
          target->Click();
        } catch (...) {
          if (mainForm_ != nullptr && mainForm_->Visible && mainForm_->NeedsRepaint()) {
            PaintMainForm(backend);
          }
          HandleException(target);
        }
        break;
      }
      case TWindowEvent::Kind::Close:
        mainForm_->Close();
        break;
      case TWindowEvent::Kind::Expose:
        PaintMainForm(backend);
        break;
    }
  }
}

void TApplication::ShowException(const Exception& exception) {
  const bool noDisplay = dynamic_cast<const ENoDisplay*>(&exception) != nullptr;
  if (noDisplay || !BackendSlot()) {
    std::fprintf(stderr, "%s: %s\n", title_.empty() ? "talvesk" : title_.c_str(),
                 exception.Message().c_str());
    if (noDisplay) std::exit(1);
    return;
  }
  BackendSlot()->ShowMessage(title_, exception.Message());
}

void TApplication::HandleException(TObject*) {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const EAbort&) {
    // The silent cancel.
  } catch (const Exception& exception) {
    ShowException(exception);
  } catch (const std::exception& exception) {
    ShowException(Exception(exception.what()));
  } catch (...) {
    ShowException(Exception(""));
  }
}

AnsiString TApplication::GetExeName() const { return GetProgramWindowsPath(); }
