// The main form as the application creates it, on the headless window system and the scripted
// wave-in service: its settings, layout, links, and a long run of blocks through all five
// components.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "F_main.h"
#include "headless/Headless.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace {

class MainFormTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SelectWindowSystem("headless")); }
  void SetUp() override {
    MessageQueue::Reset();
    ASSERT_TRUE(SelectWaveInBackend("scripted"));
    ScriptedWaveIn::Reset();
    SetHeadlessPixelsPerInch(120);
    form = nullptr;
    Application->CreateForm(TMainForm::StaticClass(), &form);
    ASSERT_NE(form, nullptr);
  }
  void TearDown() override {
    delete form;
    MessageQueue::Reset();
    ScriptedWaveIn::Reset();
  }
  static int Clients(const TClientSlots& slots) {
    int n = 0;
    for (int i = 0; i < TClientSlots::kSlotCount; ++i) n += slots.Slot(i).Assigned();
    return n;
  }
  static void Pump() {
    while (MessageQueue::DispatchOne()) {
    }
  }
  TMainForm* form;
};

TEST_F(MainFormTest, WindowSettingsAndComponentsAsTheResourceSetsThem) {
  EXPECT_EQ(form->Caption(), "Audio Sampling");
  EXPECT_EQ(form->Position(), poScreenCenter);
  EXPECT_EQ(form->ClientWidth(), 530);
  EXPECT_EQ(form->ClientHeight(), 506);
  EXPECT_EQ(form->Font()->Height, -14);
  EXPECT_EQ(form->Font()->Charset, DEFAULT_CHARSET);
  EXPECT_EQ(form->Font()->Color, clWindowText);
  ASSERT_TRUE(form->Recorder1 && form->WaveView1 && form->FingerprintView1 && form->SpectralView1 &&
              form->FFT1);
  EXPECT_EQ(form->ComponentCount(), 5);
  EXPECT_EQ(form->Components(0), form->WaveView1);
  EXPECT_EQ(form->Components(4), form->FFT1);
  EXPECT_TRUE(form->Recorder1->AutoStart());
  EXPECT_EQ(form->Recorder1->BufSize(), 256);
  EXPECT_EQ(form->Recorder1->Quality()->Channels(), 1);
  EXPECT_EQ(form->Recorder1->Quality()->Frequency(), 11025);
  EXPECT_EQ(form->Recorder1->Quality()->BitsPerSample(), 8);
  EXPECT_FALSE(form->Recorder1->OnSample().Assigned());
  EXPECT_EQ(form->FFT1->BufSize(), 1024);
  EXPECT_EQ(form->SpectralView1->Bands(), 20);
  EXPECT_EQ(form->WaveView1->Line(), clLime);
  EXPECT_EQ(form->WaveView1->SkipFrames(), 0);
}

TEST_F(MainFormTest, EachSourceHoldsExactlyItsTwoClients) {
  EXPECT_EQ(Clients(form->Recorder1->Clients()), 2);
  EXPECT_EQ(Clients(form->FFT1->Clients()), 2);
  EXPECT_EQ(form->WaveView1->Source(), form->Recorder1);
  EXPECT_EQ(form->FFT1->Source(), form->Recorder1);
  EXPECT_EQ(form->FingerprintView1->Source(), form->FFT1);
  EXPECT_EQ(form->SpectralView1->Source(), form->FFT1);
}

TEST_F(MainFormTest, ViewsTakeTopBottomAndTheRestAndOnlyTheMiddleFollowsTheHeight) {
  EXPECT_EQ(form->WaveView1->BoundsRect(), Rect(0, 0, 530, 185));
  EXPECT_EQ(form->FingerprintView1->BoundsRect(), Rect(0, 185, 530, 344));
  EXPECT_EQ(form->SpectralView1->BoundsRect(), Rect(0, 344, 530, 506));
  form->HandleResize(530, 606);
  EXPECT_EQ(form->WaveView1->BoundsRect(), Rect(0, 0, 530, 185));
  EXPECT_EQ(form->FingerprintView1->BoundsRect(), Rect(0, 185, 530, 444));
  EXPECT_EQ(form->SpectralView1->BoundsRect(), Rect(0, 444, 530, 606));
  form->HandleResize(600, 456);
  EXPECT_EQ(form->WaveView1->BoundsRect(), Rect(0, 0, 600, 185));
  EXPECT_EQ(form->FingerprintView1->BoundsRect(), Rect(0, 185, 600, 294));
  EXPECT_EQ(form->SpectralView1->BoundsRect(), Rect(0, 294, 600, 456));
}

TEST_F(MainFormTest, StartUpMessageStartsCaptureAndBlocksReachEveryView) {
  Pump();  // the recorder's start-up message: AutoStart opens device 0 and starts
  ASSERT_TRUE(ScriptedWaveIn::IsCapturing(ScriptedWaveIn::LastOpened()));
  ASSERT_TRUE(form->FFT1->HasTables());
  // A steady 1 kHz tone, mono 8-bit at 11025 Hz.
  std::vector<uint8_t> block(256);
  long n = 0;
  for (int b = 0; b < 8; ++b) {
    for (auto& s : block) s = static_cast<uint8_t>(128 + 100 * std::sin(2 * M_PI * 1000 * n++ / 11025.0));
    ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, block.data(), block.size()), block.size());
    Pump();
  }
  const Framebuffer& fb = form->Surface();
  const int32_t bin = 93;  // 1001 Hz
  const int32_t row = 344 - bin - 1;
  EXPECT_NE(fb.At(0, row), ColorToPixel(clBlack)) << "the tone's row in the first column";
  EXPECT_EQ(fb.At(0, 344 - 30 - 1), ColorToPixel(clBlack)) << "a quiet row";
  EXPECT_EQ(form->FingerprintView1->Column(), 16);
  // The band holding bin 93 (band 3 of 20, bins 75 to 99) stands above the others.
  auto barHeight = [&](int band) {
    int x = band * 26 + 10, h = 0;
    while (h < 162 && fb.At(x, 505 - h) == ColorToPixel(TSpectralView::kBarColor)) ++h;
    return h;
  };
  for (int band = 0; band < 20; ++band) {
    if (band != 3) EXPECT_LT(barHeight(band) * 3, barHeight(3)) << "band " << band;
  }
}

}  // namespace
