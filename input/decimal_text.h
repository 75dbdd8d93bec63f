// Reading a short decimal number fast, to the same bits as strtod: the
// readers of large patterns read hundreds of thousands of numbers such as
// "-198.004988", and the general conversions cost more than the rest of the
// reading.
#pragma once

#include <cstdint>

// The exact powers of ten a double holds.
constexpr double kOriExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                           1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads "-?digits(.digits)?" from p (not beyond end) when it has at most 15
// digits in all: the digits make an integer that a double holds exactly,
// divided by an exact power of ten, which IEEE division rounds correctly:
// the correctly rounded value, as strtod gives it. Sets *value and *stop
// (the first character after the number) and returns true; returns false,
// touching nothing, for any other text (an exponent, more digits, no digit).
// The caller decides whether the character at *stop ends the number.
inline bool oriShortDecimal(const char* p, const char* end, double* value, const char** stop) {
  const char* q = p;
  const bool negative = q < end && *q == '-';
  if (negative) ++q;
  uint64_t digits = 0;
  int count = 0, fraction = 0;
  bool point = false;
  for (; q < end; ++q) {
    if (*q >= '0' && *q <= '9') {
      if (++count > 15) return false;
      digits = digits * 10 + static_cast<uint64_t>(*q - '0');
      if (point) ++fraction;
    } else if (*q == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  // A point needs digits on both sides, as in "1.5" (strtod also takes "1."
  // and ".5"; those go the long way).
  if (count == 0 || (point && (fraction == 0 || fraction == count)) || q[-1] == '.') return false;
  if (q < end && (*q == 'e' || *q == 'E' || *q == 'x' || *q == 'X')) return false;
  const double v = static_cast<double>(digits) / kOriExactPowersOfTen[fraction];
  *value = negative ? -v : v;
  *stop = q;
  return true;
}
