// Reading and writing the numbers typed into the panel's edit fields.
#pragma once

#include <cstdint>

// Integer fields: skips leading white space, takes an optional sign and the
// decimal digits up to the first other character; no digits give 0; overflow
// wraps modulo 2^32. When end is given it receives the first character not
// read (text itself when there were no digits).
int32_t ParseFieldInt(const char* text, const char** end);

// Real fields: skips leading white space and reads a decimal number with
// optional sign, fraction and exponent; anything else gives 0.0. The value is
// read at double precision and stored as a 32-bit float. end as above.
float ParseFieldFloat(const char* text, const char** end);

// A field's whole text as "Generate" takes it: the value, or refused when the
// text holds no number the field can take (value is then 0).
struct FieldInt {
  bool accepted;
  int32_t value;
};

struct FieldReal {
  bool accepted;
  float value;
};

// Integer fields: read as ParseFieldInt reads them (what follows the digits is
// ignored), but a number outside the 32-bit range is refused instead of
// wrapped, and so is text without digits; empty or blank text reads as 0.
FieldInt ReadFieldInt(const char* text);

// Real fields: read as ParseFieldFloat reads them (what follows the number is
// ignored), but text in which no number can be read is refused instead of
// giving 0. A number beyond the float range reads as infinity.
FieldReal ReadFieldReal(const char* text);
