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
