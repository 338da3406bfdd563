#pragma once
// The main window driven headless over a scratch disc: shared by the window and hostile-disc tests.
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "framework/forms/application.h"
#include "framework/graphics/text_backend.h"
#include "framework/window/headless_backend.h"
#include "framework/window/text_renderer.h"
#include "gtest/gtest.h"
#include "launcher/Unit1.h"
#include "launcher/resources.h"
#include "tests/launcher/scratch_disc.h"

class LauncherWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTextBackend(&TTextRenderer::Instance());
    auto backend = std::make_unique<THeadlessBackend>();
    headless_ = backend.get();
    SetWindowBackend(std::move(backend));
    Application->SetTitle("Talvesk");
  }
  void TearDown() override {
    delete Form1;
    Form1 = nullptr;
  }

  // Creates the window and shows it (FormShow runs); returns when the injected events are used.
  void Open() {
    Application->CreateForm(Form1);
    Application->Run();
  }
  // Clicks the middle of a tile and lets the window repaint.
  void ClickTile(int slot) {
    headless_->PushClick(8 + 112 * (slot % 3) + 52, 8 + 160 * (slot / 3) + 52);
    Application->Run();
  }
  static TLabel* Caption(int slot) {
    TLabel* captions[] = {Form1->Label1, Form1->Label2, Form1->Label3,
                          Form1->Label4, Form1->Label5, Form1->Label6};
    return captions[slot];
  }
  static bool ShowsPlaceholder(int slot) {
    TImage* tiles[] = {Form1->Image1, Form1->Image2, Form1->Image3,
                       Form1->Image4, Form1->Image5, Form1->Image6};
    TMemoryStream stream;
    tiles[slot]->Picture()->WriteData(stream);
    const auto* bytes = reinterpret_cast<const char*>(stream.Memory());
    return AnsiString(bytes, static_cast<std::size_t>(stream.GetSize())) ==
           PlaceholderPictureData();
  }

  // The catalogue slot of a title once the window is open.
  static int SlotOf(const std::string& name) {
    for (int slot = 0; slot < MaxTitles; ++slot)
      if (Form1->TitleNames[slot] == name) return slot;
    ADD_FAILURE() << "no title " << name;
    return 0;
  }

  // Waits for the mount program; it must have been handed the image of this title beside the
  // program, which only Z: maps.
  void ExpectMounted(const std::string& title) const {
    const std::string image = disc_.ProgramFolderOnZ() + "\\" + title + "\\obraz.bin";
    EXPECT_EQ(disc_.WaitForRecordedArguments(), (std::vector<std::string>{"-mount", "0," + image}));
  }

  ScratchDisc disc_;
  THeadlessBackend* headless_ = nullptr;
};
