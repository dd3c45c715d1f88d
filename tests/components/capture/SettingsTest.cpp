#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AudioLineParameters.h"
#include "WaveInDeviceID.h"

namespace {

// Records "Channels=2" style entries each time a watched object raises OnChange.
class TChangeLog : public TObject {
 public:
  void Changed(TObject* sender) {
    if (auto* q = dynamic_cast<TAudioLineParameters*>(sender))
      log.push_back(std::to_string(q->Channels()) + "/" + std::to_string(q->Frequency()) + "/" +
                    std::to_string(q->BitsPerSample()));
    else if (auto* d = dynamic_cast<TWaveInDeviceID*>(sender))
      log.push_back("id " + std::to_string(d->DeviceNumber()));
  }
  void Throw(TObject*) { throw Exception("handler failed"); }
  std::vector<std::string> log;
};

class TOtherPersistent : public TPersistent {};

// A class derived from TAudioLineParameters is still a valid source for Assign.
class TDerivedLine : public TAudioLineParameters {};

TEST(AudioLineParametersTest, DefaultsAndPublishedProperties) {
  TAudioLineParameters q;
  EXPECT_EQ(q.Channels(), 1);
  EXPECT_EQ(q.Frequency(), 11025);
  EXPECT_EQ(q.BitsPerSample(), 8);
  EXPECT_FALSE(q.OnChange().Assigned());

  std::vector<std::string> names;
  for (const TPropInfo* p : TAudioLineParameters::StaticClass().Properties()) {
    names.push_back(p->Name);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"Channels", "Frequency", "BitsPerSample", "OnChange"}));
  EXPECT_EQ(*TAudioLineParameters::StaticClass().FindProperty("Channels")->Default, 1);
  EXPECT_EQ(*TAudioLineParameters::StaticClass().FindProperty("Frequency")->Default, 11025);
  EXPECT_EQ(*TAudioLineParameters::StaticClass().FindProperty("BitsPerSample")->Default, 8);

  // Creatable by name without an owner.
  std::unique_ptr<TObject> made(TAudioLineParameters::StaticClass().Create(nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->ClassName(), "TAudioLineParameters");
}

TEST(AudioLineParametersTest, SettersRaiseOnlyOnChangeAndStoreAnyValue) {
  TAudioLineParameters q;
  TChangeLog changes;
  q.SetOnChange(MakeMethod<&TChangeLog::Changed>(&changes));
  q.SetChannelCount(1);
  q.SetSamplesPerSec(11025);
  q.SetSampleBits(8);
  EXPECT_TRUE(changes.log.empty());

  q.SetChannelCount(0);
  q.SetSamplesPerSec(-5);
  q.SetSampleBits(12);
  q.SetChannelCount(3);
  EXPECT_EQ(changes.log, (std::vector<std::string>{"0/11025/8", "0/-5/8", "0/-5/12", "3/-5/12"}));

  // Through the class information, as the form reader sets them.
  SetOrdProp(q, "Frequency", 44100);
  EXPECT_EQ(q.Frequency(), 44100);
  EXPECT_EQ(changes.log.size(), 5u);
}

TEST(AudioLineParametersTest, AssignCopiesEachValueThroughItsSetterInOrder) {
  TDerivedLine source;
  source.SetChannelCount(2);
  source.SetSamplesPerSec(44100);
  source.SetSampleBits(16);

  TAudioLineParameters q;
  TChangeLog changes;
  q.SetOnChange(MakeMethod<&TChangeLog::Changed>(&changes));
  q.Assign(&source);
  EXPECT_EQ(changes.log, (std::vector<std::string>{"2/11025/8", "2/44100/8", "2/44100/16"}));

  changes.log.clear();
  q.Assign(&source);  // nothing differs
  EXPECT_TRUE(changes.log.empty());

  source.SetSamplesPerSec(8000);  // only the one that differs is raised
  q.Assign(&source);
  EXPECT_EQ(changes.log, (std::vector<std::string>{"2/8000/16"}));
}

TEST(AudioLineParametersTest, AssignFromAnotherClassOrNullChangesNothingAndRaisesNothing) {
  TAudioLineParameters q;
  q.SetChannelCount(2);
  TChangeLog changes;
  q.SetOnChange(MakeMethod<&TChangeLog::Changed>(&changes));
  TOtherPersistent other;
  TWaveInDeviceID device;
  EXPECT_NO_THROW(q.Assign(&other));
  EXPECT_NO_THROW(q.Assign(&device));
  EXPECT_NO_THROW(q.Assign(nullptr));
  EXPECT_EQ(q.Channels(), 2);
  EXPECT_TRUE(changes.log.empty());
}

TEST(AudioLineParametersTest, HandlerExceptionPropagatesAfterTheValueIsStored) {
  TAudioLineParameters q;
  TChangeLog changes;
  q.SetOnChange(MakeMethod<&TChangeLog::Throw>(&changes));
  EXPECT_THROW(q.SetSampleBits(16), Exception);
  EXPECT_EQ(q.BitsPerSample(), 16);

  // Assign stops at the first failing handler: the later values are not copied.
  TAudioLineParameters source;
  source.SetChannelCount(2);
  source.SetSamplesPerSec(22050);
  EXPECT_THROW(q.Assign(&source), Exception);
  EXPECT_EQ(q.Channels(), 2);
  EXPECT_EQ(q.Frequency(), 11025);
}

TEST(WaveInDeviceIDTest, DefaultSetterAndAssign) {
  TWaveInDeviceID d;
  EXPECT_EQ(d.DeviceNumber(), -1);
  ASSERT_NE(TWaveInDeviceID::StaticClass().FindProperty("id"), nullptr);
  EXPECT_EQ(*TWaveInDeviceID::StaticClass().FindProperty("id")->Default, -1);
  std::unique_ptr<TObject> made(TWaveInDeviceID::StaticClass().Create(nullptr));
  EXPECT_EQ(made->ClassName(), "TWaveInDeviceID");

  TChangeLog changes;
  d.SetOnChange(MakeMethod<&TChangeLog::Changed>(&changes));
  d.SetDeviceNumber(-1);
  d.SetDeviceNumber(0);
  d.SetDeviceNumber(0);

  TWaveInDeviceID source;
  source.SetDeviceNumber(3);
  d.Assign(&source);
  d.Assign(&source);
  TAudioLineParameters unrelated;
  d.Assign(&unrelated);
  d.Assign(nullptr);
  EXPECT_EQ(changes.log, (std::vector<std::string>{"id 0", "id 3"}));
  EXPECT_EQ(d.DeviceNumber(), 3);
}

}  // namespace
