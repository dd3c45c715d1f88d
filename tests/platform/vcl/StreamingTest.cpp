#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Classes.h"
#include "Streaming.h"

namespace {

// A small tree of classes with every kind of property the resource format carries.
enum TShade { shLight, shMedium, shDark };
enum TMark { mkCircle, mkCross, mkStar };
using TMarks = TSet<TMark>;

const TTypeInfo TypeShade = EnumType("TShade", {"shLight", "shMedium", "shDark"});
const TTypeInfo TypeMark = EnumType("TMark", {"mkCircle", "mkCross", "mkStar"});
const TTypeInfo TypeMarks = SetType("TMarks", TypeMark);
const TTypeInfo TypeTone = IntegerType("TTone", {{"tnBlack", 0}, {"tnLime", 0x00FF00}});

int gDestroyed = 0;

class TStyle : public TPersistent {
  VCL_CLASS(TStyle)
  std::string Face = "Sans";
  int32_t Size = 10;
  TMarks Marks;
};

const TClassInfo& TStyle::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TStyle>("TStyle", &TPersistent::StaticClass())
          .String("Face", [](const TStyle& o) { return o.Face; },
                  [](TStyle& o, const std::string& v) { o.Face = v; })
          .Integer("Size", [](const TStyle& o) { return o.Size; },
                   [](TStyle& o, int64_t v) { o.Size = static_cast<int32_t>(v); }, 10)
          .Ordinal("Marks", TypeMarks, [](const TStyle& o) { return o.Marks.Bits(); },
                   [](TStyle& o, int64_t v) { o.Marks = TMarks::FromBits(v); }, 0)
          .Build();
  return info;
}

class TNode : public TComponent {
  VCL_CLASS(TNode)
  explicit TNode(TComponent* owner) : TComponent(owner), Style(new TStyle) {}
  ~TNode() override {
    delete Style;
    ++gDestroyed;
  }
  int32_t Count = 0;
  bool Enabled = true;
  TShade Shade = shLight;
  int32_t Tone = 0;
  TNode* Link = nullptr;
  TStyle* Style;
  std::vector<std::string> loadedOrder;
  bool loaded = false;
  void Loaded() override {
    TComponent::Loaded();
    loaded = true;
  }
};

const TClassInfo& TNode::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TNode>("TNode", &TComponent::StaticClass())
          .Factory()
          .Integer("Count", [](const TNode& o) { return o.Count; },
                   [](TNode& o, int64_t v) { o.Count = static_cast<int32_t>(v); }, 0)
          .Boolean("Enabled", [](const TNode& o) { return o.Enabled; },
                   [](TNode& o, int64_t v) { o.Enabled = v != 0; }, true)
          .Ordinal("Shade", TypeShade, [](const TNode& o) { return o.Shade; },
                   [](TNode& o, int64_t v) { o.Shade = static_cast<TShade>(v); }, shLight)
          .Ordinal("Tone", TypeTone, [](const TNode& o) { return o.Tone; },
                   [](TNode& o, int64_t v) { o.Tone = static_cast<int32_t>(v); }, 0)
          .Object<TNode>("Link", [](const TNode& o) { return o.Link; },
                  [](TNode& o, TObject* v) { o.Link = static_cast<TNode*>(v); })
          .Object<TStyle>("Style", [](const TNode& o) { return o.Style; }, nullptr)
          .Build();
  return info;
}

struct Registered {
  Registered() { RegisterClass(TNode::StaticClass()); }
} registered;

const char* kTree =
    "object Root: TNode\n"
    "  Count = -3\n"
    "  Style.Face = 'It''s'#9'tab'\n"
    "  Style.Marks = [mkCircle, mkStar]\n"
    "  object A: TNode\n"
    "    Left = 8\n"
    "    Top = 16\n"
    "    Enabled = False\n"
    "    Shade = shDark\n"
    "    Tone = tnLime\n"
    "    Link = B\n"
    "  end\n"
    "  object B: TNode\n"
    "    Left = 0\n"
    "    Top = 0\n"
    "    Tone = $00123456\n"
    "    Link = Root\n"
    "    Style.Size = 12\n"
    "  end\n"
    "end\n";

TEST(StreamingTest, ReadsEveryKindAndResolvesForwardReferences) {
  std::unique_ptr<TComponent> root(ReadComponent(kTree, nullptr));
  auto* r = static_cast<TNode*>(root.get());
  ASSERT_EQ(r->ComponentCount(), 2);
  auto* a = static_cast<TNode*>(r->FindComponent("A"));
  auto* b = static_cast<TNode*>(r->FindComponent("B"));
  EXPECT_EQ(r->Count, -3);
  EXPECT_EQ(r->Style->Face, "It's\ttab");
  EXPECT_TRUE(r->Style->Marks.Contains(mkStar));
  EXPECT_FALSE(r->Style->Marks.Contains(mkCross));
  EXPECT_FALSE(a->Enabled);
  EXPECT_EQ(a->Shade, shDark);
  EXPECT_EQ(a->Tone, 0x00FF00);
  EXPECT_EQ(a->Link, b);
  EXPECT_EQ(a->DesignLeft, 8);
  EXPECT_EQ(b->Tone, 0x123456);
  EXPECT_EQ(b->Link, r);
  EXPECT_EQ(b->Style->Size, 12);
  EXPECT_TRUE(r->loaded && a->loaded && b->loaded);
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
}

TEST(StreamingTest, WriterLeavesOutDefaultsAndRoundTripsExactly) {
  std::unique_ptr<TComponent> root(ReadComponent(kTree, nullptr));
  std::string written = WriteComponent(root.get());
  EXPECT_EQ(written,
            "object Root: TNode\n"
            "  Count = -3\n"
            "  Style.Face = 'It''s'#9'tab'\n"
            "  Style.Marks = [mkCircle, mkStar]\n"
            "  object A: TNode\n"
            "    Left = 8\n"
            "    Top = 16\n"
            "    Enabled = False\n"
            "    Shade = shDark\n"
            "    Tone = tnLime\n"
            "    Link = B\n"
            "    Style.Face = 'Sans'\n"
            "  end\n"
            "  object B: TNode\n"
            "    Left = 0\n"
            "    Top = 0\n"
            "    Tone = 1193046\n"
            "    Link = Root\n"
            "    Style.Face = 'Sans'\n"
            "    Style.Size = 12\n"
            "  end\n"
            "end\n");
  std::unique_ptr<TComponent> again(ReadComponent(written, nullptr));
  EXPECT_EQ(WriteComponent(again.get()), written);
}

struct BadCase {
  const char* name;
  const char* text;
  const char* message;  // a part of the message, after "Line N: "
  int line;
};

class MalformedResourceTest : public testing::TestWithParam<BadCase> {};

TEST_P(MalformedResourceTest, NamesTheLineAndLeavesNothingBehind) {
  const BadCase& c = GetParam();
  gDestroyed = 0;
  TNode owner(nullptr);
  try {
    delete ReadComponent(c.text, &owner);
    FAIL() << "accepted";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message.rfind("Line " + std::to_string(c.line) + ":", 0), 0u) << e.Message;
    EXPECT_NE(e.Message.find(c.message), std::string::npos) << e.Message;
  }
  EXPECT_EQ(owner.ComponentCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MalformedResourceTest,
    testing::Values(
        BadCase{"UnknownClass", "object R: TNode\n  object A: TNope\n  end\nend\n",
                "class TNope not found", 2},
        BadCase{"UnknownProperty", "object R: TNode\n  object A: TNode\n    Colour = 1\n  end\nend\n",
                "property Colour does not exist in TNode", 3},
        BadCase{"WrongType", "object R: TNode\n  Count = 'ten'\nend\n", "expected an integer", 2},
        BadCase{"BadEnum", "object R: TNode\n  Shade = shPurple\nend\n", "shPurple", 2},
        BadCase{"BadSetElement", "object R: TNode\n  Style.Marks = [mkDot]\nend\n",
                "elements of TMarks", 2},
        BadCase{"Unresolved", "object R: TNode\n  object A: TNode\n    Link = Ghost\n  end\nend\n",
                "unresolved reference to Ghost", 3},
        BadCase{"Unterminated", "object R: TNode\n  object A: TNode\n    Count = 1\n",
                "is not closed by 'end'", 4},
        BadCase{"UnterminatedString", "object R: TNode\n\n  Style.Face = 'abc\nend\n",
                "unterminated string", 3},
        BadCase{"DuplicateName", "object R: TNode\n  object A: TNode\n  end\n  object A: TNode\n  end\nend\n",
                "already exists", 4},
        BadCase{"ObjectAsValue", "object R: TNode\n  Style = A\nend\n", "is an object", 2}),
    [](const testing::TestParamInfo<BadCase>& info) { return info.param.name; });

TEST(StreamingTest, FailedReadDestroysWhatItCreated) {
  gDestroyed = 0;
  TNode owner(nullptr);
  const char* text =
      "object R: TNode\n  object A: TNode\n  end\n  object B: TNode\n    Link = Nobody\n  end\nend\n";
  EXPECT_THROW(ReadComponent(text, &owner), EReadError);
  EXPECT_EQ(gDestroyed, 3);  // A, B and the root
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(StreamingTest, ReadingIntoAnExistingRootChecksItsClass) {
  TNode root(nullptr);
  EXPECT_THROW(ReadComponentRes("object X: TStyle\nend\n", &root), EReadError);
  ReadComponentRes("object X: TNode\n  Count = 4\nend\n", &root);
  EXPECT_EQ(root.Count, 4);
  EXPECT_EQ(root.Name(), "X");
}

}  // namespace
