// What the three views share: binding to a source (recorder or FFT component) through its client
// slots, forgetting a source that is destroyed first, the defaults, the Line writer, and what Paint
// does at run time. Run these under AddressSanitizer: a call into a destroyed source shows up
// there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FingerprintView.h"
#include "SpectralView.h"
#include "ViewTestSupport.h"
#include "WaveView.h"

namespace views_test {
namespace {

using Log = std::vector<std::string>;

// A source that logs the client registrations made with it.
template <class TSource>
class TLoggingSource : public TSource {
 public:
  explicit TLoggingSource(Log* log) : TSource(nullptr), log(log) {}
  void AddClient(TClientEvent client) override {
    log->push_back("add");
    TSource::AddClient(client);
  }
  void RemoveClient(TClientEvent client) override {
    log->push_back("remove");
    TSource::RemoveClient(client);
  }
  Log* log;
};

// A view that logs the notices it gets from its source and the state it is left in by each.
template <class TView>
class TLoggingView : public TView {
 public:
  TLoggingView(TComponent* owner, Log* log) : TView(owner), log(log) {}
  void SourceEvent(TObject* sender, uint8_t code) override {
    TView::SourceEvent(sender, code);
    log->push_back("event " + std::to_string(code) + State());
  }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    const bool ofSource =
        operation == opRemove && component && component == static_cast<TComponent*>(this->Source());
    TView::Notification(component, operation);
    if (ofSource) log->push_back("removed" + State());
  }

 private:
  std::string State() const {
    return std::string(this->Source() ? " source" : " no source") +
           (this->Attached() ? " attached" : " detached");
  }
  Log* log;
};

template <class TView>
struct ViewTraits;
template <>
struct ViewTraits<TWaveView> {
  using Source = TRecorder;
  static constexpr TColor kLine = clLime;
  static constexpr bool kPaintsAtRunTime = true;
};
template <>
struct ViewTraits<TSpectralView> {
  using Source = TFFT;
  static constexpr TColor kLine = clGreen;
  static constexpr bool kPaintsAtRunTime = true;
};
template <>
struct ViewTraits<TFingerprintView> {
  using Source = TFFT;
  static constexpr TColor kLine = clWhite;
  static constexpr bool kPaintsAtRunTime = false;
};

template <class TView>
class SourceBindingTest : public ViewTest {
 protected:
  using Source = TLoggingSource<typename ViewTraits<TView>::Source>;

  void SetUp() override {
    ViewTest::SetUp();
    MakeForm(120, 60);
    view = new TLoggingView<TView>(form.get(), &viewLog);
    view->SetBounds(10, 5, 50, 40);
    view->SetParent(form.get());
  }
  void TearDown() override {
    form.reset();
    delete source;
    ViewTest::TearDown();
  }

  // How many of the source's slots hold this view's handler.
  int Slots() const {
    int n = 0;
    for (int i = 0; i < TClientSlots::kSlotCount; ++i)
      n += source->Clients().Slot(i).Object() == static_cast<void*>(view);
    return n;
  }

  Log viewLog, sourceLog;
  TLoggingView<TView>* view = nullptr;
  Source* source = nullptr;
};

using ViewTypes = testing::Types<TWaveView, TSpectralView, TFingerprintView>;
TYPED_TEST_SUITE(SourceBindingTest, ViewTypes);

TYPED_TEST(SourceBindingTest, SourceDestroyedFirstSaysDestroyingThenIsForgotten) {
  this->source = new typename TestFixture::Source(&this->sourceLog);
  this->view->BindSource(this->source);
  ASSERT_EQ(this->Slots(), 1);
  ASSERT_TRUE(this->view->Attached());
  delete this->source;
  this->source = nullptr;
  EXPECT_EQ(this->viewLog, (Log{"event 1 source detached", "removed no source detached"}));
  EXPECT_EQ(this->view->Source(), nullptr);
  this->form.reset();  // destroys the view: nothing may reach the freed source
}

TYPED_TEST(SourceBindingTest, NullSourceLeavesTheOldSourceAndRegistersNothing) {
  this->source = new typename TestFixture::Source(&this->sourceLog);
  this->view->BindSource(this->source);
  this->sourceLog.clear();
  this->view->BindSource(nullptr);
  EXPECT_EQ(this->sourceLog, (Log{"remove"}));
  EXPECT_EQ(this->Slots(), 0);
  EXPECT_EQ(this->view->Source(), nullptr);
  EXPECT_FALSE(this->view->Attached());
  // The old source going away later is no concern of the view's.
  delete this->source;
  this->source = nullptr;
  EXPECT_EQ(this->sourceLog, (Log{"remove"}));
  EXPECT_TRUE(this->viewLog.empty()) << this->viewLog.front();
}

TYPED_TEST(SourceBindingTest, SameSourceAgainRemovesThenAdds) {
  this->source = new typename TestFixture::Source(&this->sourceLog);
  this->view->BindSource(this->source);
  EXPECT_EQ(this->sourceLog, (Log{"add"}));
  this->view->BindSource(this->source);
  EXPECT_EQ(this->sourceLog, (Log{"add", "remove", "add"}));
  EXPECT_EQ(this->Slots(), 1);
  EXPECT_TRUE(this->view->Attached());
  // Destroying the view leaves the source's slots.
  this->sourceLog.clear();
  this->form.reset();
  EXPECT_EQ(this->sourceLog, (Log{"remove"}));
  EXPECT_EQ(this->Slots(), 0);
}

TYPED_TEST(SourceBindingTest, DefaultsAndTheLineWriter) {
  TypeParam fresh(nullptr);
  EXPECT_EQ(fresh.Width(), 200);
  EXPECT_EQ(fresh.Height(), 100);
  EXPECT_EQ(fresh.Color(), clBlack);
  EXPECT_EQ(fresh.Line(), ViewTraits<TypeParam>::kLine);
  EXPECT_EQ(fresh.SkipFrames(), 0);
  EXPECT_EQ(fresh.Source(), nullptr);

  ASSERT_TRUE(this->form->PaintPending());
  ASSERT_FALSE(this->form->HasPendingPaint());
  this->view->SetLineColor(this->view->Line());
  EXPECT_FALSE(this->form->HasPendingPaint()) << "the same colour does not repaint";
  this->view->SetLineColor(clFuchsia);
  EXPECT_EQ(this->view->Line(), clFuchsia);
  EXPECT_TRUE(this->form->HasPendingPaint()) << "a new colour repaints";
}

TYPED_TEST(SourceBindingTest, RunTimePaintFillsColorOrDrawsNothing) {
  this->view->SetColor(clNavy);
  ASSERT_TRUE(this->form->PaintPending());  // the form's paper first, then the view's Paint
  const uint32_t want = ViewTraits<TypeParam>::kPaintsAtRunTime ? Pixel(clNavy) : Pixel(kPaper);
  for (int32_t y = 5; y < 45; ++y)
    for (int32_t x = 10; x < 60; ++x) ASSERT_EQ(this->Surface().At(x, y), want) << x << "," << y;
  EXPECT_EQ(this->Surface().At(9, 5), Pixel(kPaper));
  EXPECT_EQ(this->Surface().At(60, 44), Pixel(kPaper));
}

TEST(SpectralBandsTest, SameCountDoesNotRepaintANewOneDoes) {
  TForm form(nullptr);
  form.SetClientSize(100, 100);
  auto* view = new TSpectralView(&form);
  view->SetParent(&form);
  EXPECT_EQ(view->Bands(), 10);
  form.PaintPending();
  view->SetBandCount(10);
  EXPECT_FALSE(form.HasPendingPaint());
  view->SetBandCount(20);
  EXPECT_EQ(view->Bands(), 20);
  EXPECT_TRUE(form.HasPendingPaint());
}

}  // namespace
}  // namespace views_test
