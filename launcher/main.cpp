// The launcher's entry function: one window, run until it closes.
#include <exception>

#include "framework/forms/application.h"
#include "launcher/Unit1.h"
#include "launcher/icon.h"
#include "launcher/resources.h"

namespace {

// The program's icon resource, shown by its window. A damaged icon must not keep the program
// from starting: the window then goes without one.
const bool kMainIconRegistered = [] {
  try {
    RegisterMainIcon(DecodeIcon(IconBytes()));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}();

}  // namespace

int main(int, char**) {
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
