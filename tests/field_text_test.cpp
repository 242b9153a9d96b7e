// The panel's number parsing: the same values from the same text on every build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "panel/field_text.h"

static uint32_t Bits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(FieldText, IntegersReadLikeTheDialogDoes) {
  EXPECT_EQ(ParseFieldInt("", nullptr), 0);
  EXPECT_EQ(ParseFieldInt("42", nullptr), 42);
  EXPECT_EQ(ParseFieldInt("  \t-17xyz", nullptr), -17);
  EXPECT_EQ(ParseFieldInt("+8", nullptr), 8);
  EXPECT_EQ(ParseFieldInt("abc", nullptr), 0);
  EXPECT_EQ(ParseFieldInt("- 5", nullptr), 0);
  EXPECT_EQ(ParseFieldInt("2147483647", nullptr), 2147483647);
  EXPECT_EQ(ParseFieldInt("2147483648", nullptr), INT32_MIN);   // wraps modulo 2^32
  EXPECT_EQ(ParseFieldInt("4294967297", nullptr), 1);
  EXPECT_EQ(ParseFieldInt("12345678901234567890", nullptr), static_cast<int32_t>(12345678901234567890ull % 4294967296ull));

  const char* text = " 12 rest";
  const char* end = nullptr;
  ParseFieldInt(text, &end);
  EXPECT_EQ(end, text + 3);
  ParseFieldInt(text + 3, &end);
  EXPECT_EQ(end, text + 3);
}

TEST(FieldText, RealsRoundToFloatFromDouble) {
  EXPECT_EQ(Bits(ParseFieldFloat("0.4", nullptr)), 0x3ECCCCCDu);
  EXPECT_EQ(Bits(ParseFieldFloat("0.400000", nullptr)), 0x3ECCCCCDu);
  EXPECT_EQ(ParseFieldFloat("8.000000", nullptr), 8.0f);
  EXPECT_EQ(ParseFieldFloat("  -12.5e1junk", nullptr), -125.0f);
  EXPECT_EQ(ParseFieldFloat(".5", nullptr), 0.5f);
  EXPECT_EQ(ParseFieldFloat("7.", nullptr), 7.0f);
  EXPECT_EQ(ParseFieldFloat("3e", nullptr), 3.0f);
  EXPECT_EQ(ParseFieldFloat("1e+2", nullptr), 100.0f);
  EXPECT_EQ(ParseFieldFloat("1e39", nullptr), INFINITY);
}

TEST(FieldText, NonNumbersGiveZero) {
  for (const char* text : {"", "abc", ".", "-", "+.e5", "inf", "nan", "e5"}) {
    const char* end = nullptr;
    EXPECT_EQ(ParseFieldFloat(text, &end), 0.0f) << text;
    EXPECT_EQ(end, text) << text;
  }
  // Hexadecimal is not a decimal number: "0x10" reads as 0.
  EXPECT_EQ(ParseFieldFloat("0x10", nullptr), 0.0f);
}

TEST(FieldText, WholeIntegerFieldsRefuseWhatDoesNotFitThirtyTwoBitsOrHasNoDigits) {
  const struct { const char* text; bool accepted; int32_t value; } cases[] = {
      {"", true, 0},  {"   ", true, 0},  // an empty field reads as 0
      {"2147483647", true, INT32_MAX},    {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},           {"-2147483649", false, 0},
      {"10000000000000000002", false, 0}, {"4294967296", false, 0},  // would wrap to 2 and 0
      {"99999999999999999999999999999999999999", false, 0},
      {"0000000000000000000000000042", true, 42},
      {"6.000000", true, 6},  {" +7 x", true, 7},  // what follows the digits is ignored
      {"abc", false, 0},      {"-", false, 0},     {"+ 5", false, 0},
  };
  for (const auto& c : cases) {
    const FieldInt read = ReadFieldInt(c.text);
    EXPECT_EQ(read.accepted, c.accepted) << c.text;
    EXPECT_EQ(read.value, c.value) << c.text;
  }
}

TEST(FieldText, WholeRealFieldsReadLongTextsAndRefuseTextWithoutANumber) {
  EXPECT_EQ(ReadFieldReal("1.000000000000000000e2").value, 100.0f);
  const std::string longZero = "0." + std::string(300, '0') + "1e301";  // 1, written with 300 zeros
  EXPECT_EQ(ReadFieldReal(longZero.c_str()).value, 1.0f);
  EXPECT_EQ(Bits(ReadFieldReal(" 0.4 and more").value), 0x3ECCCCCDu);
  EXPECT_TRUE(ReadFieldReal("1e39").accepted);  // a number, if not a finite float: the limits refuse it
  for (const char* text : {"", "   ", "junk!", "inf", "nan", "-", ".", "e5"}) {
    const FieldReal read = ReadFieldReal(text);
    EXPECT_FALSE(read.accepted) << text;
    EXPECT_EQ(read.value, 0.0f) << text;
  }
}
