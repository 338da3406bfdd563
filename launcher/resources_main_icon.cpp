// The program's icon resource (MAINICON): registered before the entry function runs, as a
// compiled-in resource is there from the start, so the main window shows it without any code in
// the entry function.
#include "framework/forms/application.h"
#include "launcher/icon.h"
#include "launcher/resources.h"

namespace {

[[maybe_unused]] const bool kMainIconRegistered = [] {
  try {
    RegisterMainIcon(DecodeIcon(IconBytes()));
    return true;
  } catch (const Exception&) {
    return false;  // a window without an icon still works; the resource tests catch this
  }
}();

}  // namespace
