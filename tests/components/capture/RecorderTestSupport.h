#pragma once
// Shared by the recorder tests that run on the scripted wave-in backend: a clean service and
// message queue per test, a pump, and a client that logs what the recorder tells it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MMSystem.h"
#include "Recorder.h"
#include "ScriptedWaveIn.h"
#include "WaveInDiagnostics.h"
#include "Windows.h"

namespace capture_test {

// Delivers every queued message, including those posted while delivering.
inline void Pump() {
  while (MessageQueue::DispatchOne()) {
  }
}

// The block the test feeds as block number `k`: bytes that differ from block to block.
inline std::vector<uint8_t> Pattern(int k, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t j = 0; j < size; ++j) bytes[j] = static_cast<uint8_t>(k * 37 + j * 7 + 1);
  return bytes;
}

// Feeds `bytes` to the open scripted device and delivers what follows.
inline void Feed(const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(ScriptedWaveIn::Feed(nullptr, bytes.data(), bytes.size()), bytes.size())
      << "the scripted device is not capturing";
  Pump();
}

// A client of a recorder. Logs each code as a word ("data", "closed", ...), the data notices with
// the SampleCount seen then ("data:256"), and OnSample as "sample". On every evData it reads the
// whole current block through GetSample, so a block read out of released memory shows up under
// AddressSanitizer.
class TListener : public TObject {
 public:
  explicit TListener(TRecorder* recorder)
      : recorder(recorder), link(MakeMethod<&TListener::Event>(this)) {}
  // Leaves the recorder, unless it has said evDestroying.
  ~TListener() override {
    if (link.Attached() && recorder->OnSample() == SampleMethod()) recorder->SetOnSample({});
    link.DetachSource();
  }
  // Takes a slot in the recorder and, with `onSample`, its OnSample event.
  void Attach(bool onSample = true) {
    link.SetSource(recorder);
    link.AttachSource();
    if (onSample) recorder->SetOnSample(SampleMethod());
  }
  TClientEvent Method() { return MakeMethod<&TListener::Event>(this); }
  TNotifyEvent SampleMethod() { return MakeMethod<&TListener::Sample>(this); }

  void Event(TObject* sender, uint8_t code) {
    EXPECT_EQ(sender, recorder);
    link.SourceNotice(code);
    switch (code) {
      case evData: {
        const int32_t count = recorder->SampleCount();
        log.push_back("data:" + std::to_string(count));
        for (int32_t i = 0; i < count; ++i) checksum += recorder->GetSample(i);
        break;
      }
      case evDestroying:
        log.push_back("destroying");
        break;
      case evClosed:
        log.push_back("closed");
        break;
      case evOpened:
        log.push_back("opened");
        break;
      default:
        log.push_back("code:" + std::to_string(code));
    }
    if (onEvent) onEvent(code);
  }
  void Sample(TObject* sender) {
    EXPECT_EQ(sender, recorder);
    log.push_back("sample");
  }

  TRecorder* recorder;
  TSourceLink<TRecorder> link;
  std::vector<std::string> log;
  int64_t checksum = 0;
  std::function<void(uint8_t)> onEvent;
};

// Every test starts with the scripted backend at its defaults, an empty message queue and no
// device open, and must end with no device left open.
class ScriptedTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SelectWaveInBackend("scripted")) << waveInGetLastError();
    ScriptedWaveIn::Reset();
    MessageQueue::Reset();
  }
  void TearDown() override {
    Pump();
    EXPECT_EQ(ScriptedWaveIn::LastOpened(), nullptr) << "a device was left open";
  }
};

}  // namespace capture_test
