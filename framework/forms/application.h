#pragma once
// The application object: owns the forms, runs the main form's event loop and shows exceptions.
#include <memory>
#include <vector>

#include "framework/forms/component.h"
#include "framework/forms/form.h"
#include "framework/system/exceptions.h"
#include "framework/window/backend.h"

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  const char* ClassName() const override { return "TApplication"; }

  void Initialize();
  void SetTitle(const AnsiString& title) { title_ = title; }
  const AnsiString& Title() const { return title_; }
  // The window icon (32-bit ARGB images, any sizes); without one, the registered main icon.
  void SetIcon(std::vector<TIconImage> images) { icon_ = std::move(images); }

  // Constructs new T(this) and stores it in reference; the first form created is the main form.
  // A form whose layout binds a handler that the form did not bind is destroyed and
  // EComponentError raised (reference is left as it was).
  template <class T>
  void CreateForm(T*& reference) {
    T* form = new T(this);
    if (auto* layoutForm = dynamic_cast<TForm*>(form)) {
      try {
        layoutForm->CheckHandlersBound();
      } catch (...) {
        delete form;
        throw;
      }
    }
    reference = form;
    if (auto* customForm = dynamic_cast<TCustomForm*>(form); customForm && !mainForm_) {
      mainForm_ = customForm;
    }
  }
  TCustomForm* MainForm() const { return mainForm_; }

  // Opens the window, shows the main form (OnShow runs), paints it and handles input until the
  // main form closes or Terminate is called. Handler exceptions are shown and the loop goes on.
  // With a test backend, Run also returns when the injected events are used up.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // A message box titled with Title() holding the exception's message; returns when dismissed.
  // ENoDisplay instead goes to stderr and ends the program with exit status 1.
  void ShowException(const Exception& exception);
  // For use inside a catch block: shows the exception being handled (EAbort silently ignored;
  // exceptions outside the Exception tree shown with their description).
  void HandleException(TObject* sender);

  // The program file as a Windows path.
  AnsiString GetExeName() const;

 protected:
  void ComponentRemoved(TComponent* component) override;

 private:
  void PaintMainForm(TWindowBackend& backend);

  AnsiString title_;
  std::vector<TIconImage> icon_;
  TCustomForm* mainForm_ = nullptr;
  bool terminated_ = false;
  // The control under the last press of the primary button, until its release.
  TControl* pressed_ = nullptr;
  std::vector<std::uint32_t> frame_;
};

extern TApplication* Application;

// Chooses the window backend for the process (the program's entry function chooses SDL, see
// sdl_window_system.h; tests choose a headless one). WindowBackend raises ENoDisplay while none
// is chosen; ShowException then writes to stderr.
void SetWindowBackend(std::unique_ptr<TWindowBackend> backend);
TWindowBackend& WindowBackend();

// The program's icon resource, used for every window of an application that sets no icon of its
// own. May be called before the entry function runs.
void RegisterMainIcon(std::vector<TIconImage> images);
