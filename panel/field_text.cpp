// Parsing of the panel's integer and real fields, identical on every platform and locale.
#include "panel/field_text.h"

#include <cstdlib>
#include <string>

static bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

static const char* SkipSpace(const char* text) {
  while (IsSpace(*text)) ++text;
  return text;
}

static const char* SkipDigits(const char* text) {
  while (IsDigit(*text)) ++text;
  return text;
}

int32_t ParseFieldInt(const char* text, const char** end) {
  const char* p = SkipSpace(text);
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (!IsDigit(*p)) {
    if (end) *end = text;
    return 0;
  }
  uint32_t value = 0;
  for (; IsDigit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  if (end) *end = p;
  return static_cast<int32_t>(value);
}

// Length of the decimal number at text (sign, digits, fraction, exponent), 0 if none.
static size_t DecimalNumberLength(const char* text) {
  const char* p = text;
  if (*p == '+' || *p == '-') ++p;
  const char* integerEnd = SkipDigits(p);
  bool digits = integerEnd != p;
  p = integerEnd;
  if (*p == '.') {
    const char* fractionEnd = SkipDigits(p + 1);
    digits = digits || fractionEnd != p + 1;
    p = fractionEnd;
  }
  if (!digits) return 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    const char* exponentEnd = SkipDigits(q);
    if (exponentEnd != q) p = exponentEnd;
  }
  return static_cast<size_t>(p - text);
}

// The program runs in the C locale (it never calls setlocale), so strtod reads '.'.
static double ReadDecimal(const char* number, size_t length) {
  const std::string copy(number, length);
  return strtod(copy.c_str(), nullptr);
}

float ParseFieldFloat(const char* text, const char** end) {
  const char* p = SkipSpace(text);
  const size_t length = DecimalNumberLength(p);
  if (length == 0) {
    if (end) *end = text;
    return 0.0f;
  }
  if (end) *end = p + length;
  return static_cast<float>(ReadDecimal(p, length));
}

FieldInt ReadFieldInt(const char* text) {
  const char* p = SkipSpace(text);
  if (*p == '\0') return FieldInt{true, 0};
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (!IsDigit(*p)) return FieldInt{false, 0};
  // The magnitude, held at most one above 2^31 however many digits follow.
  constexpr uint64_t kBeyond = (uint64_t{1} << 31) + 1;
  uint64_t magnitude = 0;
  for (; IsDigit(*p); ++p) {
    magnitude = magnitude * 10u + static_cast<uint64_t>(*p - '0');
    if (magnitude > kBeyond) magnitude = kBeyond;
  }
  const uint64_t limit = negative ? (uint64_t{1} << 31) : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return FieldInt{false, 0};
  const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return FieldInt{true, static_cast<int32_t>(value)};
}

FieldReal ReadFieldReal(const char* text) {
  const char* end = nullptr;
  const float value = ParseFieldFloat(text, &end);
  if (end == text) return FieldReal{false, 0.0f};
  return FieldReal{true, value};
}
