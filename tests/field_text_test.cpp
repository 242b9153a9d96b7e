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

// ParseFieldInt reads the leading number, wrapping modulo 2^32; ReadFieldInt reads a whole field,
// refusing a number beyond 32 bits or text without digits, taking an empty field as 0.
TEST(FieldText, Integers) {
  const struct { const char* text; int32_t parsed; int consumed; bool accepted; int32_t value; } cases[] = {
      {"", 0, 0, true, 0},          {"   ", 0, 0, true, 0},        {"42", 42, 2, true, 42},
      {"  \t-17xyz", -17, 6, true, -17}, {"+8", 8, 2, true, 8},     {" 12 rest", 12, 3, true, 12},
      {"6.000000", 6, 1, true, 6},  {"0000000000000000000000000042", 42, 28, true, 42},
      {"2147483647", INT32_MAX, 10, true, INT32_MAX}, {"-2147483648", INT32_MIN, 11, true, INT32_MIN},
      {"2147483648", INT32_MIN, 10, false, 0},        {"-2147483649", INT32_MAX, 11, false, 0},
      {"4294967296", 0, 10, false, 0}, {"4294967297", 1, 10, false, 0},
      {"10000000000000000002", -1981284350, 20, false, 0},
      {"99999999999999999999999999999999999999", -1, 38, false, 0},
      {"abc", 0, 0, false, 0}, {"-", 0, 0, false, 0}, {"- 5", 0, 0, false, 0}, {"+ 5", 0, 0, false, 0},
  };
  for (const auto& c : cases) {
    const char* end = nullptr;
    EXPECT_EQ(ParseFieldInt(c.text, &end), c.parsed) << c.text;
    EXPECT_EQ(end, c.text + c.consumed) << c.text;
    const FieldInt read = ReadFieldInt(c.text);
    EXPECT_EQ(read.accepted, c.accepted) << c.text;
    EXPECT_EQ(read.value, c.value) << c.text;
  }
}

// ParseFieldFloat reads the leading decimal number at double precision and rounds it to float;
// ReadFieldReal takes the same value but refuses text in which no number can be read.
TEST(FieldText, Reals) {
  const std::string longOne = "0." + std::string(300, '0') + "1e301";  // 1, written with 300 zeros
  const struct { const char* text; float value; int consumed; } cases[] = {
      {"0.4", 0.4f, 3}, {"0.400000", 0.4f, 8}, {" 0.4 and more", 0.4f, 4}, {"8.000000", 8.0f, 8},
      {"  -12.5e1junk", -125.0f, 9}, {".5", 0.5f, 2}, {"7.", 7.0f, 2}, {"3e", 3.0f, 1}, {"1e+2", 100.0f, 4},
      {"1.000000000000000000e2", 100.0f, 22},
      {longOne.c_str(), 1.0f, static_cast<int>(longOne.size())},
      {"1e39", INFINITY, 4},  // a number, if not a finite float: the limits refuse it
      {"0x10", 0.0f, 1},      // hexadecimal is not a decimal number
      {"", 0.0f, 0}, {"   ", 0.0f, 0}, {"abc", 0.0f, 0}, {"junk!", 0.0f, 0}, {".", 0.0f, 0}, {"-", 0.0f, 0},
      {"+.e5", 0.0f, 0}, {"inf", 0.0f, 0}, {"nan", 0.0f, 0}, {"e5", 0.0f, 0},
  };
  for (const auto& c : cases) {
    const char* end = nullptr;
    EXPECT_EQ(Bits(ParseFieldFloat(c.text, &end)), Bits(c.value)) << c.text;
    EXPECT_EQ(end, c.text + c.consumed) << c.text;
    const FieldReal read = ReadFieldReal(c.text);
    EXPECT_EQ(read.accepted, c.consumed > 0) << c.text;
    EXPECT_EQ(Bits(read.value), Bits(c.value)) << c.text;
  }
}
