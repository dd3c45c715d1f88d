// Control layout: alignment, a form's client area, scaling to the screen's pixels per inch when a
// form resource is read, resizing, the form resource round trip, and parents that go away.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Controls.h"
#include "Forms.h"
#include "Streaming.h"
#include "headless/Headless.h"

namespace {

const bool kHeadless = SelectWindowSystem("headless");

std::function<void(class TBlock*)> gOnDestroy;

// A plain graphic control that counts its paints.
class TBlock : public TGraphicControl {
  VCL_CLASS(TBlock)
  explicit TBlock(TComponent* owner) : TGraphicControl(owner) {}
  ~TBlock() override {
    if (gOnDestroy) gOnDestroy(this);
  }
  int paints = 0;

 protected:
  void Paint() override { ++paints; }
};

const TClassInfo& TBlock::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBlock>("TBlock", &TGraphicControl::StaticClass())
                                     .Factory()
                                     .Republish("Align")
                                     .Republish("Color", clBlack)
                                     .Republish("Visible")
                                     .Build();
  return info;
}

class TLayoutForm : public TForm {
  VCL_CLASS(TLayoutForm)
  explicit TLayoutForm(TComponent* owner) : TForm(owner) {}
  TBlock* Wave = nullptr;
  TBlock* Finger = nullptr;
  TBlock* Spectral = nullptr;
};

const TClassInfo& TLayoutForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TLayoutForm>("TLayoutForm", &TForm::StaticClass())
                                     .Factory()
                                     .PublishedField("Wave", &TLayoutForm::Wave)
                                     .PublishedField("Finger", &TLayoutForm::Finger)
                                     .PublishedField("Spectral", &TLayoutForm::Spectral)
                                     .Build();
  return info;
}

// The main window's design: 538 x 533 outer at 120 pixels per inch, three strips.
const char* const kDesign = R"(object LayoutForm: TLayoutForm
  Left = 316
  Top = 177
  Width = 538
  Height = 533
  Caption = 'Layout'
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -14
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  Position = poScreenCenter
  PixelsPerInch = 120
  TextHeight = 16
  object Wave: TBlock
    Left = 0
    Top = 0
    Width = 530
    Height = 185
    Align = alTop
  end
  object Finger: TBlock
    Left = 0
    Top = 185
    Width = 530
    Height = 159
    Align = alClient
  end
  object Spectral: TBlock
    Left = 0
    Top = 344
    Width = 530
    Height = 162
    Align = alBottom
  end
end
)";

class LayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kHeadless || std::string(WindowSystem().Name()) == "headless");
  }
  void TearDown() override {
    SetHeadlessPixelsPerInch(96);
    gOnDestroy = nullptr;
  }

  // The design, built in code on a form that is never read (so never scaled).
  static void BuildInCode(TLayoutForm& form) {
    form.SetBounds(316, 177, 538, 533);
    form.Spectral = new TBlock(&form);
    form.Spectral->SetAlign(alBottom);  // aligned before it has a parent
    form.Spectral->SetHeight(162);
    form.Spectral->SetParent(&form);
    form.Wave = new TBlock(&form);
    form.Wave->SetParent(&form);
    form.Wave->SetBounds(0, 0, 530, 185);
    form.Wave->SetAlign(alTop);
    form.Finger = new TBlock(&form);
    form.Finger->SetParent(&form);
    form.Finger->SetAlign(alClient);
  }
};

TEST_F(LayoutTest, DesignBuiltInCodeGivesTheThreeStrips) {
  TLayoutForm form(nullptr);
  BuildInCode(form);
  EXPECT_EQ(form.ClientWidth(), 530);
  EXPECT_EQ(form.ClientHeight(), 506);
  EXPECT_EQ(form.Wave->BoundsRect(), Rect(0, 0, 530, 185));
  EXPECT_EQ(form.Finger->BoundsRect(), Rect(0, 185, 530, 344));
  EXPECT_EQ(form.Spectral->BoundsRect(), Rect(0, 344, 530, 506));
}

struct ScaleCase {
  int32_t screenPpi;
  int32_t clientWidth, clientHeight;
  TRect wave, finger, spectral;
  int32_t fontHeight;
};

class ScaledLayoutTest : public LayoutTest, public testing::WithParamInterface<ScaleCase> {};

TEST_P(ScaledLayoutTest, ResourceIsScaledToTheScreenThenAligned) {
  const ScaleCase& c = GetParam();
  SetHeadlessPixelsPerInch(c.screenPpi);
  TLayoutForm form(nullptr);
  ReadComponentRes(kDesign, &form);
  EXPECT_EQ(form.ClientWidth(), c.clientWidth);
  EXPECT_EQ(form.ClientHeight(), c.clientHeight);
  EXPECT_EQ(form.Width(), c.clientWidth + 8);
  EXPECT_EQ(form.Height(), c.clientHeight + 27);
  EXPECT_EQ(form.Surface().width, c.clientWidth);
  EXPECT_EQ(form.Surface().height, c.clientHeight);
  ASSERT_NE(form.Wave, nullptr);
  EXPECT_EQ(form.Wave->BoundsRect(), c.wave);
  EXPECT_EQ(form.Finger->BoundsRect(), c.finger);
  EXPECT_EQ(form.Spectral->BoundsRect(), c.spectral);
  EXPECT_EQ(form.Font()->Height, c.fontHeight);
  EXPECT_EQ(form.PixelsPerInch(), c.screenPpi);
  EXPECT_EQ(form.Left(), 316);  // the position is not scaled
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ScaledLayoutTest,
    testing::Values(
        // Same as the design: nothing scaled.
        ScaleCase{120, 530, 506, Rect(0, 0, 530, 185), Rect(0, 185, 530, 344),
                  Rect(0, 344, 530, 506), -14},
        // 0.8: 404.8 rounds to 405, 129.6 to 130; the client-aligned strip takes the rest.
        ScaleCase{96, 424, 405, Rect(0, 0, 424, 148), Rect(0, 148, 424, 275),
                  Rect(0, 275, 424, 405), -11},
        // 1.2: 607.2 to 607, 194.4 to 194, -16.8 to -17.
        ScaleCase{144, 636, 607, Rect(0, 0, 636, 222), Rect(0, 222, 636, 413),
                  Rect(0, 413, 636, 607), -17}),
    [](const testing::TestParamInfo<ScaleCase>& info) {
      return std::to_string(info.param.screenPpi) + "ppi";
    });

TEST_F(LayoutTest, UnscaledFormKeepsItsDesignSizeOnAnyScreen) {
  SetHeadlessPixelsPerInch(96);
  std::string text = kDesign;
  text.replace(text.find("  TextHeight"), 0, "  Scaled = False\n");
  TLayoutForm form(nullptr);
  ReadComponentRes(text, &form);
  EXPECT_EQ(form.ClientHeight(), 506);
  EXPECT_EQ(form.Spectral->BoundsRect(), Rect(0, 344, 530, 506));
  EXPECT_EQ(form.PixelsPerInch(), 120);
}

struct GrowCase {
  const char* name;
  void (*grow)(TCustomForm& form);  // makes the client area 100 pixels taller
};

class GrowTest : public LayoutTest, public testing::WithParamInterface<GrowCase> {};

TEST_P(GrowTest, OnlyTheClientAlignedControlChangesSizeAndEverythingRepaints) {
  TLayoutForm form(nullptr);
  BuildInCode(form);
  form.PaintPending();
  const int before = form.Finger->paints;
  GetParam().grow(form);
  EXPECT_EQ(form.ClientHeight(), 606);
  EXPECT_EQ(form.Height(), 633);
  EXPECT_EQ(form.Surface().height, 606);
  EXPECT_EQ(form.Wave->BoundsRect(), Rect(0, 0, 530, 185));
  EXPECT_EQ(form.Finger->BoundsRect(), Rect(0, 185, 530, 444));
  EXPECT_EQ(form.Spectral->BoundsRect(), Rect(0, 444, 530, 606));
  ASSERT_TRUE(form.PaintPending());
  EXPECT_EQ(form.Finger->paints, before + 1);
  EXPECT_EQ(form.Wave->paints, before + 1);
  EXPECT_EQ(form.Spectral->paints, before + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, GrowTest,
    testing::Values(
        GrowCase{"SetHeight", [](TCustomForm& f) { f.SetHeight(f.Height() + 100); }},
        GrowCase{"SetClientSize",
                 [](TCustomForm& f) { f.SetClientSize(f.ClientWidth(), f.ClientHeight() + 100); }},
        GrowCase{"WindowResize",
                 [](TCustomForm& f) { f.HandleResize(f.ClientWidth(), f.ClientHeight() + 100); }}),
    [](const testing::TestParamInfo<GrowCase>& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, SidesTakeTheirWidthHiddenControlsTakeNoSpace) {
  TForm form(nullptr);
  form.SetClientSize(200, 100);
  auto add = [&](TAlign align, TRect bounds) {
    auto* b = new TBlock(&form);
    b->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
    b->SetParent(&form);
    b->SetAlign(align);
    return b;
  };
  TBlock* client = add(alClient, Rect(0, 0, 1, 1));
  TBlock* leftA = add(alLeft, Rect(50, 0, 80, 5));
  TBlock* leftB = add(alLeft, Rect(-1, 0, 19, 5));  // left of leftA (now at 0): goes first
  TBlock* right = add(alRight, Rect(0, 0, 40, 5));
  TBlock* top = add(alTop, Rect(0, 0, 5, 10));
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 200, 10));
  EXPECT_EQ(leftB->BoundsRect(), Rect(0, 10, 20, 100));
  EXPECT_EQ(leftA->BoundsRect(), Rect(20, 10, 50, 100));
  EXPECT_EQ(right->BoundsRect(), Rect(160, 10, 200, 100));
  EXPECT_EQ(client->BoundsRect(), Rect(50, 10, 160, 100));

  top->SetVisible(false);
  EXPECT_EQ(leftB->BoundsRect(), Rect(0, 0, 20, 100));
  EXPECT_EQ(client->BoundsRect(), Rect(50, 0, 160, 100));
  delete leftA;  // its strip goes to the client-aligned control
  EXPECT_EQ(form.ControlCount(), 4);
  EXPECT_EQ(client->BoundsRect(), Rect(20, 0, 160, 100));
}

TEST_F(LayoutTest, ChangeScaleRoundsHalfAwayFromZero) {
  TBlock b(nullptr);
  b.SetBounds(5, -5, 3, 1);
  b.ChangeScale(1, 2);
  EXPECT_EQ(b.Left(), 3);    // 2.5
  EXPECT_EQ(b.Top(), -3);    // -2.5
  EXPECT_EQ(b.Width(), 2);   // 1.5
  EXPECT_EQ(b.Height(), 1);  // 0.5
  b.SetBounds(7, 8, 9, 10);
  b.ChangeScale(4, 5);
  EXPECT_EQ(b.BoundsRect(), Rect(6, 6, 6 + 7, 6 + 8));  // 5.6 6.4 7.2 8
}

TEST_F(LayoutTest, WrittenFormReadsBackToTheSameTextAndValues) {
  SetHeadlessPixelsPerInch(120);  // as designed: reading does not scale
  TLayoutForm original(nullptr);
  ReadComponentRes(kDesign, &original);
  original.SetColor(clWindow);
  original.Font()->Color = clRed;
  original.Font()->Style = TFontStyles{fsBold, fsItalic};
  original.Font()->Charset = ANSI_CHARSET;
  original.Font()->Name = "DejaVu Serif";
  original.Spectral->SetColor(0x00FF8000);
  const std::string text = WriteComponent(&original);
  for (const char* line :
       {"  Color = clWindow\n", "  Font.Charset = ANSI_CHARSET\n", "  Font.Color = clRed\n",
        "  Font.Height = -14\n", "  Font.Name = 'DejaVu Serif'\n",
        "  Font.Style = [fsBold, fsItalic]\n", "  Position = poScreenCenter\n",
        "  PixelsPerInch = 120\n", "    Color = $00FF8000\n", "    Align = alBottom\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
  EXPECT_EQ(text.find("Scaled"), std::string::npos) << "the default is not written";

  TLayoutForm copy(nullptr);
  ReadComponentRes(text, &copy);
  EXPECT_EQ(WriteComponent(&copy), text);
  EXPECT_EQ(copy.Color(), clWindow);
  EXPECT_EQ(copy.Font()->Style, (TFontStyles{fsBold, fsItalic}));
  ASSERT_NE(copy.Spectral, nullptr);
  EXPECT_EQ(copy.Spectral->Color(), 0x00FF8000);
  EXPECT_EQ(copy.Spectral->BoundsRect(), Rect(0, 344, 530, 506));
}

TEST_F(LayoutTest, DefaultFormWritesOnlyWhatDiffersFromTheDefaults) {
  TForm form(nullptr);
  form.SetName("Plain");
  const std::string text = WriteComponent(&form);
  EXPECT_EQ(text.find("  Color ="), std::string::npos) << text;
  EXPECT_EQ(text.find("Position"), std::string::npos) << text;
  EXPECT_NE(text.find("  Font.Style = []\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Font.Color = clWindowText\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Font.Charset = DEFAULT_CHARSET\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  PixelsPerInch = 96\n"), std::string::npos) << text;
}

TEST_F(LayoutTest, ChildrenLetGoOfADestroyedParent) {
  TForm form(nullptr);
  form.SetClientSize(100, 100);
  auto* a = new TBlock(&form);
  auto* b = new TBlock(&form);
  auto* panel = new TWinControl(&form);
  panel->SetParent(&form);
  a->SetParent(panel);
  b->SetParent(panel);
  EXPECT_THROW(panel->SetParent(panel), EInvalidOperation);
  delete panel;
  EXPECT_EQ(a->Parent(), nullptr);
  EXPECT_EQ(b->Parent(), nullptr);
  EXPECT_EQ(form.ControlCount(), 0);
  a->SetParent(&form);  // and can be placed again
  EXPECT_EQ(a->Form(), &form);
}

TEST_F(LayoutTest, FormDestroysItsControlsWhileItsOwnPartsStillExist) {
  struct Seen {
    bool onForm = false;
    bool formDestroying = false;
    int32_t surfaceWidth = -1;
  };
  std::vector<Seen> seen;
  gOnDestroy = [&](TBlock* block) {
    Seen s;
    TCustomForm* form = block->Form();
    s.onForm = form != nullptr;
    if (form) {
      s.formDestroying = form->ComponentState().Contains(csDestroying);
      s.surfaceWidth = form->Surface().width;
      block->Canvas()->FillRect(block->ClientRect());  // drawing now must be harmless
      block->Invalidate();
    }
    seen.push_back(s);
  };
  {
    auto* form = new TLayoutForm(nullptr);
    BuildInCode(*form);
    delete form;
  }
  ASSERT_EQ(seen.size(), 3u);
  for (const Seen& s : seen) {
    EXPECT_TRUE(s.onForm);
    EXPECT_TRUE(s.formDestroying);
    EXPECT_EQ(s.surfaceWidth, 530);
  }
}

}  // namespace
