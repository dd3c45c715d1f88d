#pragma once
// Shared by the view tests: a headless form in a "paper" colour that no view ever draws, a real
// recorder on the scripted wave-in service (mono, 16 bits, so every sample read is exactly the
// value fed), a real FFT component on it, and a way to draw the picture a test expects with the
// framework's own canvas and compare it with the form's framebuffer pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <vector>

#include "FFT.h"
#include "Forms.h"
#include "Recorder.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "WindowSystem.h"
#include "Windows.h"

namespace views_test {

// The form's colour: a pixel in it was never touched by a view.
constexpr TColor kPaper = 0x00A0B0C0;

inline void Pump() {
  while (MessageQueue::DispatchOne()) {
  }
}

inline uint32_t Pixel(TColor color) { return ColorToPixel(color); }

// Whether two pictures are the same; otherwise says how many pixels differ and where the first are.
inline testing::AssertionResult SamePicture(const Framebuffer& got, const Framebuffer& want) {
  if (got.width != want.width || got.height != want.height)
    return testing::AssertionFailure() << "size " << got.width << "x" << got.height << ", expected "
                                       << want.width << "x" << want.height;
  int differ = 0;
  std::ostringstream where;
  for (int32_t y = 0; y < got.height; ++y)
    for (int32_t x = 0; x < got.width; ++x)
      if (got.At(x, y) != want.At(x, y) && ++differ <= 8)
        where << " (" << x << "," << y << ")=" << std::hex << got.At(x, y) << " not "
              << want.At(x, y) << std::dec;
  if (differ == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differ << " pixels differ:" << where.str();
}

// The expected picture: a copy of the framebuffer as it stands, with a canvas whose origin and clip
// are a control's bounds, so the test draws what the control should have drawn.
struct Sketch {
  Sketch(const Framebuffer& start, const TRect& bounds) : picture(start) {
    canvas.Bind(&picture, TPoint{bounds.Left, bounds.Top}, bounds);
  }
  Framebuffer picture;
  TCanvas canvas;
};

class ViewTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { SelectWindowSystem("headless"); }

  void SetUp() override {
    MessageQueue::Reset();
    ASSERT_TRUE(SelectWaveInBackend("scripted"));
    ScriptedWaveIn::Reset();
  }

  void TearDown() override {
    form.reset();  // the views first, while their sources still exist
    fft.reset();
    recorder.reset();
    Pump();
    MessageQueue::Reset();
    ScriptedWaveIn::Reset();
  }

  // A form with a client area of w × h, every pixel painted in kPaper. A designing form makes the
  // views placed on it designing too.
  TForm& MakeForm(int32_t w, int32_t h, bool designing = false) {
    form = std::make_unique<TForm>(nullptr);
    if (designing) form->SetDesigning(true);
    form->SetClientSize(w, h);
    form->SetColor(kPaper);
    form->PaintPending();
    return *form;
  }

  // A view owned by and placed on the form at the given bounds. Nothing is painted until the test
  // asks the form to.
  template <class TView>
  TView* AddView(int32_t left, int32_t top, int32_t w, int32_t h) {
    auto* view = new TView(form.get());
    view->SetBounds(left, top, w, h);
    view->SetParent(form.get());
    return view;
  }

  // A mono 16-bit recorder with blocks of `frames` frames (not yet capturing).
  TRecorder& MakeRecorder(int32_t frames = 256) {
    recorder = std::make_unique<TRecorder>(nullptr);
    recorder->Quality()->SetSampleBits(16);
    recorder->SetFramesPerBuffer(frames);
    return *recorder;
  }

  // An FFT component of `size` points on the recorder.
  TFFT& MakeFFT(int32_t size = 1024) {
    fft = std::make_unique<TFFT>(nullptr);
    fft->SetSource(recorder.get());
    fft->SetBufSize(size);
    return *fft;
  }

  // Opens and starts the recorder's device and delivers the open notice (the FFT builds its
  // tables).
  void StartCapture() {
    recorder->Start();
    Pump();
  }

  // Feeds whole blocks of 16-bit samples and delivers every notice that follows.
  void Feed(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
      const auto u = static_cast<uint16_t>(samples[i]);
      bytes[2 * i] = static_cast<uint8_t>(u & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, bytes.data(), bytes.size()), bytes.size())
        << "the scripted device is not capturing";
    Pump();
  }

  // Feeds a signal of any length, one block of the recorder's size at a time.
  void FeedSignal(const std::vector<int16_t>& signal) {
    const size_t block = static_cast<size_t>(recorder->BufSize());
    for (size_t at = 0; at + block <= signal.size(); at += block)
      Feed(std::vector<int16_t>(signal.begin() + static_cast<ptrdiff_t>(at),
                                signal.begin() + static_cast<ptrdiff_t>(at + block)));
  }

  const Framebuffer& Surface() const { return form->Surface(); }

  std::unique_ptr<TForm> form;
  std::unique_ptr<TRecorder> recorder;
  std::unique_ptr<TFFT> fft;
};

}  // namespace views_test
