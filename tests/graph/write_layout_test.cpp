// The .3dlayout body and the fast coordinate formatter, which must agree
// with printf("%12.6f ") on every value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

#include "graph/graph.h"
#include "test_support.h"

namespace {

std::string printf_coordinate(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%12.6f ", v);
  return buf;
}

std::string fast_coordinate(double v) {
  char buf[400];
  size_t n = format_coordinate(v, buf);
  return std::string(buf, n);
}

}  // namespace

TEST(FormatCoordinate, MatchesPrintfOnSpecialValues) {
  const double values[] = {0.0, -0.0, 1000.0, 1e-7, -1e-7, 4e-7, 5e-7, 6e-7,
                           0.0078125,       // an exact tie at the seventh decimal: rounds to even
                           0.0234375,       // a tie that rounds up to even
                           0.5e-6, 1.5e-6, 2.5e-6, 999999.9999995, 99999.9999996,
                           1e7, 12345678.123456789, 8.9e12, 9.1e12, 1e15, -1e20, 1e300,
                           123.4565, 123.4575, 1.0000005, std::nextafter(1.0000005, 2.0),
                           std::nextafter(1.0000005, 0.0), 5e-324, -5e-324};
  for (double v : values) EXPECT_EQ(fast_coordinate(v), printf_coordinate(v)) << v;
}

TEST(FormatCoordinate, MatchesPrintfOnMillionsOfRandomValues) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 3000000; ++i) {
    double v;
    switch (i % 5) {
      case 0: v = unit(rng) * 1000.0; break;           // typical coordinates
      case 1: v = unit(rng) * 1e7; break;              // big drawing areas
      case 2: v = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 40));
              break;                                   // exact binary fractions (ties)
      case 3: v = std::round(unit(rng) * 1e9) / 1e6 + (unit(rng) - 0.5) * 1e-9; break;
      default: v = -unit(rng) * std::pow(10.0, static_cast<double>(rng() % 14)); break;
    }
    ASSERT_EQ(fast_coordinate(v), printf_coordinate(v)) << std::hexfloat << v;
  }
}

TEST(WriteLayout, WritesHeaderCoordinatesAndNeighbours) {
  // 1 - 2, and 3 alone
  GraphHandle g = make_graph({{2, 2}, {1}, {}});
  Posn posn;
  allocate_posn(posn, 3);
  posn[1] = {0, 0.0, 1000.0, 12.5};
  posn[2] = {0, 1.0, 100000.0, 0.0000004};
  posn[3] = {0, 123456.25, 2.0, 0.25};
  ScratchDir dir;
  const std::string path = dir.file("out.3dlayout");
  OutFile out;
  out.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(out.fd, 0);
  write_layout(out, *g, 3, 7, posn, 3);
  ASSERT_TRUE(out_flush(out));
  ::close(out.fd);
  EXPECT_EQ(read_file(path),
            "3 7\n"
            "    0.000000     1.000000 123456.250000 2 2 \n"
            " 1000.000000 100000.000000     2.000000 1 \n"
            "   12.500000     0.000000     0.250000 \n");
}
