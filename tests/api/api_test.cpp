// The library's entry points: the reference runs laid out through the
// library, refused graphs, settings and files, and two layouts at once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "common/common.h"
#include "frlayout3d/frlayout3d.h"
#include "test_support.h"

namespace {

/// A reference run of tests/golden with its command-line settings.
struct GoldenSettings {
  const char* name;
  uint32_t seed;
  int friterations;
  double wellseparatedratio;
  double frepsilon;
};

const GoldenSettings kGoldenSettings[] = {
    {"cycle40", 1, 50, 0.6, 1e-5},
    {"geo276-options", 2024, 7, 0.9, 0.5},
    {"grid343-styled", 42, 50, 0.6, 1e-5},
    {"tree150-refusals", 77, 10, 0.6, 5},
};

frlayout3d::Options seeded(uint32_t seed, int threads) {
  frlayout3d::Options o;
  o.seed = seed;
  o.seed_given = true;
  o.threads = threads;
  return o;
}

frlayout3d::Graph read_test_graph(const std::string& relative) {
  frlayout3d::Graph g;
  std::string error;
  EXPECT_TRUE(frlayout3d::read_graph(test_data(relative), g, error)) << error;
  return g;
}

frlayout3d::Result lay_out(const frlayout3d::Graph& g, const frlayout3d::Options& o) {
  return frlayout3d::layout(g.nvtxs, g.xadj.data(), g.adjncy.data(), o);
}

/// The rest of the last line of `text` from `marker` on.
std::string last_line_from(const std::string& text, const std::string& marker) {
  const size_t at = text.rfind(marker);
  if (at == std::string::npos) return "";
  return text.substr(at, text.find('\n', at) - at);
}

}  // namespace

// Read, laid out and written through the library, each reference run gives
// the tool's file body; its drawing area and level count are those of the
// run's last progress line and its count of levels entered.
TEST(Library, ReferenceRunsMatchTheToolsFiles) {
  ScratchDir dir;
  for (const GoldenSettings& c : kGoldenSettings) {
    const std::string golden = std::string("golden/") + c.name + "/";
    const frlayout3d::Graph g = read_test_graph(golden + "input.graph");
    frlayout3d::Options o = seeded(c.seed, 2);
    o.friterations = c.friterations;
    o.wellseparatedratio = c.wellseparatedratio;
    o.frepsilon = c.frepsilon;
    const frlayout3d::Result r = lay_out(g, o);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
    std::string error;
    ASSERT_TRUE(frlayout3d::write_layout(dir.file("out.3dlayout"), g, r.xyz, error)) << error;
    EXPECT_EQ(layout_body(read_file(dir.file("out.3dlayout"))),
              layout_body(read_file(test_data(golden + "expected.3dlayout"))))
        << c.name;

    const std::string stdout_text = read_file(test_data(golden + "expected.stdout"));
    char area[200];
    std::snprintf(area, sizeof area,
                  "step=0, drawing area <%6.5f,%6.5f,%6.5f>", r.extent[0], r.extent[1],
                  r.extent[2]);
    EXPECT_EQ(last_line_from(stdout_text, "step=0, drawing area"), area)
        << c.name;
    size_t entered = 0;
    for (size_t at = 0; (at = stdout_text.find("<Entering", at)) != std::string::npos; ++at)
      ++entered;
    EXPECT_EQ(r.levels, static_cast<int>(entered)) << c.name;
    EXPECT_EQ(r.seed, c.seed);
  }
}

// Each refusal names what is wrong; random garbage arrays are refused or
// laid out, never a crash (run under the sanitizers in CI); self-loops are
// dropped as a file's are.
TEST(Library, RefusesBadGraphsAndSettings) {
  struct Case {
    int32_t nvtxs;
    std::vector<int64_t> xadj;
    std::vector<int32_t> adjncy;
    const char* method;
    int threads;
    double frepsilon;
    const char* message;
  };
  const Case cases[] = {
      {0, {0}, {}, "frlayout", 1, 1e-5, "the vertex count is 0"},
      {2, {1, 1, 2}, {1, 0}, "frlayout", 1, 1e-5, "xadj[0] is 1"},
      {3, {0, 2, 1, 2}, {1, 2}, "frlayout", 1, 1e-5, "xadj decreases after vertex 1"},
      {2, {0, 1, 2}, {2, 0}, "frlayout", 1, 1e-5, "vertex 0 lists the neighbour 2, outside 0..1"},
      {2, {0, 1, 2}, {-1, 0}, "frlayout", 1, 1e-5, "vertex 0 lists the neighbour -1"},
      {3, {0, 1, 2, 3}, {1, 0, 0}, "frlayout", 1, 1e-5,
       "vertex 2 lists 0, but the list of vertex 0 does not list 2"},
      {2, {0, 1, 2}, {1, 0}, "nope", 1, 1e-5,
       "unknown layout method \"nope\" (known: frlayout or quality)"},
      {2, {0, 1, 2}, {1, 0}, "frlayout", 1025, 1e-5, "threads is 1025"},
      {2, {0, 1, 2}, {1, 0}, "frlayout", 1, 0.0, "frepsilon must be greater than 0"},
  };
  // Each case through both entries, 32- and 64-bit neighbours.
  for (const Case& c : cases) {
    frlayout3d::Options o = seeded(1, c.threads);
    o.method = c.method;
    o.frepsilon = c.frepsilon;
    const std::vector<int64_t> wide(c.adjncy.begin(), c.adjncy.end());
    for (const frlayout3d::Result& r :
         {frlayout3d::layout(c.nvtxs, c.xadj.data(), c.adjncy.data(), o),
          frlayout3d::layout(c.nvtxs, c.xadj.data(), wide.data(), o)}) {
      EXPECT_FALSE(r.ok) << c.message;
      EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
    }
  }
  const int32_t* no_neighbours = nullptr;
  EXPECT_FALSE(frlayout3d::layout(2, nullptr, no_neighbours, seeded(1, 1)).ok);
  // A 64-bit neighbour is checked before it is narrowed: 2^32 + 1 is not 1.
  const int64_t two_xadj[] = {0, 1, 2};
  const int64_t wrapping[] = {(int64_t{1} << 32) + 1, 0};
  EXPECT_EQ(frlayout3d::layout(2, two_xadj, wrapping, seeded(1, 1)).error,
            "vertex 0 lists the neighbour 4294967297, outside 0..1");
  // The vertex count is refused before xadj is read: null here.
  if (physical_memory_bytes() / kLayoutBytesPerVertex < INT32_MAX) {
    EXPECT_NE(frlayout3d::layout(INT32_MAX, nullptr, no_neighbours, seeded(1, 1))
                  .error.find("2147483647 vertices needs at least"),
              std::string::npos);
  }

  // Garbage: offsets and neighbours drawn at random, in bounds of the arrays.
  uint32_t state = 12345;
  auto draw = [&](int32_t range) {
    state = state * 1103515245u + 12345u;
    return static_cast<int32_t>((state >> 8) % static_cast<uint32_t>(range));
  };
  frlayout3d::Options quick = seeded(3, 1);
  quick.friterations = 1;
  int laid_out = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int32_t n = draw(12) - 2;
    std::vector<int64_t> xadj(14);
    std::vector<int32_t> adjncy(64);
    for (int64_t& x : xadj) x = trial % 3 == 0 ? draw(40) - 3 : 0;
    for (int32_t v = 1; v < 14 && trial % 3 != 0; ++v) xadj[v] = xadj[v - 1] + draw(4);
    for (int32_t& w : adjncy) w = draw(14) - 2;
    const frlayout3d::Result r = frlayout3d::layout(n, xadj.data(), adjncy.data(), quick);
    if (r.ok) ++laid_out;
    ASSERT_TRUE(r.ok ? r.xyz.size() == 3 * static_cast<size_t>(n) : !r.error.empty());
  }
  EXPECT_GT(laid_out, 0);

  // A path 0 - 1 - 2 with a self-loop at each end lays out as the path.
  const int64_t path_xadj[] = {0, 1, 3, 4};
  const int32_t path_adjncy[] = {1, 0, 2, 1};
  const int64_t loops_xadj[] = {0, 2, 4, 6};
  const int32_t loops_adjncy[] = {0, 1, 0, 2, 1, 2};
  EXPECT_EQ(frlayout3d::layout(3, loops_xadj, loops_adjncy, seeded(9, 1)).xyz,
            frlayout3d::layout(3, path_xadj, path_adjncy, seeded(9, 1)).xyz);
}

// The file entries refuse with the reason and, for a file that cannot be
// opened, its errno; a refused layout file is not created.
TEST(Library, FileEntriesRefuseWithTheReason) {
  ScratchDir dir;
  struct ReadCase {
    std::string path;
    int open_errno;
    const char* message;
  };
  const ReadCase reads[] = {
      {test_data("no/such.graph"), ENOENT, "cannot open"},
      {dir.path, EISDIR, "it is a directory"},
      {std::string("g.graph\0.mtx", 12), 0, "the path holds a NUL byte (at byte 7)"},
  };
  for (const ReadCase& c : reads) {
    frlayout3d::Graph g;
    std::string error;
    int open_errno = -1;
    EXPECT_FALSE(frlayout3d::read_graph(c.path, g, error, "", &open_errno));
    EXPECT_EQ(open_errno, c.open_errno) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }

  const frlayout3d::Graph g = read_test_graph("golden/cycle40/input.graph");
  const std::vector<double> good(3 * static_cast<size_t>(g.nvtxs), 1.0);
  struct WriteCase {
    size_t at;
    double value;
    std::string name;
    const char* message;
  };
  const WriteCase writes[] = {
      {4, std::nan(""), "out", "coordinate y of vertex 1 is NaN"},
      {0, -HUGE_VAL, "out", "coordinate x of vertex 0 is infinite"},
      {2, 1.0, std::string("o\0ut", 4), "the path holds a NUL byte"},
  };
  for (const WriteCase& c : writes) {
    std::vector<double> xyz = good;
    xyz[c.at] = c.value;
    std::string error;
    EXPECT_FALSE(frlayout3d::write_layout(dir.file(c.name), g, xyz, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_NE(::access(dir.file("out").c_str(), F_OK), 0);
    EXPECT_NE(::access(dir.file("o").c_str(), F_OK), 0);
  }
}

// Two layouts at once on two threads, each with its worker threads, give
// what each gives alone: one by each method.
TEST(Library, TwoCallsAtOnceGiveTheLoneResults) {
  const frlayout3d::Graph g = read_test_graph("data/delaunay_n10.graph");
  frlayout3d::Options quality = seeded(6, 2);
  quality.method = "quality";
  const frlayout3d::Result lone_a = lay_out(g, seeded(5, 2));
  const frlayout3d::Result lone_b = lay_out(g, quality);
  frlayout3d::Result a, b;
  std::thread first([&] { a = lay_out(g, seeded(5, 2)); });
  std::thread second([&] { b = lay_out(g, quality); });
  first.join();
  second.join();
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.xyz, lone_a.xyz);
  EXPECT_EQ(b.xyz, lone_b.xyz);
  EXPECT_NE(a.xyz, b.xyz);
}
