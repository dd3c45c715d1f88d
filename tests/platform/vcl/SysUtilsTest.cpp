#include <gtest/gtest.h>

#include "SysUtils.h"

struct StrToIntCase {
  const char* text;
  bool ok;
  int32_t value;
};

class StrToIntTest : public testing::TestWithParam<StrToIntCase> {};

TEST_P(StrToIntTest, ConvertsOrRaisesWithTheTextQuoted) {
  const StrToIntCase& c = GetParam();
  if (c.ok) {
    EXPECT_EQ(StrToInt(c.text), c.value);
  } else {
    try {
      StrToInt(c.text);
      FAIL() << "no error for '" << c.text << "'";
    } catch (const EConvertError& e) {
      EXPECT_NE(e.Message.find(std::string("'") + c.text + "'"), std::string::npos) << e.Message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntTest,
                         testing::Values(StrToIntCase{"0", true, 0}, StrToIntCase{"-1", true, -1},
                                         StrToIntCase{"44100", true, 44100},
                                         StrToIntCase{"+7", true, 7},
                                         StrToIntCase{"2147483647", true, 2147483647},
                                         StrToIntCase{"-2147483648", true, INT32_MIN},
                                         StrToIntCase{"$FF", true, 255},
                                         StrToIntCase{"2147483648", false, 0},
                                         StrToIntCase{"", false, 0}, StrToIntCase{"-", false, 0},
                                         StrToIntCase{"44.1k", false, 0},
                                         StrToIntCase{"4channels", false, 0},
                                         StrToIntCase{"12 ", false, 0},
                                         StrToIntCase{"abc", false, 0}));

TEST(SysUtilsTest, TrimRemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(Trim("  11025hz \t\r\n"), "11025hz");
  EXPECT_EQ(Trim("\x01 a b \x1f"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
}

TEST(SysUtilsTest, PosIsOneBasedAndZeroWhenAbsent) {
  EXPECT_EQ(Pos("hz", "44100hz"), 6);
  EXPECT_EQ(Pos(":", "-1: [default] M: x"), 3);
  EXPECT_EQ(Pos("bit", "16"), 0);
  EXPECT_EQ(Pos("a", "a"), 1);
  EXPECT_EQ(Pos("", "abc"), 0);
}

TEST(SysUtilsTest, LowerCaseAndIntToStr) {
  EXPECT_EQ(AnsiLowerCase("22050HZ,MONO"), "22050hz,mono");
  EXPECT_EQ(AnsiLowerCase("Grüße"), "grüße");
  EXPECT_EQ(IntToStr(-14), "-14");
  EXPECT_EQ(IntToStr(0), "0");
}
