// TFingerprintView: level colours at their thresholds, one pixel row per bin with bin 0 at the
// bottom, the sweep of the column and its cursor, the wrap on even and odd widths, and the designer
// scale. Spectra come from a real FFT of mono 16-bit blocks whose magnitudes are known.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "FingerprintView.h"
#include "FrequencyLabel.h"
#include "ViewTestSupport.h"

namespace views_test {
namespace {

constexpr TColor kOrange = 0x000080FF;
constexpr TColor kBackground = 0x00404040;  // the views' Color in these tests

class FingerprintViewTest : public ViewTest {
 protected:
  // A view of w × h at (0, top) on a form `extra` columns wider, fed by an FFT of `points` points
  // from a mono 16-bit recorder with blocks of 256 frames.
  void Setup(int32_t w, int32_t h, int32_t points, int32_t top = 0, int32_t extra = 0) {
    MakeForm(w + extra, h + top);
    view = AddView<TFingerprintView>(0, top, w, h);
    view->SetColor(kBackground);
    MakeRecorder(256);
    MakeFFT(points);
    view->BindSource(fft.get());
    StartCapture();
    ASSERT_TRUE(fft->HasTables());
  }

  TFingerprintView* view = nullptr;
};

// ---- Level colours ----

struct LevelCase {
  int32_t magnitude;  // of bin 0
  TColor colour;      // kBackground: the pixels keep Color
};

class FingerprintLevelTest : public FingerprintViewTest,
                             public testing::WithParamInterface<LevelCase> {};

// With a 256-point FFT over one block of 256 frames, bin 0's magnitude is the block's sum / 16, so
// a block summing to 16·M gives exactly M; the one uneven sample puts at most 15/16 on other bins.
TEST_P(FingerprintLevelTest, BinZeroTakesTheColourOfItsLevel) {
  const LevelCase& c = GetParam();
  Setup(20, 40, 256);
  ASSERT_EQ(fft->BufSize(), 256);
  const int64_t sum = int64_t{16} * c.magnitude;
  std::vector<int16_t> block(256, static_cast<int16_t>(sum / 256));
  block[0] = static_cast<int16_t>(sum / 256 + sum % 256);
  Feed(block);
  ASSERT_DOUBLE_EQ(fft->Magnitude(0), c.magnitude);
  EXPECT_EQ(Surface().At(0, 39), Pixel(c.colour));
  EXPECT_EQ(Surface().At(1, 39), Pixel(c.colour));
  for (int32_t y = 0; y < 39; ++y) {
    ASSERT_EQ(Surface().At(0, y), Pixel(kBackground)) << "row " << y;
    ASSERT_EQ(Surface().At(1, y), Pixel(kBackground)) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Thresholds, FingerprintLevelTest,
                         testing::Values(LevelCase{0, kBackground}, LevelCase{2303, kBackground},
                                         LevelCase{2304, clNavy}, LevelCase{4095, clNavy},
                                         LevelCase{4096, clBlue}, LevelCase{8191, clBlue},
                                         LevelCase{8192, clLime}, LevelCase{16383, clLime},
                                         LevelCase{16384, clYellow}, LevelCase{32767, clYellow},
                                         LevelCase{32768, kOrange}, LevelCase{65535, kOrange},
                                         LevelCase{65536, clRed}, LevelCase{262144, clRed}));

// ---- Rows and bins ----

// Bin j of 1024 gets a cosine whose level (magnitude / 256) lies well inside one colour's range:
// the colours cycle with j mod 5, bin 50 is orange, bin 100 red, and bin 0 (a constant offset)
// lime.
TColor DesignedColour(int j) {
  if (j == 0) return clLime;
  if (j == 50) return kOrange;
  if (j == 100) return clRed;
  const TColor cycle[5] = {kBackground, clNavy, clBlue, clLime, clYellow};
  return cycle[j % 5];
}

double DesignedLevel(int j) {
  if (j == 50) return 160.5;
  if (j == 100) return 300.5;
  const double cycle[5] = {0, 11.5, 20.5, 40.5, 80.5};
  return cycle[j % 5];
}

std::vector<int16_t> BinSignal(int bins) {
  constexpr int kN = 1024;
  // A cosine of amplitude A on bin j has magnitude 16·A; a constant d has magnitude 32·d on bin 0.
  std::vector<double> x(kN, 40.5 * 256 / 32);
  for (int j = 1; j < bins; ++j) {
    const double a = DesignedLevel(j) * 256 / 16;
    const double phase = M_PI * j * (j - 1) / 158;  // keeps the sum well inside 16 bits
    for (int n = 0; n < kN; ++n) x[n] += a * std::cos(2 * M_PI * j * n / kN + phase);
  }
  std::vector<int16_t> s(kN);
  for (int n = 0; n < kN; ++n) {
    const long v = std::lround(x[n]);
    EXPECT_LT(std::labs(v), 32768) << "the test signal must fit 16 bits";
    s[n] = static_cast<int16_t>(v);
  }
  return s;
}

TEST_F(FingerprintViewTest, MainFormViewDrawsBins0To158BottomUp) {
  constexpr int32_t kTop = 21, kW = 530, kH = 159;
  Setup(kW, kH, 1024, kTop);
  view->SetSkipFrames(3);  // only the fourth block, when the window holds one whole period
  FeedSignal(BinSignal(159));
  EXPECT_EQ(view->Column(), 2);
  for (int32_t bin = 0; bin < kH; ++bin) {
    const int32_t y = kTop + kH - 1 - bin;
    ASSERT_EQ(Surface().At(0, y), Pixel(DesignedColour(bin))) << "bin " << bin;
    ASSERT_EQ(Surface().At(1, y), Pixel(DesignedColour(bin))) << "bin " << bin;
    ASSERT_EQ(Surface().At(2, y), Pixel(clWhite)) << "the cursor, row " << y;
  }
  for (int32_t y = 0; y < kTop + kH; ++y)
    for (int32_t x = 0; x < kW; ++x)
      if (y < kTop || x > 2) {
        ASSERT_EQ(Surface().At(x, y), Pixel(kPaper)) << x << "," << y;
      }
}

// Bins at and above the height have no row: loud tones on bins 159 and 300 leave the whole column
// in Color (a row mapping off by one would show bin 159 on the top row).
TEST_F(FingerprintViewTest, BinsAboveTheHeightAreNotDrawn) {
  constexpr int32_t kTop = 21, kW = 530, kH = 159;
  Setup(kW, kH, 1024, kTop);
  view->SetSkipFrames(3);
  std::vector<int16_t> tone(1024);
  for (int n = 0; n < 1024; ++n)
    tone[n] = static_cast<int16_t>(std::lround(
        10000 * (std::cos(2 * M_PI * 159 * n / 1024) + std::cos(2 * M_PI * 300 * n / 1024))));
  FeedSignal(tone);
  for (int32_t y = 0; y < kTop + kH; ++y)
    ASSERT_EQ(Surface().At(0, y), Pixel(y < kTop ? kPaper : kBackground)) << "row " << y;
}

// ---- The sweep ----

struct SweepCase {
  int32_t width;
  int32_t frames;  // until the column wraps to 0
};

class FingerprintSweepTest : public FingerprintViewTest,
                             public testing::WithParamInterface<SweepCase> {};

TEST_P(FingerprintSweepTest, ColumnAdvancesByTwoAndWrapsAtTheWidth) {
  const int32_t w = GetParam().width;
  constexpr int32_t kH = 30;
  Setup(w, kH, 1024, 0, /*extra=*/10);
  const std::vector<int16_t> silence(256, 0);
  EXPECT_EQ(view->Column(), 0);
  for (int32_t k = 1; k < GetParam().frames; ++k) {
    Feed(silence);
    ASSERT_EQ(view->Column(), 2 * k) << "after frame " << k;
  }
  // Before the wrap: every column left of the cursor cleared to Color, the cursor in Line, the rest
  // of the view untouched.
  const int32_t cursor = view->Column();
  for (int32_t x = 0; x < w + 10; ++x) {
    const uint32_t want = x < cursor    ? Pixel(kBackground)
                          : x == cursor ? Pixel(clWhite)
                                        : Pixel(kPaper);
    ASSERT_EQ(Surface().At(x, 0), want) << "column " << x;
    ASSERT_EQ(Surface().At(x, kH - 1), want) << "column " << x;
  }

  Feed(silence);  // drawn in the last pair, which may stick out of an odd-width view
  EXPECT_EQ(view->Column(), 0);
  for (int32_t y = 0; y < kH; ++y) {
    ASSERT_EQ(Surface().At(0, y), Pixel(clWhite)) << "the cursor is back at the left edge";
    ASSERT_EQ(Surface().At(cursor, y), Pixel(kBackground)) << "row " << y;
    for (int32_t x = w; x < w + 10; ++x)
      ASSERT_EQ(Surface().At(x, y), Pixel(kPaper)) << "outside the view at " << x;
  }

  Feed(silence);  // the left pair is cleared, cursor and all
  EXPECT_EQ(view->Column(), 2);
  EXPECT_EQ(Surface().At(0, 0), Pixel(kBackground));
  EXPECT_EQ(Surface().At(2, 0), Pixel(clWhite));
}

INSTANTIATE_TEST_SUITE_P(Widths, FingerprintSweepTest,
                         testing::Values(SweepCase{530, 265}, SweepCase{201, 101}));

// ---- Paint ----

TEST_F(FingerprintViewTest, DesignerShowsTheScaleOfTheSourceAndTheSampleCursor) {
  constexpr int32_t kTop = 21, kW = 530, kH = 159;
  MakeForm(kW, kH + kTop, /*designing=*/true);
  view = AddView<TFingerprintView>(0, kTop, kW, kH);
  view->SetColor(clNavy);
  MakeRecorder(256);
  MakeFFT(1024);
  view->BindSource(fft.get());

  const std::vector<std::string> labels = {"0.0KHz", "0.3KHz", "0.6KHz",
                                           "0.9KHz", "1.2KHz", "1.6KHz"};
  const std::vector<int32_t> labelTops = {136, 106, 76, 46, 16, -14};
  const std::vector<int32_t> gridRows = {158, 128, 98, 68, 38, 8};
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(FrequencyLabel(fft->BinFrequency(30 * k)), labels[k]) << "line " << k;

  Sketch want(Surface(), view->BoundsRect());
  TCanvas& c = want.canvas;
  c.Brush()->Color = clNavy;
  c.FillRect(Rect(0, 0, kW, kH));
  c.Font()->Height = 8;
  c.Font()->Color = clGreen;
  for (int k = 0; k < 6; ++k) c.TextOut(15, labelTops[k], labels[k]);
  c.Pen()->Color = clGreen;
  for (int32_t row : gridRows) {
    c.MoveTo(0, row);
    c.LineTo(kW, row);
  }
  c.Pen()->Color = clWhite;
  c.MoveTo(5, 0);
  c.LineTo(5, kH);

  ASSERT_TRUE(form->PaintPending());
  EXPECT_TRUE(SamePicture(Surface(), want.picture));
  for (int32_t row : gridRows) {
    EXPECT_EQ(Surface().At(0, kTop + row), Pixel(clGreen)) << "grid row " << row;
    EXPECT_EQ(Surface().At(kW - 1, kTop + row), Pixel(clGreen)) << "grid row " << row;
    EXPECT_EQ(Surface().At(5, kTop + row), Pixel(clWhite)) << "the cursor crosses row " << row;
  }
  EXPECT_EQ(Surface().At(200, kTop + 157), Pixel(clNavy));
}

TEST_F(FingerprintViewTest, DesignerWithoutASourceShowsOnlyColor) {
  MakeForm(220, 110, /*designing=*/true);
  view = AddView<TFingerprintView>(10, 5, 200, 100);
  view->SetColor(clNavy);
  Sketch want(Surface(), view->BoundsRect());
  want.canvas.Brush()->Color = clNavy;
  want.canvas.FillRect(Rect(0, 0, 200, 100));
  ASSERT_TRUE(form->PaintPending());
  EXPECT_TRUE(SamePicture(Surface(), want.picture));
}

}  // namespace
}  // namespace views_test
