// format_coordinate: a fast, exact replacement for printf("%12.6f ").
// The double is taken apart into an integer mantissa and a power of two, so
// the number of millionths and the rounding (to nearest, ties to even, as
// the C library does on the exact binary value) come from integer
// arithmetic alone. Values beyond its range go through snprintf.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "graph/graph.h"

namespace {

/// Largest magnitude handled without snprintf: millionths fit in 63 bits.
constexpr double kFastLimit = 9.0e12;

size_t format_slow(double value, char* dst) {
  int n = std::snprintf(dst, 330, "%12.6f ", value);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace

size_t format_coordinate(double value, char* dst) {
  if (!(std::fabs(value) < kFastLimit)) return format_slow(value, dst);
  int exponent = 0;
  double fraction = std::frexp(std::fabs(value), &exponent);  // in [0.5, 1)
  // |value| = mantissa * 2^(exponent - 53), mantissa a 53-bit integer.
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  int shift = 53 - exponent;
  uint64_t millionths;
  if (value == 0.0) {
    millionths = 0;
  } else if (shift <= 0) {
    millionths = (mantissa << -shift) * 1000000u;
  } else {
    unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 1000000u;
    if (shift >= 100) {
      millionths = 0;  // below half a millionth
    } else {
      unsigned __int128 q = scaled >> shift;
      unsigned __int128 rem = scaled - (q << shift);
      unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
      if (rem > half || (rem == half && (q & 1))) ++q;
      millionths = static_cast<uint64_t>(q);
    }
  }
  char digits[40];
  int n = 0;
  uint64_t frac = millionths % 1000000u;
  uint64_t whole = millionths / 1000000u;
  for (int i = 0; i < 6; ++i) {
    digits[n++] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  digits[n++] = '.';
  do {
    digits[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (std::signbit(value)) digits[n++] = '-';
  size_t out = 0;
  for (int pad = 12 - n; pad > 0; --pad) dst[out++] = ' ';
  while (n > 0) dst[out++] = digits[--n];
  dst[out++] = ' ';
  return out;
}
