#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ClientSlots.h"
#include "OpaqueSource.h"
#include "SysUtils.h"

namespace {

std::vector<std::string> gCalls;

// A client with two handlers; each call is logged as "<name>:<code>" or "<name>.other:<code>".
class TProbe : public TObject {
 public:
  explicit TProbe(std::string name) : name(std::move(name)) {}
  void Hit(TObject*, uint8_t code) {
    gCalls.push_back(name + ":" + std::to_string(code));
    if (action) action(code);
  }
  void Other(TObject*, uint8_t code) { gCalls.push_back(name + ".other:" + std::to_string(code)); }
  TClientEvent Method() { return MakeMethod<&TProbe::Hit>(this); }
  TClientEvent OtherMethod() { return MakeMethod<&TProbe::Other>(this); }

  std::string name;
  std::function<void(uint8_t)> action;
};

class ClientSlotsTest : public testing::Test {
 protected:
  void SetUp() override { gCalls.clear(); }
  int SlotOf(const TClientEvent& e) const {
    for (int i = 0; i < TClientSlots::kSlotCount; ++i)
      if (slots.Slot(i) == e) return i;
    return -1;
  }
  TClientSlots slots;
  TProbe a{"a"}, b{"b"}, c{"c"}, d{"d"}, e{"e"};
};

TEST_F(ClientSlotsTest, ClientsFillFromTheTopAndAFifthIsDroppedSilently) {
  for (TProbe* p : {&a, &b, &c, &d, &e}) slots.Add(p->Method());
  EXPECT_EQ(SlotOf(a.Method()), 3);
  EXPECT_EQ(SlotOf(b.Method()), 2);
  EXPECT_EQ(SlotOf(c.Method()), 1);
  EXPECT_EQ(SlotOf(d.Method()), 0);
  EXPECT_EQ(SlotOf(e.Method()), -1);

  slots.Notify(nullptr, evOpened);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"d:3", "c:3", "b:3", "a:3"}));

  // A freed slot is the one the next client takes, even when a lower one is also free.
  slots.Remove(a.Method());
  slots.Remove(c.Method());
  slots.Add(e.Method());
  EXPECT_EQ(SlotOf(e.Method()), 3);
  slots.Add(a.Method());
  EXPECT_EQ(SlotOf(a.Method()), 1);
}

TEST_F(ClientSlotsTest, AddingTheSameMethodTwiceCallsItTwiceAndOneRemoveClearsBoth) {
  slots.Add(a.Method());
  slots.Add(a.Method());
  slots.Add(b.Method());
  slots.Notify(nullptr, evData);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"b:0", "a:0", "a:0"}));

  slots.Remove(a.Method());
  gCalls.clear();
  slots.Notify(nullptr, evData);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"b:0"}));
  EXPECT_FALSE(slots.Slot(3).Assigned());
  EXPECT_FALSE(slots.Slot(2).Assigned());
}

TEST_F(ClientSlotsTest, RemoveNeedsBothTheObjectAndTheMethod) {
  slots.Add(a.Method());
  slots.Add(b.OtherMethod());
  slots.Remove(a.OtherMethod());  // right object, other method
  slots.Remove(c.Method());       // right method, other object
  slots.Remove(TClientEvent());   // nothing at all
  slots.Notify(nullptr, evClosed);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"b.other:2", "a:2"}));
}

TEST_F(ClientSlotsTest, EachSlotIsReadAtItsTurnDuringAPass) {
  slots.Add(a.Method());  // slot 3
  slots.Add(b.Method());  // slot 2
  slots.Add(c.Method());  // slot 1
  // c runs first and takes b out (b is never called) and puts d into b's freed slot 2 (d is
  // called in this same pass, after c).
  c.action = [&](uint8_t) {
    slots.Remove(b.Method());
    slots.Add(d.Method());
  };
  slots.Notify(nullptr, evData);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"c:0", "d:0", "a:0"}));
}

TEST_F(ClientSlotsTest, AClientExceptionEndsThePass) {
  slots.Add(a.Method());
  slots.Add(b.Method());
  b.action = [](uint8_t) { throw Exception("client failed"); };
  EXPECT_THROW(slots.Notify(nullptr, evData), Exception);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"b:0"}));
}

TEST_F(ClientSlotsTest, NotifyPassesTheSender) {
  TObject* seen = nullptr;
  struct TCatcher : TObject {
    TObject** out;
    void Hit(TObject* sender, uint8_t) { *out = sender; }
  } catcher;
  catcher.out = &seen;
  slots.Add(MakeMethod<&TCatcher::Hit>(&catcher));
  slots.Notify(&b, evData);
  EXPECT_EQ(seen, &b);
}

// A source that forwards to its slots, as the recorder and the FFT component do.
class TFakeSource : public TObject {
 public:
  void AddClient(TClientEvent client) {
    ++adds;
    clients.Add(client);
  }
  void RemoveClient(TClientEvent client) {
    ++removes;
    clients.Remove(client);
  }
  TClientSlots clients;
  int adds = 0;
  int removes = 0;
};

TEST(SourceLinkTest, AttachAndDetachCallTheSourceOnlyWhenTheyChangeSomething) {
  TProbe client("v");
  TFakeSource source;
  TSourceLink<TFakeSource> link(client.Method());

  link.AttachSource();  // no source yet: nothing to call, nothing to count as attached
  EXPECT_FALSE(link.Attached());
  link.SetSource(&source);  // attaches nothing by itself
  EXPECT_FALSE(link.Attached());
  EXPECT_EQ(source.adds, 0);

  link.AttachSource();
  link.AttachSource();
  EXPECT_EQ(source.adds, 1);
  EXPECT_TRUE(link.Attached());
  EXPECT_EQ(source.clients.Slot(3), client.Method());

  link.DetachSource();
  link.DetachSource();
  EXPECT_EQ(source.removes, 1);
  EXPECT_FALSE(link.Attached());
  EXPECT_FALSE(source.clients.Slot(3).Assigned());
}

TEST(SourceLinkTest, AFullSourceStillCountsAsAttached) {
  TProbe others[4] = {TProbe("1"), TProbe("2"), TProbe("3"), TProbe("4")};
  TFakeSource source;
  for (TProbe& p : others) source.AddClient(p.Method());
  TProbe client("v");
  TSourceLink<TFakeSource> link(client.Method());
  link.SetSource(&source);
  link.AttachSource();
  EXPECT_TRUE(link.Attached());
  link.DetachSource();  // still asks the source, which finds nothing to remove
  EXPECT_EQ(source.removes, 1);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(source.clients.Slot(i).Assigned());
}

TEST(SourceLinkTest, DestroyingOnlyForgetsTheAttachmentAndSwitchingSourcesDetachesFirst) {
  TProbe client("v");
  TFakeSource first, second;
  TSourceLink<TFakeSource> link(client.Method());
  link.SetSource(&first);
  link.AttachSource();

  link.SourceNotice(evData);
  link.SourceNotice(evClosed);
  EXPECT_TRUE(link.Attached());
  link.SourceNotice(evDestroying);
  EXPECT_FALSE(link.Attached());
  EXPECT_EQ(link.Source(), &first);
  link.DetachSource();  // the dying source is not called again
  EXPECT_EQ(first.removes, 0);

  link.AttachSource();
  link.SetSource(&second);
  EXPECT_EQ(first.removes, 1);
  EXPECT_FALSE(first.clients.Slot(3).Assigned());
  EXPECT_EQ(second.adds, 0);

  link.ForgetSource();
  EXPECT_EQ(link.Source(), nullptr);
  EXPECT_EQ(second.removes, 0);
}

// TOpaqueSource is never complete in this file: attaching and detaching must not need it.
TEST(SourceLinkTest, AttachesAndDetachesWhereTheSourceClassIsOnlyDeclared) {
  TProbe client("v");
  TSourceLink<TOpaqueSource> link(client.Method());
  TOpaqueSource* source = MakeOpaqueSource();
  SetOpaqueSource(link, source);
  link.AttachSource();
  link.DetachSource();
  EXPECT_EQ(OpaqueSourceCalls(source), "add remove");
  FreeOpaqueSource(source);
}

}  // namespace
