// TWaveView: the designer's zig-zag, the scaling of a block onto the client area, clamping,
// SkipFrames, and what an empty block or a zero-width view draws. Blocks come from a real recorder
// on the scripted device, mono 16-bit, so a sample is exactly the value fed.
#include <gtest/gtest.h>

#include <vector>

#include "ViewTestSupport.h"
#include "WaveView.h"

namespace views_test {
namespace {

// A sample that lands k rows below the middle of a view 100 pixels high: (164·k·100)/16384 is k for
// |k| <= 50 (truncated toward zero on both sides).
int16_t RowOffset(int k) { return static_cast<int16_t>(164 * k); }

class WaveViewTest : public ViewTest {
 protected:
  // A form with a paper margin around a view of w × h at (10, 5), and a recorder of `frames`
  // frames per block feeding the view.
  TWaveView* Setup(int32_t w, int32_t h, int32_t frames) {
    MakeForm(w + 20, h + 10);
    view = AddView<TWaveView>(10, 5, w, h);
    MakeRecorder(frames);
    view->BindSource(recorder.get());
    StartCapture();
    return view;
  }

  // What the view should show after drawing `points`: its Color, and the trace in Line.
  Framebuffer Expected(const std::vector<TPoint>& points) {
    Sketch want(Surface(), view->BoundsRect());
    want.canvas.Brush()->Color = view->Color();
    want.canvas.FillRect(Rect(0, 0, view->Width(), view->Height()));
    want.canvas.Pen()->Color = view->Line();
    want.canvas.Polyline(points.data(), static_cast<int32_t>(points.size()));
    return want.picture;
  }

  void ExpectPoints(const std::vector<TPoint>& points) {
    ASSERT_GE(view->PointCapacity(), static_cast<int32_t>(points.size()));
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(view->Points()[i].x, points[i].x) << "frame " << i;
      EXPECT_EQ(view->Points()[i].y, points[i].y) << "frame " << i;
    }
  }

  TWaveView* view = nullptr;
};

TEST_F(WaveViewTest, DesignerShowsTheZigZagWithOrWithoutASource) {
  MakeForm(220, 110, /*designing=*/true);
  view = AddView<TWaveView>(10, 5, 200, 100);
  ASSERT_TRUE(view->ComponentState().Contains(csDesigning));
  const std::vector<TPoint> zigzag = {{0, 49}, {50, 25}, {150, 75}, {199, 49}};
  const Framebuffer want = Expected(zigzag);
  ASSERT_TRUE(form->PaintPending());
  EXPECT_TRUE(SamePicture(Surface(), want));
  EXPECT_EQ(Surface().At(10 + 0, 5 + 49), Pixel(clLime));
  EXPECT_EQ(Surface().At(10 + 50, 5 + 25), Pixel(clLime));
  EXPECT_EQ(Surface().At(10 + 150, 5 + 75), Pixel(clLime));

  // A source makes no difference to the preview.
  MakeRecorder();
  view->BindSource(recorder.get());
  view->Invalidate();
  ASSERT_TRUE(form->PaintPending());
  EXPECT_TRUE(SamePicture(Surface(), want));
}

TEST_F(WaveViewTest, BlockNarrowerThanTheViewIsSpreadOverTheWholeWidth) {
  Setup(200, 100, 100);
  // A ramp from the top row (k = -50) to the bottom one (k = 49).
  std::vector<int16_t> block(100);
  std::vector<TPoint> points(100);
  for (int i = 0; i < 100; ++i) {
    block[i] = RowOffset(i - 50);
    points[i] = {2 * i, i};
  }
  const Framebuffer want = Expected(points);
  Feed(block);
  ExpectPoints(points);
  EXPECT_TRUE(SamePicture(Surface(), want));
}

TEST_F(WaveViewTest, MainFormGeometryEndsAtColumn527WithSilenceOnRow92) {
  MakeForm(530, 200);
  view = AddView<TWaveView>(0, 0, 530, 185);
  MakeRecorder(256);
  view->BindSource(recorder.get());
  StartCapture();
  Feed(std::vector<int16_t>(256, 0));
  ASSERT_EQ(view->PointCapacity(), 256);
  const TPoint* p = view->Points();
  EXPECT_EQ(p[0], (TPoint{0, 92}));
  EXPECT_EQ(p[1], (TPoint{2, 92}));
  EXPECT_EQ(p[5], (TPoint{10, 92}));
  EXPECT_EQ(p[128], (TPoint{265, 92}));
  EXPECT_EQ(p[255], (TPoint{527, 92}));
  for (int i = 1; i < 256; ++i) {
    const int32_t step = p[i].x - p[i - 1].x;
    EXPECT_TRUE(step == 2 || step == 3) << "frame " << i << " steps " << step;
    EXPECT_EQ(p[i].y, 92);
  }
  // One straight trace on row 92 up to (not including) its last point; the rest is Color, and the
  // form below the view is untouched.
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 530; ++x) {
      const uint32_t want = y >= 185               ? Pixel(kPaper)
                            : (y == 92 && x < 527) ? Pixel(clLime)
                                                   : Pixel(clBlack);
      ASSERT_EQ(Surface().At(x, y), want) << "(" << x << "," << y << ")";
    }
}

TEST_F(WaveViewTest, FramesBeyondTheWidthArePinnedToTheMiddleOfTheRightEdge) {
  Setup(200, 100, 256);
  std::vector<int16_t> block(256);
  std::vector<TPoint> points(256);
  for (int i = 0; i < 256; ++i) {
    if (i < 200) {
      block[i] = RowOffset(i % 99 - 49);
      points[i] = {i, 1 + i % 99};
    } else {
      block[i] = 16000;  // would be clamped to the bottom row, were it not pinned
      points[i] = {199, 49};
    }
  }
  const Framebuffer want = Expected(points);
  Feed(block);
  ExpectPoints(points);
  EXPECT_TRUE(SamePicture(Surface(), want));
}

struct ClampCase {
  int16_t sample;
  int32_t row;  // on a view 100 pixels high
};

class WaveClampTest : public WaveViewTest, public testing::WithParamInterface<ClampCase> {};

TEST_P(WaveClampTest, SampleLandsOnItsRowOrTheNearestEdge) {
  Setup(200, 100, 4);
  const ClampCase& c = GetParam();
  const std::vector<TPoint> points = {{0, c.row}, {50, c.row}, {100, c.row}, {150, c.row}};
  const Framebuffer want = Expected(points);
  Feed(std::vector<int16_t>(4, c.sample));
  ExpectPoints(points);
  EXPECT_TRUE(SamePicture(Surface(), want));
}

INSTANTIATE_TEST_SUITE_P(Rows, WaveClampTest,
                         testing::Values(ClampCase{0, 50}, ClampCase{164, 51}, ClampCase{-164, 49},
                                         ClampCase{8191, 99},     // 49.99 → 49 below the middle
                                         ClampCase{8192, 99},     // 100: clamped to the last row
                                         ClampCase{16384, 99},    // 150: clamped
                                         ClampCase{32767, 99},    //
                                         ClampCase{-8192, 0},     // exactly the top row
                                         ClampCase{-8356, 0},     // -51 → -1: clamped
                                         ClampCase{-16384, 0},    // -50 above the top: clamped
                                         ClampCase{-32768, 0}));  //

TEST_F(WaveViewTest, EmptyBlockLeavesOnlyColor) {
  Setup(200, 100, 100);
  view->SetColor(clNavy);
  Feed(std::vector<int16_t>(100, 1000));  // a trace to be wiped
  ASSERT_NE(Surface().At(10, 5 + 56), Pixel(clNavy));
  recorder->Reset();  // hands back every queued buffer, none of them holding a byte
  Pump();
  ASSERT_EQ(recorder->SampleCount(), 0);
  EXPECT_TRUE(SamePicture(Surface(), Expected({})));
}

TEST_F(WaveViewTest, ShorterBlockAfterALongerOneDrawsOnlyItsOwnFrames) {
  Setup(200, 100, 256);
  Feed(std::vector<int16_t>(256, RowOffset(30)));
  ASSERT_EQ(view->PointCapacity(), 256);
  const TPoint* array = view->Points();

  recorder->SetFramesPerBuffer(100);  // closes the device; starting opens it anew
  StartCapture();
  std::vector<int16_t> block(100);
  std::vector<TPoint> points(100);
  for (int i = 0; i < 100; ++i) {
    block[i] = RowOffset(i % 2 ? 20 : -20);
    points[i] = {2 * i, i % 2 ? 70 : 30};
  }
  const Framebuffer want = Expected(points);
  Feed(block);
  EXPECT_EQ(view->PointCapacity(), 256) << "the array never shrinks";
  EXPECT_EQ(view->Points(), array) << "and is not reallocated for a smaller block";
  ExpectPoints(points);
  EXPECT_TRUE(SamePicture(Surface(), want));
}

TEST_F(WaveViewTest, SkipFramesTwoDrawsEveryThirdBlock) {
  Setup(200, 100, 8);
  view->SetSkipFrames(2);
  // Block j (1 to 9) lies on its own row, 25 + 5·j; column 0 tells which block was drawn last.
  auto drawnRow = [&]() -> int32_t {
    for (int32_t y = 0; y < 100; ++y)
      if (Surface().At(10, 5 + y) == Pixel(clLime)) return y;
    return -1;
  };
  std::vector<int32_t> rows;
  for (int j = 1; j <= 9; ++j) {
    Feed(std::vector<int16_t>(8, RowOffset(5 * j - 25)));
    rows.push_back(drawnRow());
  }
  EXPECT_EQ(rows, (std::vector<int32_t>{-1, -1, 40, 40, 40, 55, 55, 55, 70}));
  EXPECT_EQ(Surface().At(10, 5), Pixel(clBlack)) << "drawn blocks clear the view";
}

TEST_F(WaveViewTest, ZeroWidthDrawsNothingAndTheNextBlockAtFullWidthDrawsNormally) {
  Setup(200, 100, 100);
  view->SetWidth(0);
  const Framebuffer before = Surface();
  Feed(std::vector<int16_t>(100, 0));
  EXPECT_TRUE(SamePicture(Surface(), before));

  view->SetWidth(200);
  std::vector<TPoint> points(100);
  for (int i = 0; i < 100; ++i) points[i] = {2 * i, 50};
  const Framebuffer want = Expected(points);
  Feed(std::vector<int16_t>(100, 0));
  ExpectPoints(points);
  EXPECT_TRUE(SamePicture(Surface(), want));
}

}  // namespace
}  // namespace views_test
