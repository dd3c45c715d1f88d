// TSpectralView: live bars from a real FFT of a signal whose band levels are known, the columns
// right of the last bar, the fixed colours of live bars, band counts that leave no bins, and the
// designer preview with and without labels.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "FrequencyLabel.h"
#include "SpectralView.h"
#include "ViewTestSupport.h"

namespace views_test {
namespace {

constexpr int32_t kN = 1024;  // FFT points
constexpr int32_t kWidth = 530, kHeight = 162, kBands = 20;
constexpr int32_t kBarWidth = 26, kStep = 25;  // 530 / 20 and 1024 / 40

// The level (bar height) each of the 20 bands is made to have. Band 0 is silent, band 1 is far
// louder than the view is high (its mean magnitude / 32 is 170).
constexpr int32_t kClamped = -1;
const std::vector<int32_t> kLevels = {0,  kClamped, 3,  9,  15, 21, 27, 33, 39, 45,
                                      51, 57,       63, 69, 75, 81, 87, 93, 99, 105};

// One period of N samples: for each band a cosine on its centre bin (25·k + 12), with an amplitude
// that puts the band's summed magnitudes in the middle of its level: a cosine of amplitude A has
// magnitude A·N/2/sqrt(N) = 16·A, and 16·(50·L + 25) = 800·L + 400 = 32·step·L + 400.
std::vector<int16_t> BandSignal() {
  std::vector<double> x(kN, 0.0);
  for (int k = 0; k < kBands; ++k) {
    const double a = kLevels[k] == kClamped ? 8500.0 : kLevels[k] > 0 ? 50.0 * kLevels[k] + 25 : 0;
    const double phase = M_PI * k * k / 10;  // keeps the sum well inside 16 bits
    for (int n = 0; n < kN; ++n) x[n] += a * std::cos(2 * M_PI * (25 * k + 12) * n / kN + phase);
  }
  std::vector<int16_t> s(kN);
  for (int n = 0; n < kN; ++n) {
    const long v = std::lround(x[n]);
    EXPECT_LT(std::labs(v), 32768) << "the test signal must fit 16 bits";
    s[n] = static_cast<int16_t>(v);
  }
  return s;
}

class SpectralViewTest : public ViewTest {
 protected:
  // The main form's bar view (530 × 162, 20 bands) at the bottom of a form with 18 paper rows
  // above it, fed by a 1024-point FFT of a mono 16-bit recorder at 11025 Hz.
  void SetupLive() {
    MakeForm(kWidth, kHeight + kTop);
    view = AddView<TSpectralView>(0, kTop, kWidth, kHeight);
    view->SetBandCount(kBands);
    MakeRecorder(256);
    MakeFFT(kN);
    view->BindSource(fft.get());
    StartCapture();
    ASSERT_TRUE(fft->HasTables());
  }

  uint32_t At(int32_t x, int32_t y) const { return Surface().At(x, y + kTop); }

  static constexpr int32_t kTop = 18;
  TSpectralView* view = nullptr;
};

// The picture after the whole signal has filled the FFT's window.
struct LiveColours {
  const char* name;
  TColor color;
  TColor line;
};

class SpectralLiveTest : public SpectralViewTest,
                         public testing::WithParamInterface<LiveColours> {};

TEST_P(SpectralLiveTest, BarsAreGreenOnBlackWithTheBandsLevelsAndTheRightColumnsUntouched) {
  SetupLive();
  view->SetColor(GetParam().color);
  view->SetLineColor(GetParam().line);
  FeedSignal(BandSignal());  // four blocks: the window now holds exactly one period

  for (int k = 0; k < kBands; ++k) {
    const int32_t level = kLevels[k] == kClamped ? kHeight : kLevels[k];
    for (int32_t x = k * kBarWidth; x < (k + 1) * kBarWidth; ++x)
      for (int32_t y = 0; y < kHeight; ++y) {
        const uint32_t want = y >= kHeight - level ? Pixel(0x008000) : Pixel(0x000000);
        ASSERT_EQ(At(x, y), want) << "band " << k << " at (" << x << "," << y << ")";
      }
  }
  for (int32_t x = kBands * kBarWidth; x < kWidth; ++x)
    for (int32_t y = -kTop; y < kHeight; ++y)
      ASSERT_EQ(At(x, y), Pixel(kPaper)) << "column " << x << " was drawn, row " << y;
  for (int32_t x = 0; x < kWidth; ++x)
    for (int32_t y = -kTop; y < 0; ++y) ASSERT_EQ(At(x, y), Pixel(kPaper)) << "above the view";
}

INSTANTIATE_TEST_SUITE_P(Colours, SpectralLiveTest,
                         testing::Values(LiveColours{"Defaults", clBlack, clGreen},
                                         LiveColours{"Changed", clNavy, clRed}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpectralViewTest, QuietBlockAfterALoudOneBlanksEveryBar) {
  SetupLive();
  FeedSignal(BandSignal());
  ASSERT_EQ(At(30, kHeight - 1), Pixel(0x008000));
  FeedSignal(std::vector<int16_t>(kN, 0));  // the window is all zeros again
  for (int32_t x = 0; x < kBands * kBarWidth; ++x)
    for (int32_t y = 0; y < kHeight; ++y) ASSERT_EQ(At(x, y), Pixel(0x000000)) << x << "," << y;
}

struct BandCountCase {
  int32_t bands;
  bool draws;
};

class SpectralBandCountTest : public SpectralViewTest,
                              public testing::WithParamInterface<BandCountCase> {};

// Band counts that leave a band no bins (0, negative, above N/2, or so large that 2·n leaves 32
// bits) draw nothing live; 512 bands of one bin each still draw.
TEST_P(SpectralBandCountTest, CountsWithoutBinsDrawNothing) {
  SetupLive();
  view->SetBandCount(GetParam().bands);
  const Framebuffer before = Surface();
  FeedSignal(BandSignal());
  if (GetParam().draws) {
    // One-pixel bars, one per bin: bin 37 carries band 1's loud tone, bin 36 nothing.
    EXPECT_EQ(At(37, 0), Pixel(0x008000));
    EXPECT_EQ(At(36, kHeight - 1), Pixel(0x000000));
  } else {
    EXPECT_TRUE(SamePicture(Surface(), before));
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, SpectralBandCountTest,
                         testing::Values(BandCountCase{0, false}, BandCountCase{-1, false},
                                         BandCountCase{-20, false}, BandCountCase{513, false},
                                         BandCountCase{1 << 30, false},
                                         BandCountCase{INT32_MAX, false},
                                         BandCountCase{512, true}));

// ---- Designer preview ----

struct PreviewCase {
  const char* name;
  int32_t bands;
  TColor line;
  std::vector<int32_t> heights;  // of the bars, 20 pixels wide each, on a 200 × 120 view
};

class SpectralPreviewTest : public SpectralViewTest,
                            public testing::WithParamInterface<PreviewCase> {};

// Without a source: bars of the fixed pattern in Line over Color, and nothing else (no labels).
TEST_P(SpectralPreviewTest, BarsFollowLineAndBandsOnly) {
  const PreviewCase& c = GetParam();
  MakeForm(220, 130, /*designing=*/true);
  view = AddView<TSpectralView>(10, 5, 200, 120);
  view->SetBandCount(c.bands);
  view->SetLineColor(c.line);
  ASSERT_TRUE(form->PaintPending());
  for (int32_t x = 0; x < 200; ++x) {
    const int32_t t = c.heights.empty() ? 0 : c.heights[x / 20];
    for (int32_t y = 0; y < 120; ++y)
      ASSERT_EQ(Surface().At(10 + x, 5 + y), y >= 120 - t ? Pixel(c.line) : Pixel(clBlack))
          << "(" << x << "," << y << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, SpectralPreviewTest,
    testing::Values(
        PreviewCase{"Default", 10, 0x008000, {0, 80, 60, 40, 20, 0, 80, 60, 40, 20}},
        PreviewCase{"ZeroBandsShowsTen", 0, 0x008000, {0, 80, 60, 40, 20, 0, 80, 60, 40, 20}},
        PreviewCase{"NegativeBandsShowsNone", -3, 0x008000, {}},
        // (Line + 10)·i wraps in 32 bits: odd i give negative remainders, i.e. no bar.
        PreviewCase{
            "LineNearTheTopOfTheRangeWraps", 10, 0x7FFFFFFF, {0, 0, 80, 0, 60, 0, 40, 0, 20, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpectralViewTest, PreviewOnTheMainFormLabelsEachBandWithItsCentreFrequency) {
  const std::vector<std::string> labels = {"0.1KHz", "0.3KHz", "0.6KHz", "0.9KHz", "1.2KHz",
                                           "1.4KHz", "1.7KHz", "2.0KHz", "2.2KHz", "2.5KHz",
                                           "2.8KHz", "3.0KHz", "3.3KHz", "3.6KHz", "3.8KHz",
                                           "4.1KHz", "4.4KHz", "4.7KHz", "4.9KHz", "5.2KHz"};
  // ((32778·i) mod 20)·162 / 22
  const std::vector<int32_t> heights = {0, 132, 117, 103, 88, 73, 58, 44, 29, 14,
                                        0, 132, 117, 103, 88, 73, 58, 44, 29, 14};
  MakeForm(kWidth, kHeight + kTop, /*designing=*/true);
  view = AddView<TSpectralView>(0, kTop, kWidth, kHeight);
  view->SetBandCount(kBands);
  view->SetColor(clNavy);  // so the labels' black cells stand out
  MakeRecorder(256);
  MakeFFT(kN);
  view->BindSource(fft.get());
  for (int i = 0; i < kBands; ++i)
    EXPECT_EQ(FrequencyLabel(fft->BinFrequency(12 + kStep * i)), labels[i]) << "band " << i;

  Sketch want(Surface(), view->BoundsRect());
  TCanvas& c = want.canvas;
  c.Brush()->Color = clNavy;
  c.FillRect(Rect(0, 0, kWidth, kHeight));
  c.Font()->Height = 8;
  c.Font()->Color = clGreen;
  for (int i = 0; i < kBands; ++i) {
    const int32_t x = kBarWidth * i;
    c.Brush()->Color = clBlack;
    c.TextOut(x, kHeight - heights[i] - 16, labels[i]);
    c.Brush()->Color = clGreen;
    c.FillRect(Rect(x, kHeight - heights[i], x + kBarWidth, kHeight));
  }
  ASSERT_TRUE(form->PaintPending());
  EXPECT_TRUE(SamePicture(Surface(), want.picture));
  for (int i = 0; i < kBands; ++i)
    EXPECT_EQ(At(kBarWidth * i, kHeight - heights[i] - 16), Pixel(clBlack))
        << "the top-left corner of label " << i << " is its black cell";
  EXPECT_EQ(At(kWidth - 1, 0), Pixel(clNavy));
}

}  // namespace
}  // namespace views_test
