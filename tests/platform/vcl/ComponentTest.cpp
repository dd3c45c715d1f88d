#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"

namespace {

// Records every notification it hears, as "name:op:subject".
std::vector<std::string>* gLog = nullptr;

class TProbe : public TComponent {
  VCL_CLASS(TProbe)
  explicit TProbe(TComponent* owner, const std::string& name = "") : TComponent(owner) {
    SetName(name);
  }
  ~TProbe() override {
    if (gLog) gLog->push_back("destroy:" + Name());
  }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (gLog) gLog->push_back(Name() + (op == opInsert ? ":ins:" : ":rem:") + c->Name());
  }
};

const TClassInfo& TProbe::StaticClass() {
  static const TClassInfo info = TClassBuilder<TProbe>("TProbe", &TComponent::StaticClass()).Build();
  return info;
}

class ComponentTest : public testing::Test {
 protected:
  void SetUp() override { gLog = &log; }
  void TearDown() override { gLog = nullptr; }
  std::vector<std::string> log;
};

TEST_F(ComponentTest, InsertionIsBroadcastToOwnerAndEveryOwnedComponent) {
  TProbe owner(nullptr, "Owner");
  auto* a = new TProbe(&owner, "A");
  log.clear();
  auto* b = new TProbe(&owner);  // named after insertion, so the notices show an empty name
  b->SetName("B");
  EXPECT_EQ(log, (std::vector<std::string>{"A:ins:", "Owner:ins:"}));
  EXPECT_EQ(owner.ComponentCount(), 2);
  EXPECT_EQ(owner.FindComponent("b"), b);
  EXPECT_EQ(a->Owner(), &owner);
}

TEST_F(ComponentTest, OwnerDestroysLastCreatedFirstEachRemovalNotified) {
  {
    TProbe owner(nullptr, "Owner");
    new TProbe(&owner, "A");
    new TProbe(&owner, "B");
    log.clear();
  }
  // The owner's own destructor body runs first; its base then destroys B before A, and A hears
  // of B's removal. The owner's own notices come from its base part and are not logged.
  std::vector<std::string> expected = {"destroy:Owner", "destroy:B", "A:rem:B", "destroy:A"};
  EXPECT_EQ(log, expected);
}

TEST_F(ComponentTest, FreeNotificationWorksInBothDirectionsAndCanBeRemoved) {
  auto* a = new TProbe(nullptr, "A");
  auto* b = new TProbe(nullptr, "B");
  auto* c = new TProbe(nullptr, "C");
  a->FreeNotification(b);
  c->FreeNotification(a);
  c->RemoveFreeNotification(a);
  log.clear();
  delete b;
  EXPECT_EQ(log, (std::vector<std::string>{"destroy:B", "A:rem:B"}));
  a->FreeNotification(b = new TProbe(nullptr, "B2"));
  log.clear();
  delete a;  // B2 hears of A's end; C asked and withdrew, so hears nothing
  EXPECT_EQ(log, (std::vector<std::string>{"destroy:A", "B2:rem:A"}));
  log.clear();
  delete b;  // the link died with A: nobody is told
  EXPECT_EQ(log, (std::vector<std::string>{"destroy:B2"}));
  delete c;
}

TEST_F(ComponentTest, NamesMustBeUniqueIdentifiersWithinTheOwner) {
  TProbe owner(nullptr, "Owner");
  auto* a = new TProbe(&owner, "A");
  EXPECT_THROW(new TProbe(&owner, "a"), EComponentError);
  EXPECT_THROW(a->SetName("1x"), EComponentError);
  EXPECT_EQ(a->Name(), "A");
  // The failed construction took its half-made component out of the owner again.
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST_F(ComponentTest, DesigningStateReachesComponentsInsertedLater) {
  TProbe owner(nullptr, "Owner");
  owner.SetDesigning(true);
  auto* a = new TProbe(&owner, "A");
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
}

// A bound method calls the most derived override and compares by object and method.
class TBase : public TObject {
 public:
  virtual void Hit(int v) { last = v; }
  void Other(int) {}
  int last = 0;
};
class TDerived : public TBase {
 public:
  void Hit(int v) override { last = -v; }
};

TEST(BoundMethodTest, CallsMostDerivedOverrideAndComparesBothParts) {
  TDerived d;
  TBase b;
  auto m = MakeMethod<&TBase::Hit>(static_cast<TBase*>(&d));
  m(5);
  EXPECT_EQ(d.last, -5);
  EXPECT_EQ(m, (MakeMethod<&TBase::Hit>(static_cast<TBase*>(&d))));
  EXPECT_FALSE(m == (MakeMethod<&TBase::Other>(static_cast<TBase*>(&d))));
  EXPECT_FALSE(m == (MakeMethod<&TBase::Hit>(&b)));
  EXPECT_FALSE(TBoundMethod<int>().Assigned());
}

TEST(ClassInfoTest, NamesAndInheritance) {
  TProbe p(nullptr);
  EXPECT_EQ(p.ClassName(), "TProbe");
  EXPECT_TRUE(p.InheritsFrom(TComponent::StaticClass()));
  EXPECT_TRUE(p.InheritsFrom(TPersistent::StaticClass()));
  EXPECT_FALSE(TComponent::StaticClass().InheritsFrom(TProbe::StaticClass()));
  EXPECT_EQ(TProbe::StaticClass().Type.ClassType, &TProbe::StaticClass());
}

}  // namespace
