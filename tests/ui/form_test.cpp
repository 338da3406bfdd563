// A form built from its layout, run on the headless backend: binding, showing, clicks, exceptions
// from handlers and drawing failures, and the painted frame. The launcher's own layout covers the
// properties the framework accepts and ignores.
#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/forms/application.h"
#include "framework/forms/image.h"
#include "framework/forms/label.h"
#include "framework/forms/layout.h"
#include "framework/graphics/bitmap.h"
#include "framework/graphics/text_backend.h"
#include "framework/window/headless_backend.h"
#include "framework/window/text_renderer.h"
#include "tests/support/expect_message.h"

namespace {

constexpr std::uint32_t kBackground = 0x403020;  // the layout's Color $00203040 (B,G,R)
constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// Image1 holds a hand-written 2 x 2 BMP: top row red, green; bottom row blue, white.
constexpr const char* kLayout = R"(object Form1: TTestForm
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
      07544269746D6170 46000000
      424D460000000000000036000000
      28000000020000000200000001001800000000001000000000000000000000000000000000000000
      FF0000FFFFFF0000 0000FF00FF000000}
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

// A picture whose drawing always fails, as a damaged image does.
class TBrokenBitmap : public TBitmap {
 public:
  TBrokenBitmap() { SetSize(4, 4); }
  int draws = 0;

 protected:
  void RenderStretched(TCanvas&, const TRect&) override {
    ++draws;
    throw EInvalidGraphic("damaged picture");
  }
};

// The test form as the main form, on the headless backend.
class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTextBackend(&TTextRenderer::Instance());
    auto backend = std::make_unique<THeadlessBackend>();
    headless_ = backend.get();
    SetWindowBackend(std::move(backend));
    Application->SetTitle("Test App");
    RegisterFormLayout("TTestForm", kLayout);
    Application->CreateForm(form);
  }
  void TearDown() override { delete form; }

  // How many pixels of the area differ from the form's colour.
  int InkIn(const TRect& area) const {
    int ink = 0;
    for (int y = area.Top; y < area.Bottom; ++y)
      for (int x = area.Left; x < area.Right; ++x) ink += headless_->Pixel(x, y) != kBackground;
    return ink;
  }

  TTestForm* form = nullptr;
  THeadlessBackend* headless_ = nullptr;
};

}  // namespace

TEST_F(FormTest, BuildsTheControlsTheLayoutDescribes) {
  EXPECT_EQ(form->Name, "Form1");
  EXPECT_EQ(form->Position, poDesktopCenter);
  EXPECT_EQ(form->ComponentCount(), 3);
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
  ExpectMessage<EComponentError>([&] { Application->CreateForm(forgetful); },
                                 "Form TTestForm: handler not bound: Image2Click");
  EXPECT_EQ(forgetful, nullptr);
  EXPECT_EQ(Application->ComponentCount(), 1);  // only the first form is left
}

TEST_F(FormTest, ShowRunsOnceAndTheFrameShowsColourPictureAndText) {
  int shows = 0;
  form->onShow = [&] { ++shows; };
  Application->Run();
  Application->Run();  // already shown: no second OnShow
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(form->senders, std::vector<TObject*>{form});

  EXPECT_EQ(headless_->WindowTitle(), "Test");
  ASSERT_EQ(headless_->FrameWidth(), 200);
  ASSERT_EQ(headless_->FrameHeight(), 150);
  // The 2 x 2 picture stretched over 40 x 40 pixels at (10, 10): one colour per quadrant.
  EXPECT_EQ(headless_->Pixel(20, 20), kRed);
  EXPECT_EQ(headless_->Pixel(40, 20), kGreen);
  EXPECT_EQ(headless_->Pixel(20, 40), kBlue);
  EXPECT_EQ(headless_->Pixel(39, 39), kWhite);
  // The picture fills its box, the label has text, and nothing else is drawn.
  const int text = InkIn(form->Label1->BoundsRect());
  EXPECT_EQ(InkIn({10, 10, 50, 50}), 40 * 40);
  EXPECT_GT(text, 20);
  EXPECT_EQ(InkIn({0, 0, 200, 150}), 40 * 40 + text);
}

TEST_F(FormTest, AClickGoesToTheTopmostControlUnderThePointThatHasAHandler) {
  std::vector<std::string> clicks;
  form->onImage1 = [&] { clicks.push_back("Image1"); };
  form->onImage2 = [&] { clicks.push_back("Image2"); };
  headless_->PushClick(15, 15);     // Image1 only
  headless_->PushClick(45, 45);     // Image1 and Image2 overlap; Image2 was created later
  headless_->PushClick(65, 65);     // Image2 only
  headless_->PushClick(12, 62);     // the label has no handler
  headless_->PushClick(150, 100);   // nothing there
  headless_->PushClick(15, 15, 3);  // not the primary button
  Application->Run();
  EXPECT_EQ(clicks, (std::vector<std::string>{"Image1", "Image2", "Image2"}));

  form->Image2->Visible = false;
  headless_->PushClick(45, 45);
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
  headless_->PushClick(15, 15);
  headless_->PushClick(65, 65);
  headless_->PushClick(65, 65);
  Application->Run();

  EXPECT_EQ(image2Clicks, 2);  // EAbort is silent and the loop carried on
  ASSERT_EQ(headless_->Messages().size(), 2u);
  EXPECT_EQ(headless_->Messages()[0].title, "Test App");
  EXPECT_EQ(headless_->Messages()[0].text, "show failed");
  EXPECT_EQ(headless_->Messages()[1].text, "outside the tree");
  // The form was painted although its show handler failed.
  EXPECT_EQ(headless_->Pixel(20, 20), kRed);
}

TEST_F(FormTest, APictureThatCannotBeDrawnIsReportedOnceAndTheRestIsPainted) {
  auto graphic = std::make_unique<TBrokenBitmap>();
  const TBrokenBitmap& broken = *graphic;
  form->Image1->Picture()->SetGraphic(std::move(graphic));
  Application->Run();
  // The frame is shown, with the label that comes after the picture.
  EXPECT_EQ(headless_->Pixel(150, 100), kBackground);
  EXPECT_GT(InkIn(form->Label1->BoundsRect()), 20);
  headless_->PushExpose();
  headless_->PushExpose();
  Application->Run();
  EXPECT_EQ(broken.draws, 1);
  ASSERT_EQ(headless_->Messages().size(), 1u);
  EXPECT_EQ(headless_->Messages()[0].text, "damaged picture");
}

TEST_F(FormTest, AChangedPictureIsRepaintedAndClosingTheMainFormEndsRun) {
  Application->Run();
  const int presents = headless_->PresentCount();
  int clicks = 0;
  form->onImage2 = [&] { form->Image1->Picture()->SetGraphic(nullptr); };
  form->onImage1 = [&] {
    ++clicks;
    form->Close();
  };
  headless_->PushClick(65, 65);
  Application->Run();
  EXPECT_GT(headless_->PresentCount(), presents);
  EXPECT_EQ(headless_->Pixel(20, 20), kBackground);

  headless_->PushClick(15, 15);
  headless_->PushClick(15, 15);
  Application->Run();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(form->Visible);
  EXPECT_FALSE(headless_->WindowOpen());

  headless_->PushClose();
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
