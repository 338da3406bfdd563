// A form built from its layout, run on the headless backend: binding, showing, clicks, exceptions
// from handlers and the painted frame. The launcher's own layout covers the properties the
// framework accepts and ignores.
#include <stdexcept>

#include "framework/forms/image.h"
#include "framework/forms/label.h"
#include "framework/forms/layout.h"
#include "headless_fixture.h"
#include "tests/support/expect_message.h"

namespace {

constexpr std::uint32_t kBackground = 0x403020;  // the layout's Color $00203040 (B,G,R)
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

std::string TestLayout() {
  return R"(object Form1: TTestForm
  Width = 208
  Height = 184
  Caption = 'Test'
  Color = $00203040
  Position = poDesktopCenter
  OnShow = FormShow
  object Image1: TImage
    Left = 10
    Top = 10
    Width = 40
    Height = 40
    Picture.Data = {
      )" +
         PictureDataHex(TwoByTwoBmp()) +
         R"(}
    Stretch = True
    OnClick = Image1Click
  end
  object Label1: TLabel
    Left = 10
    Top = 60
    Alignment = taCenter
    Caption = 'Label1'
    Font.Color = clWhite
    Font.Height = -11
    ParentFont = False
  end
  object Image2: TImage
    Left = 40
    Top = 40
    Width = 30
    Height = 30
    OnClick = Image2Click
  end
end
)";
}

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent* owner, bool bindAll = true) : TForm(owner, "TTestForm") {
    Image1 = Child<TImage>("Image1");
    Image2 = Child<TImage>("Image2");
    Label1 = Child<TLabel>("Label1");
    BindHandler("FormShow", [this](TObject* sender) { Call(onShow, sender); });
    BindHandler("Image1Click", [this](TObject* sender) { Call(onImage1, sender); });
    if (bindAll) BindHandler("Image2Click", [this](TObject* sender) { Call(onImage2, sender); });
  }

  TImage* Image1;
  TImage* Image2;
  TLabel* Label1;
  std::function<void()> onShow, onImage1, onImage2;
  std::vector<TObject*> senders;

 private:
  void Call(const std::function<void()>& handler, TObject* sender) {
    senders.push_back(sender);
    if (handler) handler();
  }
};

class TForgetfulForm : public TTestForm {
 public:
  explicit TForgetfulForm(TComponent* owner) : TTestForm(owner, false) {}
};

class FormTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    RegisterFormLayout("TTestForm", TestLayout());
    Application->CreateForm(form);
  }
  TTestForm* form = nullptr;
};

}  // namespace

TEST_F(FormTest, BuildsTheControlsTheLayoutDescribes) {
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Application->MainForm(), form);
  EXPECT_EQ(form->Name, "Form1");
  EXPECT_STREQ(form->ClassName(), "TTestForm");
  EXPECT_EQ(form->Caption, "Test");
  EXPECT_EQ(form->Position, poDesktopCenter);
  EXPECT_EQ(form->ClientWidth(), 200);
  EXPECT_EQ(form->ClientHeight(), 150);
  EXPECT_FALSE(form->Visible);
  ASSERT_EQ(form->ComponentCount(), 3);
  EXPECT_EQ(form->Components(0), form->Image1);
  EXPECT_EQ(form->Components(1), form->Label1);

  EXPECT_TRUE(form->Image1->Stretch);
  ASSERT_NE(form->Image1->Picture()->Graphic(), nullptr);
  EXPECT_STREQ(form->Image1->Picture()->Graphic()->ClassName(), "TBitmap");
  EXPECT_EQ(form->Image1->Picture()->Width(), 2);
  EXPECT_EQ(form->Image2->Picture()->Graphic(), nullptr);

  EXPECT_EQ(form->Label1->GetText(), "Label1");
  EXPECT_EQ(form->Label1->Alignment, taCenter);
  EXPECT_FALSE(form->Label1->ParentFont);
  EXPECT_EQ(form->Label1->Font.Color, clWhite);
  EXPECT_EQ(form->Label1->Font.Height, -11);

  EXPECT_THROW(form->Child<TLabel>("Image1"), EComponentError);
  EXPECT_THROW(form->Child<TImage>("Image9"), EComponentError);
  EXPECT_THROW(form->BindHandler("Image9Click", [](TObject*) {}), EComponentError);
}

TEST_F(FormTest, AHandlerTheLayoutNamesButTheFormDoesNotBindIsAnError) {
  TForgetfulForm* forgetful = nullptr;
  try {
    Application->CreateForm(forgetful);
    FAIL() << "no error";
  } catch (const EComponentError& error) {
    EXPECT_NE(error.Message().find("Image2Click"), std::string::npos) << error.Message();
  }
  EXPECT_EQ(forgetful, nullptr);
  EXPECT_EQ(Application->ComponentCount(), 1);  // only the first form is left
}

TEST_F(FormTest, ShowRunsOnceAndTheFrameShowsColourPictureAndText) {
  int shows = 0;
  form->onShow = [&] { ++shows; };
  RegisterMainIcon({TIconImage{1, 1, {0xFF000000u}}});
  Application->Run();
  Application->Run();  // already shown: no second OnShow
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(form->senders, std::vector<TObject*>{form});
  EXPECT_TRUE(form->Visible);

  const THeadlessBackend& backend = Backend();
  EXPECT_EQ(backend.WindowTitle(), "Test");
  ASSERT_EQ(backend.Icons().size(), 1u);
  EXPECT_EQ(backend.Icons()[0].argb, std::vector<std::uint32_t>{0xFF000000u});
  ASSERT_EQ(backend.FrameWidth(), 200);
  ASSERT_EQ(backend.FrameHeight(), 150);
  // The 2 x 2 picture stretched over 40 x 40 pixels at (10, 10): one colour per quadrant.
  EXPECT_EQ(backend.Pixel(20, 20), kRed);
  EXPECT_EQ(backend.Pixel(40, 20), kGreen);
  EXPECT_EQ(backend.Pixel(20, 40), kBlue);
  EXPECT_EQ(backend.Pixel(39, 39), kWhite);

  // The label keeps its left and top edges and takes its text's size.
  const TLabel& label = *form->Label1;
  EXPECT_EQ(label.Left, 10);
  EXPECT_EQ(label.Top, 60);
  EXPECT_GT(label.Width, 10);
  EXPECT_GT(label.Height, 8);
  int textPixels = 0;
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < 200; ++x) {
      const bool inImage = x >= 10 && x < 50 && y >= 10 && y < 50;
      const bool inLabel = x >= label.Left && x < label.Left + label.Width && y >= label.Top &&
                           y < label.Top + label.Height;
      if (inImage) continue;
      if (inLabel) {
        textPixels += backend.Pixel(x, y) != kBackground;
      } else {
        ASSERT_EQ(backend.Pixel(x, y), kBackground) << x << "," << y;
      }
    }
  }
  EXPECT_GT(textPixels, 20);
}

TEST_F(FormTest, AClickGoesToTheTopmostControlUnderThePointThatHasAHandler) {
  std::vector<std::string> clicks;
  form->onImage1 = [&] { clicks.push_back("Image1"); };
  form->onImage2 = [&] { clicks.push_back("Image2"); };
  Backend().PushClick(15, 15);     // Image1 only
  Backend().PushClick(45, 45);     // Image1 and Image2 overlap; Image2 was created later
  Backend().PushClick(65, 65);     // Image2 only
  Backend().PushClick(12, 62);     // the label has no handler
  Backend().PushClick(150, 100);   // nothing there
  Backend().PushClick(15, 15, 3);  // not the primary button
  Application->Run();
  EXPECT_EQ(clicks, (std::vector<std::string>{"Image1", "Image2", "Image2"}));

  form->Image2->Visible = false;
  Backend().PushClick(45, 45);
  Application->Run();
  EXPECT_EQ(clicks.back(), "Image1");
  EXPECT_EQ(form->senders.back(), form->Image1);
}

TEST_F(FormTest, AnExceptionFromAHandlerIsShownOnceAndTheLoopGoesOn) {
  int image2Clicks = 0;
  form->onShow = [] { throw Exception("show failed"); };
  form->onImage1 = [] { throw std::runtime_error("outside the tree"); };
  form->onImage2 = [&] {
    if (++image2Clicks == 1) Abort();
  };
  Backend().PushClick(15, 15);
  Backend().PushClick(65, 65);
  Backend().PushClick(65, 65);
  Application->Run();

  EXPECT_EQ(image2Clicks, 2);  // EAbort is silent and the loop carried on
  ASSERT_EQ(Backend().Messages().size(), 2u);
  EXPECT_EQ(Backend().Messages()[0].title, "Test App");
  EXPECT_EQ(Backend().Messages()[0].text, "show failed");
  EXPECT_EQ(Backend().Messages()[1].text, "outside the tree");
  // The form was painted although its show handler failed.
  EXPECT_EQ(Backend().Pixel(20, 20), kRed);
}

TEST_F(FormTest, AChangedPictureIsRepaintedAndClosingTheMainFormEndsRun) {
  Application->Run();
  const int presents = Backend().PresentCount();
  int clicks = 0;
  form->onImage2 = [&] { form->Image1->Picture()->SetGraphic(nullptr); };
  form->onImage1 = [&] {
    ++clicks;
    form->Close();
  };
  Backend().PushClick(65, 65);
  Application->Run();
  EXPECT_GT(Backend().PresentCount(), presents);
  EXPECT_EQ(Backend().Pixel(20, 20), kBackground);

  Backend().PushClick(15, 15);
  Backend().PushClick(15, 15);
  Application->Run();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(form->Visible);
  EXPECT_FALSE(Backend().WindowOpen());

  Backend().PushClose();
  Application->Run();  // shown again, then the user closes the window
  EXPECT_FALSE(form->Visible);
}

TEST(FormLayout, PropertiesAndClassesTheFormsDoNotKnowAreErrorsNamingLineAndProperty) {
  const auto errorOf = [](const std::string& body) -> std::string {
    RegisterFormLayout("TBadForm", "object F: TBadForm\n" + body + "end\n");
    try {
      TForm form(nullptr, "TBadForm");
    } catch (const Exception& error) {
      return error.Message();
    }
    return "no error";
  };
  const std::pair<const char*, const char*> cases[] = {
      // the body, its error (or how it begins)
      {"  Left = 1\n  Bogus = 2\n", "Layout line 3: F.Bogus: unknown property of TBadForm"},
      {"  object I: TImage\n    Stretch = 1\n  end\n",
       "Layout line 3: I.Stretch: a name was expected as the value"},
      {"  object L: TLabel\n    Font.Style = [fsBold]\n  end\n",
       "Layout line 3: L.Font.Style: font styles are not supported (only [] is)"},
      {"  Color = clChartreuse\n", "Layout line 2: F.Color: unknown colour clChartreuse"},
      {"  object B: TButton\n  end\n", "Layout line 2: unknown component class TButton of B"},
      {"  object I: TImage\n  end\n  object I: TLabel\n  end\n",
       "Layout line 4: duplicate component name I"},
      {"  object I: TImage\n    Picture.Data = {0454457874}\n  end\n",
       "Layout line 3: I.Picture.Data: "},
      {"  Left = 1\n", "no error"}};
  for (const auto& [body, error] : cases) {
    const std::string got = errorOf(body), expected = error;
    EXPECT_EQ(expected.ends_with(": ") ? got.substr(0, expected.size()) : got, expected);
  }

  ExpectMessage<ELayoutError>([] { TForm form(nullptr, "TNeverRegistered"); },
                              "No layout resource for the form class TNeverRegistered");
}
