// Numbers on plicata-fold's command line: the whole text must be the number,
// within the option's range.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>

// A whole number from lo to hi written in decimal; false (out untouched)
// for anything else, an overflow included.
inline bool parseWhole(const char* s, long lo, long hi, long* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// A finite number from lo to hi; false (out untouched) for anything else.
inline bool parseNumber(const char* s, double lo, double hi, double* out) {
  char* end = nullptr;
  const double v = std::strtod(s, &end);
  if (end == s || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}
