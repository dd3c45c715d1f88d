// The canvas, pixel by pixel: rectangles, lines, single pixels, text cells, colours, and a graphic
// control's canvas on its form (origin, clipping, what it reports for presenting).
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"
#include "FontEngine.h"
#include "Forms.h"
#include "headless/Headless.h"

namespace {

const bool kHeadless = SelectWindowSystem("headless");

constexpr uint32_t kPaper = 0x123456;  // what an untouched framebuffer pixel holds

using Points = std::set<std::pair<int32_t, int32_t>>;

// A canvas bound to the whole of a small framebuffer, origin at its top-left.
class CanvasTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kHeadless || std::string(WindowSystem().Name()) == "headless");
    frame.Resize(16, 12);
    std::fill(frame.pixels.begin(), frame.pixels.end(), kPaper);
    canvas.Bind(&frame, TPoint{0, 0}, Rect(0, 0, frame.width, frame.height));
    canvas.Pen()->Color = clRed;
    canvas.Brush()->Color = clBlue;
  }

  // Every pixel no longer holding the paper colour.
  Points Marked() const {
    Points out;
    for (int32_t y = 0; y < frame.height; ++y)
      for (int32_t x = 0; x < frame.width; ++x)
        if (frame.At(x, y) != kPaper) out.insert({x, y});
    return out;
  }

  Framebuffer frame;
  TCanvas canvas;
};

struct FillCase {
  const char* name;
  TRect rect;
  TRect filled;  // the framebuffer area expected in the brush colour; empty: nothing
};

class FillRectTest : public CanvasTest, public testing::WithParamInterface<FillCase> {};

TEST_P(FillRectTest, FillsLeftToRightMinusOneAndTopToBottomMinusOne) {
  const FillCase& c = GetParam();
  canvas.FillRect(c.rect);
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x) {
      const bool inside =
          x >= c.filled.Left && x < c.filled.Right && y >= c.filled.Top && y < c.filled.Bottom;
      ASSERT_EQ(frame.At(x, y), inside ? 0x0000FFu : kPaper) << "pixel " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rects, FillRectTest,
    testing::Values(
        FillCase{"Inner", Rect(2, 3, 5, 7), Rect(2, 3, 5, 7)},
        FillCase{"SinglePixel", Rect(4, 4, 5, 5), Rect(4, 4, 5, 5)},
        FillCase{"Inverted", Rect(5, 7, 2, 3), TRect{}},
        FillCase{"InvertedHorizontally", Rect(5, 3, 2, 7), TRect{}},
        FillCase{"ZeroWidth", Rect(2, 3, 2, 7), TRect{}},
        FillCase{"OverTheTopLeftCorner", Rect(-5, -5, 3, 2), Rect(0, 0, 3, 2)},
        FillCase{"OverTheBottomRightCorner", Rect(10, 8, 100, 100), Rect(10, 8, 16, 12)},
        FillCase{"HugeCoordinates", Rect(-2000000000, 5, 2000000000, 6), Rect(0, 5, 16, 6)}),
    [](const testing::TestParamInfo<FillCase>& info) { return std::string(info.param.name); });

struct LineCase {
  const char* name;
  TPoint from, to;
  Points drawn;
};

class LineToTest : public CanvasTest, public testing::WithParamInterface<LineCase> {};

TEST_P(LineToTest, DrawsFromThePenExcludingTheTargetAndMovesThePenThere) {
  const LineCase& c = GetParam();
  canvas.MoveTo(c.from.x, c.from.y);
  canvas.LineTo(c.to.x, c.to.y);
  EXPECT_EQ(Marked(), c.drawn);
  EXPECT_EQ(canvas.PenPos(), c.to);
  for (const auto& [x, y] : c.drawn) EXPECT_EQ(frame.At(x, y), 0xFF0000u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineToTest,
    testing::Values(
        LineCase{"Right", {1, 1}, {5, 1}, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        LineCase{"Left", {5, 1}, {1, 1}, {{5, 1}, {4, 1}, {3, 1}, {2, 1}}},
        LineCase{"Down", {2, 0}, {2, 3}, {{2, 0}, {2, 1}, {2, 2}}},
        LineCase{"Diagonal", {0, 0}, {3, 3}, {{0, 0}, {1, 1}, {2, 2}}},
        LineCase{"Shallow", {0, 0}, {6, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
        LineCase{
            "ShallowBackwards", {6, 2}, {0, 0}, {{6, 2}, {5, 2}, {4, 1}, {3, 1}, {2, 1}, {1, 0}}},
        LineCase{"SteepUp", {2, 6}, {0, 0}, {{2, 6}, {2, 5}, {1, 4}, {1, 3}, {1, 2}, {0, 1}}},
        LineCase{"OneStep", {7, 7}, {8, 7}, {{7, 7}}}, LineCase{"ZeroLength", {3, 3}, {3, 3}, {}},
        LineCase{"LeavingTheFrame", {14, 10}, {20, 10}, {{14, 10}, {15, 10}}},
        // Far-off end points on the same mathematical line as "Shallow": the visible part is
        // identical, and only the visible steps are walked.
        LineCase{"FarOffStart",
                 {-1800000000, -600000000},
                 {6, 2},
                 {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(CanvasTest, PolylineDrawsEachSegmentWithoutTheLastPoint) {
  const TPoint square[4] = {{1, 1}, {6, 1}, {6, 4}, {1, 4}};
  canvas.Polyline(square, 4);
  Points expected;
  for (int x = 1; x <= 5; ++x) expected.insert({x, 1});  // top, left to right
  for (int y = 1; y <= 3; ++y) expected.insert({6, y});  // right side, down
  for (int x = 6; x >= 2; --x) expected.insert({x, 4});  // bottom, right to left
  EXPECT_EQ(Marked(), expected);
  EXPECT_EQ(canvas.PenPos(), (TPoint{1, 4}));
}

TEST_F(CanvasTest, PolylineOfOnePointOnlyMovesThePenAndOfNoneDoesNothing) {
  const TPoint one[1] = {{3, 3}};
  canvas.Polyline(one, 1);
  EXPECT_EQ(canvas.PenPos(), (TPoint{3, 3}));
  canvas.Polyline(one, 0);
  canvas.Polyline(nullptr, -1);
  EXPECT_TRUE(Marked().empty());
  EXPECT_EQ(canvas.PenPos(), (TPoint{3, 3}));
}

TEST_F(CanvasTest, SetPixelWritesOneConvertedPixelAndGetPixelReadsItBack) {
  canvas.SetPixel(3, 2, 0x00336699);  // 0x00BBGGRR
  EXPECT_EQ(Marked(), (Points{{3, 2}}));
  EXPECT_EQ(frame.At(3, 2), 0x996633u);
  EXPECT_EQ(canvas.GetPixel(3, 2), 0x00336699);
  canvas.SetPixel(-1, 2, clWhite);
  canvas.SetPixel(16, 0, clWhite);
  canvas.SetPixel(0, 12, clWhite);
  EXPECT_EQ(Marked().size(), 1u);
  EXPECT_EQ(canvas.GetPixel(-1, 0), -1);
  EXPECT_EQ(canvas.GetPixel(0, 12), -1);
}

TEST_F(CanvasTest, UnboundCanvasDrawsNothingAnywhere) {
  canvas.Bind(nullptr, TPoint{}, Rect(0, 0, 16, 12));
  canvas.FillRect(Rect(0, 0, 16, 12));
  canvas.LineTo(10, 10);
  canvas.SetPixel(1, 1, clWhite);
  canvas.TextOut(0, 0, "x");
  EXPECT_TRUE(Marked().empty());
  EXPECT_EQ(canvas.ClipRect(), TRect{});
  EXPECT_EQ(canvas.PenPos(), (TPoint{10, 10}));
}

TEST_F(CanvasTest, OriginShiftsAndClipLimitsEveryCall) {
  canvas.Bind(&frame, TPoint{4, 3}, Rect(4, 3, 10, 8));
  EXPECT_EQ(canvas.ClipRect(), Rect(0, 0, 6, 5));
  canvas.FillRect(Rect(-100, -100, 100, 100));
  Points expected;
  for (int y = 3; y < 8; ++y)
    for (int x = 4; x < 10; ++x) expected.insert({x, y});
  EXPECT_EQ(Marked(), expected);
  std::fill(frame.pixels.begin(), frame.pixels.end(), kPaper);
  canvas.MoveTo(-2, 0);
  canvas.LineTo(20, 0);
  canvas.SetPixel(0, 5, clWhite);  // one row below the clip
  EXPECT_EQ(Marked(), (Points{{4, 3}, {5, 3}, {6, 3}, {7, 3}, {8, 3}, {9, 3}}));
}

TEST_F(CanvasTest, ReportsTheAreaEachCallChanged) {
  struct Recorder {
    std::vector<TRect> areas;
    void Damage(const TRect& r) { areas.push_back(r); }
  } recorder;
  canvas.Bind(&frame, TPoint{2, 1}, Rect(0, 0, 16, 12));
  canvas.SetDamageHandler(MakeMethod<&Recorder::Damage>(&recorder));
  canvas.FillRect(Rect(0, 0, 3, 2));
  canvas.MoveTo(0, 5);
  canvas.LineTo(4, 7);
  canvas.SetPixel(100, 100, clWhite);  // outside: draws nothing, reports nothing
  const TPoint vee[3] = {{0, 0}, {2, 2}, {4, 0}};
  canvas.Polyline(vee, 3);
  ASSERT_EQ(recorder.areas.size(), 3u);
  EXPECT_EQ(recorder.areas[0], Rect(2, 1, 5, 3));
  EXPECT_EQ(recorder.areas[1], Rect(2, 6, 6, 9));  // (2,6) (3,7) (4,7) (5,8)
  EXPECT_EQ(recorder.areas[2], Rect(2, 1, 6, 4));  // one area for the whole polyline
}

// ---- Colours ----

struct ColorCase {
  TColor color;
  uint32_t pixel;
  const char* text;
};

class ColorTest : public testing::TestWithParam<ColorCase> {};

TEST_P(ColorTest, MapsToItsPixelAndStreamsByNameOrHex) {
  const ColorCase& c = GetParam();
  EXPECT_EQ(ColorToPixel(c.color), c.pixel);
  EXPECT_EQ(TypeColor.OrdToText(c.color), c.text);
  auto back = TypeColor.TextToOrd(c.text);
  ASSERT_TRUE(back.has_value()) << c.text;
  EXPECT_EQ(*back, c.color);
}

INSTANTIATE_TEST_SUITE_P(
    Colors, ColorTest,
    testing::Values(ColorCase{clBlack, 0x000000, "clBlack"}, ColorCase{clRed, 0xFF0000, "clRed"},
                    ColorCase{clBlue, 0x0000FF, "clBlue"}, ColorCase{clLime, 0x00FF00, "clLime"},
                    ColorCase{clWhite, 0xFFFFFF, "clWhite"},
                    ColorCase{0x00FF8000, 0x0080FF, "$00FF8000"},
                    ColorCase{0x00000001, 0x010000, "$00000001"},
                    ColorCase{clBtnFace, 0xF0F0F0, "clBtnFace"},
                    ColorCase{clWindowText, 0x000000, "clWindowText"},
                    ColorCase{clWindow, 0xFFFFFF, "clWindow"},
                    ColorCase{clBtnHighlight, 0xFFFFFF, "clBtnHighlight"},
                    // A system index past the 21 known ones has no name and draws black.
                    ColorCase{clSystemColor | 30, 0x000000, "$8000001E"}));

TEST(ColorTest, SystemColoursHaveFixedValuesAndNamesReadCaseInsensitively) {
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xF0F0F0);
  EXPECT_EQ(ColorToRGB(clHighlight), 0xD77800);  // 0x00BBGGRR of a blue
  EXPECT_EQ(ColorToRGB(0x7F123456), 0x123456);   // only the low three bytes are a colour
  EXPECT_EQ(TypeColor.TextToOrd("CLBTNFACE"), clBtnFace);
  EXPECT_FALSE(TypeColor.TextToOrd("clNoSuchColour").has_value());
}

// ---- Text ----

class TextTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    frame.Resize(120, 60);
    std::fill(frame.pixels.begin(), frame.pixels.end(), kPaper);
    canvas.Bind(&frame, TPoint{0, 0}, Rect(0, 0, frame.width, frame.height));
    canvas.Brush()->Color = clBlue;
    canvas.Font()->Color = clWhite;
  }

  // Rows [first, last] that hold ink (pixels not in the brush colour) inside `cell`.
  std::pair<int32_t, int32_t> InkRows(const TRect& cell) const {
    int32_t first = -1, last = -1;
    for (int32_t y = cell.Top; y < cell.Bottom; ++y)
      for (int32_t x = cell.Left; x < cell.Right; ++x)
        if (frame.At(x, y) != 0x0000FFu) {
          if (first < 0) first = y;
          last = y;
        }
    return {first, last};
  }
};

TEST_F(TextTest, TextOutFillsExactlyItsCellWithTheBrushThenBlendsTheGlyphs) {
  canvas.Font()->Height = 8;
  const std::string text = "Hg 42";
  const int32_t w = canvas.TextWidth(text);
  ASSERT_EQ(canvas.TextHeight(text), 8);
  ASSERT_GT(w, 0);
  canvas.TextOut(3, 4, text);
  const TRect cell = Rect(3, 4, 3 + w, 12);
  int inked = 0;
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x) {
      const uint32_t p = frame.At(x, y);
      const bool inside = x >= cell.Left && x < cell.Right && y >= cell.Top && y < cell.Bottom;
      if (!inside) {
        ASSERT_EQ(p, kPaper) << "outside the cell at " << x << "," << y;
        continue;
      }
      // Between the blue brush and the white font: red and green rise together, blue stays.
      ASSERT_EQ(p & 0xFF, 0xFFu) << x << "," << y;
      ASSERT_EQ((p >> 16) & 0xFF, (p >> 8) & 0xFF) << x << "," << y;
      if (p != 0x0000FF) ++inked;
    }
  EXPECT_GT(inked, 5);
}

TEST_F(TextTest, WidthIsTheSumOfTheAdvances) {
  canvas.Font()->Height = -14;
  EXPECT_EQ(canvas.TextWidth("Hi!"),
            canvas.TextWidth("H") + canvas.TextWidth("i") + canvas.TextWidth("!"));
  EXPECT_EQ(canvas.TextWidth(""), 0);
  EXPECT_GT(canvas.TextWidth("\xC3\xA9"), 0);  // U+00E9 in UTF-8 is one glyph
  EXPECT_EQ(canvas.TextWidth("\xC3\xA9"), canvas.TextWidth("\xC3\xA9\xC3\xA9") / 2);
}

// FreeType's own measure of the capital H at `em` pixels: its outline height, unhinted.
double CapHeightPixels(const std::string& file, int index, int em) {
  FT_Library lib;
  if (FT_Init_FreeType(&lib) != 0) return -1;
  FT_Face face;
  double height = -1;
  if (FT_New_Face(lib, file.c_str(), index, &face) == 0) {
    if (FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE) == 0)
      height = static_cast<double>(face->glyph->metrics.height) * em / face->units_per_EM;
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  return height;
}

TEST_F(TextTest, NegativeHeightIsTheEmAndPositiveTheCell) {
  canvas.Brush()->Color = clBlue;
  canvas.Font()->Height = -14;
  const FontEngine::Metrics em = FontEngine::Measure(*canvas.Font());
  ASSERT_FALSE(em.file.empty()) << "no font found through fontconfig";
  EXPECT_EQ(em.emPixels, 14);
  canvas.TextOut(0, 0, "H");
  const auto [top14, bottom14] = InkRows(Rect(0, 0, canvas.TextWidth("H"), em.cellHeight));
  const double expected = CapHeightPixels(em.file, em.faceIndex, 14);
  ASSERT_GT(expected, 0);
  EXPECT_NEAR(bottom14 - top14 + 1, expected, 1.0);

  // A 14-pixel cell holds ascender and descender, so its H is clearly smaller.
  canvas.Font()->Height = 14;
  EXPECT_EQ(canvas.TextHeight("H"), 14);
  canvas.TextOut(40, 0, "H");
  const auto [topCell, bottomCell] = InkRows(Rect(40, 0, 40 + canvas.TextWidth("H"), 14));
  EXPECT_LT(bottomCell - topCell, bottom14 - top14);
}

TEST(FontTest, UnknownAndClassicNamesUseTheSystemSansFont) {
  TFont classic, unknown, sans;
  unknown.Name = "No Such Family 7Q";
  sans.Name = "sans-serif";
  const std::string file = FontEngine::Measure(sans).file;
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(FontEngine::Measure(classic).file, file);  // "MS Sans Serif"
  EXPECT_EQ(FontEngine::Measure(unknown).file, file);
}

TEST(FontTest, StyleSelectsABolderFaceAndAssignCopiesEverything) {
  TFont plain, bold;
  plain.Height = bold.Height = -20;
  bold.Style = TFontStyles{fsBold};
  EXPECT_GE(FontEngine::TextWidth(bold, "Wide words"), FontEngine::TextWidth(plain, "Wide words"));
  TFont copy;
  bold.Color = clRed;
  bold.Name = "DejaVu Serif";
  copy.Assign(&bold);
  EXPECT_EQ(copy.Style, bold.Style);
  EXPECT_EQ(copy.Color, clRed);
  EXPECT_EQ(copy.Height, -20);
  EXPECT_EQ(copy.Name, "DejaVu Serif");
  TPen pen;
  EXPECT_THROW(copy.Assign(&pen), EConvertError);
}

// ---- A graphic control's canvas on its form ----

class TProbe : public TGraphicControl {
  VCL_CLASS(TProbe)
  explicit TProbe(TComponent* owner) : TGraphicControl(owner) {}
  std::vector<TRect> paintClips;

 protected:
  void Paint() override {
    paintClips.push_back(Canvas()->ClipRect());
    Canvas()->Brush()->Color = clRed;
    Canvas()->FillRect(Canvas()->ClipRect());
  }
};

const TClassInfo& TProbe::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TProbe>("TProbe", &TGraphicControl::StaticClass()).Build();
  return info;
}

class ControlCanvasTest : public testing::Test {
 protected:
  void SetUp() override {
    form.SetClientSize(40, 30);
    form.SetColor(clWhite);
    probe = new TProbe(&form);
    probe->SetBounds(10, 5, 8, 6);
    probe->SetParent(&form);
    form.PaintPending();  // everything painted once: white with a red probe
    std::fill(form.Surface().pixels.begin(), form.Surface().pixels.end(), kPaper);
  }

  Points Marked() const {
    Points out;
    const Framebuffer& f = form.Surface();
    for (int32_t y = 0; y < f.height; ++y)
      for (int32_t x = 0; x < f.width; ++x)
        if (f.At(x, y) != kPaper) out.insert({x, y});
    return out;
  }

  static Points Area(const TRect& r) {
    Points out;
    for (int32_t y = r.Top; y < r.Bottom; ++y)
      for (int32_t x = r.Left; x < r.Right; ++x) out.insert({x, y});
    return out;
  }

  TForm form{nullptr};
  TProbe* probe = nullptr;
};

TEST_F(ControlCanvasTest, CanvasHasTheControlsOriginAndIsClippedToIt) {
  TCanvas* c = probe->Canvas();
  EXPECT_EQ(c->ClipRect(), Rect(0, 0, 8, 6));
  c->Brush()->Color = clBlue;
  c->FillRect(Rect(-5, -5, 100, 100));
  EXPECT_EQ(Marked(), Area(Rect(10, 5, 18, 11)));
  std::fill(form.Surface().pixels.begin(), form.Surface().pixels.end(), kPaper);
  c->SetPixel(-1, 0, clBlue);
  c->SetPixel(8, 0, clBlue);
  c->SetPixel(0, 0, clBlue);
  EXPECT_EQ(Marked(), (Points{{10, 5}}));
}

TEST_F(ControlCanvasTest, PaintSeesOnlyTheInvalidatedPartOfTheControl) {
  probe->paintClips.clear();
  form.InvalidateRect(Rect(12, 0, 14, 30));
  ASSERT_TRUE(form.PaintPending());
  ASSERT_EQ(probe->paintClips.size(), 1u);
  EXPECT_EQ(probe->paintClips[0], Rect(2, 0, 4, 6));
  // The form's colour over the whole invalid strip, the control's paint on its part of it.
  EXPECT_EQ(Marked(), Area(Rect(12, 0, 14, 30)));
  for (int32_t y = 0; y < 30; ++y)
    EXPECT_EQ(form.Surface().At(12, y), (y >= 5 && y < 11) ? 0xFF0000u : 0xFFFFFFu) << y;
  EXPECT_FALSE(form.PaintPending());
}

TEST_F(ControlCanvasTest, ControlsOutsideTheInvalidAreaAreNotPainted) {
  probe->paintClips.clear();
  form.InvalidateRect(Rect(0, 20, 40, 30));
  form.PaintPending();
  EXPECT_TRUE(probe->paintClips.empty());
  probe->SetVisible(false);
  form.PaintPending();
  EXPECT_TRUE(probe->paintClips.empty());
  EXPECT_EQ(form.Surface().At(10, 5), 0xFFFFFFu);  // hiding it repainted the form there
}

TEST_F(ControlCanvasTest, DrawingOutsideAPaintIsPresentedAtTheNextPresent) {
  form.Show();
  form.PaintPending();
  form.PresentPending();
  ASSERT_FALSE(form.HasPendingPresent());
  probe->Canvas()->SetPixel(3, 2, clLime);
  probe->Canvas()->Pen()->Color = clBlue;
  probe->Canvas()->MoveTo(0, 5);
  probe->Canvas()->LineTo(8, 5);
  EXPECT_FALSE(form.HasPendingPaint());
  ASSERT_TRUE(form.HasPendingPresent());
  ASSERT_TRUE(form.PresentPending());
  const HeadlessWindowState window = HeadlessWindow(form.Window());
  ASSERT_TRUE(window.exists);
  EXPECT_EQ(window.screen.At(13, 7), 0x00FF00u);
  EXPECT_EQ(window.screen.At(10, 10), 0x0000FFu);
  EXPECT_EQ(window.screen.At(17, 10), 0x0000FFu);
  EXPECT_EQ(window.screen.At(12, 7), 0xFF0000u);  // presented earlier, unchanged
}

TEST_F(ControlCanvasTest, NestedControlIsClippedToItsParentsClientArea) {
  auto* panel = new TWinControl(&form);
  panel->SetBounds(20, 10, 10, 10);
  panel->SetParent(&form);
  auto* inner = new TProbe(&form);
  inner->SetBounds(5, 5, 20, 20);
  inner->SetParent(panel);
  EXPECT_EQ(inner->FormOrigin(), (TPoint{25, 15}));
  std::fill(form.Surface().pixels.begin(), form.Surface().pixels.end(), kPaper);
  inner->Canvas()->Brush()->Color = clBlue;
  inner->Canvas()->FillRect(Rect(0, 0, 20, 20));
  EXPECT_EQ(Marked(), Area(Rect(25, 15, 30, 20)));
}

TEST_F(ControlCanvasTest, ControlOnNoFormDrawsNothing) {
  TProbe loose(nullptr);
  loose.SetBounds(0, 0, 10, 10);
  loose.Canvas()->FillRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(loose.Canvas()->Target(), nullptr);
  probe->SetParent(nullptr);
  probe->Canvas()->FillRect(Rect(0, 0, 10, 10));
  EXPECT_TRUE(Marked().empty());
}

}  // namespace
