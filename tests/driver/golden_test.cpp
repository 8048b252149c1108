// Whole runs with a fixed seed against the reference runs kept under
// tests/golden: the layout body, the progress and refusal lines and the
// report must match byte for byte, the time values aside.
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace {

const char* const kGoldenCases[] = {"cycle40", "geo276-options", "grid343-styled",
                                    "tree150-refusals"};

std::vector<std::string> split_args(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> args;
  std::string a;
  while (in >> a) args.push_back(a);
  return args;
}

struct GoldenRun {
  RunResult result;
  std::string layout;
};

GoldenRun run_golden(const std::string& name, const std::vector<std::string>& extra) {
  ScratchDir dir;
  const std::string golden = test_data("golden/" + name + "/");
  write_file(dir.file("input.graph"), read_file(golden + "input.graph"));
  std::vector<std::string> args = {"-in", "input.graph", "-out", "expected.3dlayout"};
  for (const std::string& a : split_args(read_file(golden + "args"))) args.push_back(a);
  for (const std::string& a : extra) args.push_back(a);
  GoldenRun run;
  run.result = run_tool(args, dir.path);
  run.layout = read_file(dir.file("expected.3dlayout"));
  return run;
}

}  // namespace

TEST(Golden, ReferenceRunsMatchByteForByte) {
  for (const char* name : kGoldenCases) {
    const std::string golden = test_data(std::string("golden/") + name + "/");
    GoldenRun run = run_golden(name, {});
    ASSERT_EQ(run.result.status, 0) << name << ": " << run.result.err;
    EXPECT_EQ(layout_body(run.layout), layout_body(read_file(golden + "expected.3dlayout")))
        << name;
    EXPECT_EQ(without_times(run.layout), without_times(read_file(golden + "expected.3dlayout")))
        << name;
    EXPECT_EQ(without_times(run.result.out), without_times(read_file(golden + "expected.stdout")))
        << name;
  }
}

TEST(Golden, ThreadCountDoesNotChangeOneByte) {
  for (const char* name : {"grid343-styled", "tree150-refusals"}) {
    GoldenRun one = run_golden(name, {"-threads", "1"});
    GoldenRun two = run_golden(name, {"-threads", "2"});
    GoldenRun seven = run_golden(name, {"-threads", "7"});
    ASSERT_EQ(one.result.status, 0);
    EXPECT_EQ(layout_body(one.layout), layout_body(two.layout)) << name;
    EXPECT_EQ(layout_body(one.layout), layout_body(seven.layout)) << name;
    EXPECT_EQ(without_times(one.result.out), without_times(seven.result.out)) << name;
  }
}

TEST(Golden, LargerGraphIsTheSameForOneTwoAndSevenThreads) {
  // Big enough that the passes over vertices and edges are really split
  // between threads.
  ScratchDir dir;
  write_file(dir.file("g.graph"), read_file(test_data("data/PGPgiantcompo.graph")));
  std::string first;
  for (const char* threads : {"1", "2", "7"}) {
    RunResult run = run_tool({"-in", "g.graph", "-out", "out", "-seed", "5", "-threads", threads,
                              "-friterations", "6"}, dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string body = layout_body(read_file(dir.file("out.3dlayout")));
    if (first.empty()) first = body;
    EXPECT_EQ(body, first) << threads << " threads";
  }
}
