// The application's loop on the headless window system: posted messages, painting when idle,
// exceptions, window events, signals, and creating forms from their resources.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Forms.h"
#include "Resources.h"
#include "Windows.h"
#include "headless/Headless.h"

namespace {

const bool kHeadless = SelectWindowSystem("headless");

// A hidden window whose messages go to a test's handler.
class Mailbox {
 public:
  explicit Mailbox(std::function<void(TMessage&)> handler)
      : FHandler(std::move(handler)), FWindow(AllocateHWnd(MakeMethod<&Mailbox::WndProc>(this))) {}
  ~Mailbox() { DeallocateHWnd(FWindow); }
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;

  HWND Window() const { return FWindow; }
  void Post(WPARAM w) { PostMessage(FWindow, WM_USER, w, 0); }

 private:
  void WndProc(TMessage& m) { FHandler(m); }

  std::function<void(TMessage&)> FHandler;
  HWND FWindow;
};

class TCounter : public TGraphicControl {
  VCL_CLASS(TCounter)
  explicit TCounter(TComponent* owner) : TGraphicControl(owner) {}
  int paints = 0;
  bool failNext = false;
  std::function<void()> onPaint;

 protected:
  void Paint() override {
    ++paints;
    if (failNext) {
      failNext = false;
      throw EInvalidOperation("Canvas does not allow drawing");
    }
    Canvas()->Brush()->Color = clRed;
    Canvas()->FillRect(Canvas()->ClipRect());
    if (onPaint) onPaint();
  }
};

const TClassInfo& TCounter::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCounter>("TCounter", &TGraphicControl::StaticClass())
          .Factory()
          .Republish("Align")
          .Build();
  return info;
}

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kHeadless || std::string(WindowSystem().Name()) == "headless");
    ClearHeadlessMessageBoxes();
    app.CreateForm(&form);
    form->SetClientSize(60, 40);
    counter = new TCounter(form);
    counter->SetBounds(0, 0, 20, 20);
    counter->SetParent(form);
  }

  // Runs the loop; should it not return within half a minute, a guard ends it and the test fails
  // instead of hanging.
  void RunGuarded() {
    std::mutex m;
    std::condition_variable cv;
    bool done = false, timedOut = false;
    Mailbox guard([&](TMessage&) { app.Terminate(); });
    std::thread watcher([&] {
      std::unique_lock lock(m);
      if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
        timedOut = true;
        PostMessage(guard.Window(), WM_USER, 0, 0);
      }
    });
    app.Run();
    {
      std::lock_guard lock(m);
      done = true;
    }
    cv.notify_all();
    watcher.join();
    EXPECT_FALSE(timedOut) << "Run did not return";
  }

  TApplication app{nullptr};
  TForm* form = nullptr;
  TCounter* counter = nullptr;
};

TEST_F(ApplicationTest, MessagesPostedFromAnotherThreadArriveInOrderAndClosingEndsRun) {
  constexpr int kCount = 3000;
  std::vector<WPARAM> got;
  Mailbox box([&](TMessage& m) {
    if (m.Msg == WM_USER)
      got.push_back(m.WParam);
    else
      form->Close();
  });
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i) PostMessage(box.Window(), WM_USER, i, 0);
    PostMessage(box.Window(), WM_CLOSE, 0, 0);
  });
  RunGuarded();
  poster.join();
  ASSERT_EQ(got.size(), size_t{kCount});
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(got[i], WPARAM(i));
  EXPECT_FALSE(form->Showing());
  EXPECT_TRUE(app.Terminated());
}

TEST_F(ApplicationTest, InvalidateLeadsToExactlyOnePaintOnceNoMessageWaits) {
  form->Show();
  app.ProcessMessages();
  ASSERT_EQ(counter->paints, 1);
  const HeadlessWindowState shown = HeadlessWindow(form->Window());
  EXPECT_EQ(shown.presents, 1);
  EXPECT_EQ(shown.screen.At(5, 5), 0xFF0000u);    // the control
  EXPECT_EQ(shown.screen.At(40, 30), 0xF0F0F0u);  // the form's clBtnFace

  std::vector<int> paintsSeenByHandlers;
  Mailbox box([&](TMessage&) { paintsSeenByHandlers.push_back(counter->paints); });
  counter->Invalidate();
  counter->Invalidate();
  form->InvalidateRect(Rect(0, 0, 5, 5));
  box.Post(0);
  box.Post(1);
  app.ProcessMessages();
  EXPECT_EQ(paintsSeenByHandlers, (std::vector<int>{1, 1}));
  EXPECT_EQ(counter->paints, 2);
  app.ProcessMessages();
  EXPECT_EQ(counter->paints, 2);
}

TEST_F(ApplicationTest, ExceptionInAHandlerIsShownOnceAndTheNextMessageIsHandled) {
  bool nextHandled = false;
  Mailbox box([&](TMessage& m) {
    if (m.WParam == 0) throw EConvertError("'x7' is not a valid integer value\nin Bands");
    nextHandled = true;
    form->Close();
  });
  box.Post(0);
  box.Post(1);
  testing::internal::CaptureStderr();
  RunGuarded();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "'x7' is not a valid integer value in Bands\n");
  EXPECT_EQ(HeadlessMessageBoxes(),
            (std::vector<std::string>{"'x7' is not a valid integer value\nin Bands"}));
  EXPECT_TRUE(nextHandled);
}

TEST_F(ApplicationTest, ExceptionInAPaintIsShownOnceAndLaterPaintsWork) {
  counter->failNext = true;
  form->Show();
  testing::internal::CaptureStderr();
  app.ProcessMessages();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Canvas does not allow drawing\n");
  EXPECT_EQ(HeadlessMessageBoxes().size(), 1u);
  counter->Invalidate();
  app.ProcessMessages();
  EXPECT_EQ(counter->paints, 2);
  EXPECT_EQ(HeadlessMessageBoxes().size(), 1u);
  EXPECT_EQ(form->Surface().At(5, 5), 0xFF0000u);
}

TEST_F(ApplicationTest, WindowEventsReachTheirFormAndOnlyTheMainFormEndsRun) {
  TForm* other = nullptr;
  app.CreateForm(&other);
  other->SetClientSize(30, 30);
  form->Show();
  other->Show();
  ASSERT_EQ(app.MainForm(), form);
  InjectHeadlessResize(form->Window(), 90, 70);
  InjectHeadlessClose(other->Window());
  // Still running after the other form closed: the paint after the resize closes the main one.
  counter->onPaint = [&] {
    if (form->ClientWidth() == 90 && !other->Showing()) InjectHeadlessClose(form->Window());
  };
  RunGuarded();
  EXPECT_EQ(form->ClientWidth(), 90);
  EXPECT_EQ(form->ClientHeight(), 70);
  EXPECT_EQ(form->Surface().width, 90);
  EXPECT_FALSE(other->Showing());
  EXPECT_FALSE(form->Showing());
  EXPECT_GE(counter->paints, 1);
}

struct SignalCase {
  const char* name;
  int signal;
  bool fromAnotherThread;  // kill() to the process, else raise() on the GUI thread
};

class SignalTest : public ApplicationTest, public testing::WithParamInterface<SignalCase> {};

TEST_P(SignalTest, ClosesTheMainFormAndRunReturns) {
  const SignalCase& c = GetParam();
  app.Initialize();
  std::thread sender;
  Mailbox box([&](TMessage&) {
    if (c.fromAnotherThread)
      sender = std::thread([sig = c.signal] { kill(getpid(), sig); });
    else
      raise(c.signal);
  });
  box.Post(0);
  RunGuarded();
  if (sender.joinable()) sender.join();
  EXPECT_FALSE(form->Showing());
  EXPECT_TRUE(app.Terminated());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest,
                         testing::Values(SignalCase{"SigtermRaised", SIGTERM, false},
                                         SignalCase{"SigintRaised", SIGINT, false},
                                         SignalCase{"SigtermSentToTheProcess", SIGTERM, true},
                                         SignalCase{"SigintSentToTheProcess", SIGINT, true}),
                         [](const testing::TestParamInfo<SignalCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Creating forms from their compiled-in resources ----

int gBadFormsDestroyed = 0;

class TGoodForm : public TForm {
  VCL_CLASS(TGoodForm)
  explicit TGoodForm(TComponent* owner) : TForm(owner) {}
  TCounter* Counter1 = nullptr;
};

const TClassInfo& TGoodForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGoodForm>("TGoodForm", &TForm::StaticClass())
                                     .Factory()
                                     .PublishedField("Counter1", &TGoodForm::Counter1)
                                     .Build();
  return info;
}

class TBadForm : public TForm {
  VCL_CLASS(TBadForm)
  explicit TBadForm(TComponent* owner) : TForm(owner) {}
  ~TBadForm() override { ++gBadFormsDestroyed; }
};

const TClassInfo& TBadForm::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TBadForm>("TBadForm", &TForm::StaticClass()).Factory().Build();
  return info;
}

const char kGoodText[] =
    "object GoodForm: TGoodForm\n"
    "  Width = 208\n"
    "  Height = 127\n"
    "  Caption = 'Good'\n"
    "  PixelsPerInch = 96\n"
    "  object Counter1: TCounter\n"
    "    Align = alClient\n"
    "  end\n"
    "end\n";
const char kBadText[] =
    "object BadForm: TBadForm\n"
    "  Caption = 'Bad'\n"
    "  Colour = clRed\n"
    "end\n";
const ResourceRegistration kGood("TGoodForm", kGoodText, sizeof kGoodText - 1);
const ResourceRegistration kBad("TBadForm", kBadText, sizeof kBadText - 1);

TEST(CreateFormTest, ReadsTheResourceNamedAfterTheClassAndTheFirstFormIsMain) {
  TApplication app(nullptr);
  TGoodForm* good = nullptr;
  app.CreateForm(&good);
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(good->Caption(), "Good");
  EXPECT_EQ(good->Owner(), &app);
  EXPECT_EQ(app.MainForm(), good);
  ASSERT_NE(good->Counter1, nullptr);
  EXPECT_EQ(good->Counter1->BoundsRect(), Rect(0, 0, 200, 100));

  TForm* second = nullptr;
  app.CreateForm(&second);
  EXPECT_EQ(app.MainForm(), good);
  delete good;
  EXPECT_EQ(app.MainForm(), nullptr);
}

TEST(CreateFormTest, AFailedReadDestroysTheHalfMadeFormAndPassesTheErrorOn) {
  TApplication app(nullptr);
  TBadForm* bad = nullptr;
  gBadFormsDestroyed = 0;
  try {
    app.CreateForm(&bad);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_NE(e.Message.find("Colour"), std::string::npos) << e.Message;
  }
  EXPECT_EQ(bad, nullptr);
  EXPECT_EQ(gBadFormsDestroyed, 1);
  EXPECT_EQ(app.ComponentCount(), 0);
  EXPECT_EQ(app.MainForm(), nullptr);
  EXPECT_THROW(app.CreateForm(TCounter::StaticClass(), nullptr), EInvalidOperation);
}

}  // namespace
