// The launcher's entry function: one window, run until it closes. The window's icon is the
// program's icon resource, registered before this runs.
#include "framework/forms/application.h"
#include "framework/window/sdl_window_system.h"
#include "launcher/Unit1.h"

int main(int, char**) {
  UseSdlWindowSystem();
  try {
    Application->Initialize();
    Application->SetTitle("Talvesk");
    Application->CreateForm(Form1);
    Application->Run();
  } catch (const Exception& exception) {
    Application->ShowException(exception);
  } catch (...) {
    // Whatever else escapes is shown too, with an empty message, so the program never ends
    // without a word.
    try {
      throw Exception("");
    } catch (const Exception& exception) {
      Application->ShowException(exception);
    }
  }
  return 0;
}
