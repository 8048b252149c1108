// The option table run end to end: every option with a missing, empty,
// non-numeric, infinite, overflowing, negative-zero, hexadecimal or huge
// value must give either a complete layout inside its box (and the value
// the report shows) or a clear message with status 2.
#include <gtest/gtest.h>

#include <cstdio>

#include "driver/child_process.h"
#include "driver/driver.h"
#include "test_support.h"

namespace {

enum class Expect {
  kLayout,          ///< status 0 and a complete layout
  kUsage,           ///< status 2 and a message
  kCannotOpen,      ///< status 1: the value names an input that is not there
};

struct OptionCase {
  std::string option;
  std::string value;
  Expect expect;
  std::string report_line;  ///< a line the output's "%" header must hold
};

/// How a case is named in test listings.
void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.option << " \"" << c.value << "\""; }

std::string fixed(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

/// The odd values every option is given.
const char* const kOddValues[] = {"", "nan", "inf", "-inf", "1e400", "-0", "0x10"};

std::vector<OptionCase> option_cases() {
  std::vector<OptionCase> c;
  // Iteration counts read like "%d": no digits give 0, a number followed by
  // anything gives the number, beyond 32 bits is refused.
  for (const char* opt : {"-friterations", "-bciterations"}) {
    const std::string row = std::string(opt) == "-friterations"
                                ? "% refine fr iteration:\t\t "
                                : "% bary-centralizing iterations:\t ";
    for (const char* v : kOddValues) {
      bool leading_one = std::string(v) == "1e400";
      c.push_back({opt, v, Expect::kLayout, row + (leading_one ? "1" : "0") + " \n"});
    }
    c.push_back({opt, "1000000000000", Expect::kUsage, ""});
    c.push_back({opt, "2147483648", Expect::kUsage, ""});
    c.push_back({opt, "12abc", Expect::kLayout, row + "12 \n"});
    c.push_back({opt, "-3", Expect::kLayout, row + "-3 \n"});
  }
  // Real values: no number reads as 0, overflow is refused.
  const std::string ratio_row = "% well separated ratio:\t\t ";
  for (const char* v : kOddValues) {
    std::string s = v;
    if (s == "1e400") c.push_back({"-wellseparatedratio", v, Expect::kUsage, ""});
    else c.push_back({"-wellseparatedratio", v, Expect::kLayout,
                      ratio_row + (s == "-0" ? "-0.000000" : "0.000000") + " \n"});
  }
  c.push_back({"-wellseparatedratio", "0", Expect::kLayout, ratio_row + "0.000000 \n"});
  c.push_back({"-wellseparatedratio", "-1", Expect::kLayout, ratio_row + "-1.000000 \n"});
  c.push_back({"-wellseparatedratio", "1e300", Expect::kLayout, ratio_row + fixed(1e300) + " \n"});
  c.push_back({"-wellseparatedratio", "-1e400", Expect::kUsage, ""});
  // The epsilon must lie in (0, 100]; every odd value leaves it outside.
  for (const char* v : kOddValues) c.push_back({"-frepsilon", v, Expect::kUsage, ""});
  for (const char* v : {"0", "-1", "1e300", "100.0000001"})
    c.push_back({"-frepsilon", v, Expect::kUsage, ""});
  const std::string eps_row = "% frlayout epsilon:\t\t ";
  c.push_back({"-frepsilon", "100", Expect::kLayout, eps_row + "100.000000 \n"});
  c.push_back({"-frepsilon", "1e-300", Expect::kLayout, eps_row + "0.000000 \n"});
  // The seed: a decimal integer of any size, modulo 2^32, nothing else.
  const std::string seed_row = "% random seed:\t\t ";
  for (const char* v : {"", "nan", "inf", "-inf", "1e400", "0x10", "12abc"})
    c.push_back({"-seed", v, Expect::kUsage, ""});
  c.push_back({"-seed", "-0", Expect::kLayout, seed_row + "0 \n"});
  c.push_back({"-seed", "1000000000000", Expect::kLayout, seed_row + "3567587328 \n"});
  c.push_back({"-seed", "-1", Expect::kLayout, seed_row + "4294967295 \n"});
  c.push_back({"-seed", "123456789012345678901234567890", Expect::kLayout,
               seed_row + "1312754386 \n"});
  c.push_back({"-seed", " 7 ", Expect::kLayout, seed_row + "7 \n"});
  // Threads: 1..1024, read like "%d".
  for (const char* v : {"", "nan", "inf", "-inf", "-0", "0x10", "0", "1025", "1000000000000"})
    c.push_back({"-threads", v, Expect::kUsage, ""});
  c.push_back({"-threads", "1e400", Expect::kLayout, ""});
  c.push_back({"-threads", "2", Expect::kLayout, ""});
  // Names: an empty value keeps the default; any word is a name, but a
  // format, an export or a method must be one the tool knows.
  for (const char* v : kOddValues) {
    const Expect known_only = *v == '\0' ? Expect::kLayout : Expect::kUsage;
    c.push_back({"-out", v, Expect::kLayout, ""});
    c.push_back({"-in", v, *v == '\0' ? Expect::kLayout : Expect::kCannotOpen, ""});
    c.push_back({"-html", v, Expect::kLayout, ""});
    for (const char* opt : {"-format", "-export", "-method"}) c.push_back({opt, v, known_only, ""});
  }
  return c;
}

/// A 4x4x4 grid: large enough to be coarsened once, so that the refinement
/// options take effect.
const int32_t kSide = 4;

/// Checks that a run wrote a complete layout of the grid at `name`.
void expect_complete_layout(const ScratchDir& dir, const RunResult& r, const std::string& name,
                            const std::string& report_line) {
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(file_exists(dir.file(name))) << name;
  const std::string content = read_file(dir.file(name));
  if (!report_line.empty()) {
    EXPECT_NE(content.find(report_line), std::string::npos) << content;
  }
  int64_t nvtxs = 0, nedges = 0;
  std::vector<LayoutLine> lines;
  ASSERT_TRUE(parse_layout_body(layout_body(content), nvtxs, nedges, lines));
  auto lists = grid_lists(kSide, kSide, kSide);
  EXPECT_EQ(nvtxs, static_cast<int64_t>(lists.size()));
  EXPECT_EQ(nedges, graph_nedges(lists));
  double box[4];
  ASSERT_TRUE(final_drawing_area(r.out, box)) << r.out;
  EXPECT_EQ(check_layout_in_box(lines, box), "");
}

void expect_usage_error(const ScratchDir& dir, const RunResult& r, const std::string& option) {
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(starts_with(r.err, "frlayout3d: ")) << r.err;
  EXPECT_NE(r.err.find(option), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\n(frlayout3d -help lists the options)\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(directory_names(dir.path), std::set<std::string>{"graph.graph"});
}

class OptionValue : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionValue, GivesALayoutOrAClearMessage) {
  const OptionCase& c = GetParam();
  ScratchDir dir;
  write_file(dir.file("graph.graph"), graph_file_text(grid_lists(kSide, kSide, kSide)));
  std::vector<std::string> args{c.option, c.value};
  if (c.option != "-seed") args.insert(args.end(), {"-seed", "3"});
  RunResult r = run_tool(args, dir.path);
  // The output name: from -out when it gives a word, else from the input.
  std::string word;
  if (c.option == "-out" && c.value.find_first_not_of(' ') != std::string::npos) word = c.value;
  const std::string name = derive_layout_filename("graph.graph", word);

  switch (c.expect) {
    case Expect::kLayout:
      expect_complete_layout(dir, r, name, c.report_line);
      break;
    case Expect::kUsage:
      expect_usage_error(dir, r, c.option);
      break;
    case Expect::kCannotOpen:
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, "cannot open " + c.value + ". \n");
      EXPECT_TRUE(starts_with(r.err, "frlayout3d: cannot open " + c.value + ": ")) << r.err;
      break;
  }
  for (const std::string& n : directory_names(dir.path))
    EXPECT_EQ(n.find(".tmp-"), std::string::npos) << "temporary file left: " << n;
}

// Failures name the case through PrintTo.
INSTANTIATE_TEST_SUITE_P(Table, OptionValue, testing::ValuesIn(option_cases()));

/// Every option that takes a value, given as the last argument.
class OptionWithoutValue : public testing::TestWithParam<std::string> {};

TEST_P(OptionWithoutValue, IsAUsageError) {
  ScratchDir dir;
  write_file(dir.file("graph.graph"), graph_file_text(path_lists(3)));
  RunResult r = run_tool({"-seed", "1", GetParam()}, dir.path);
  expect_usage_error(dir, r, GetParam());
  EXPECT_NE(r.err.find("needs a value"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Table, OptionWithoutValue,
                         testing::Values("-in", "-out", "-friterations", "-bciterations",
                                         "-wellseparatedratio", "-frepsilon", "-seed",
                                         "-threads", "-format", "-html", "-export",
                                         // matched as a prefix, so this one too
                                         "-friterationsX"));

TEST(OptionFlag, TimingsTakesNoValue) {
  ScratchDir dir;
  write_file(dir.file("graph.graph"), graph_file_text(grid_lists(kSide, kSide, kSide)));
  RunResult r = run_tool({"-seed", "1", "-timings"}, dir.path);
  expect_complete_layout(dir, r, "graphsfrlayout.3dlayout", "% random seed:\t\t 1 \n");
  EXPECT_NE(r.err.find("timings: vertices 64 edges 144"), std::string::npos) << r.err;
}

}  // namespace
