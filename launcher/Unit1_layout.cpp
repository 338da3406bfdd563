// Registers the main window's layout for its form class at start-up.
#include "launcher/Unit1_layout.h"

#include <string_view>

#include "framework/forms/layout.h"

namespace {

const bool kRegistered = [] {
  const auto bytes = Unit1LayoutBytes();
  RegisterFormLayout("TForm1",
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return true;
}();

}  // namespace
