// Runs on several processes (mpirun): the same bytes as one process, for
// the reference runs, a run with refusals and a larger graph, and one
// status and one message on every process for an input error.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

/// frlayout3d on `processes` processes, as root too, more processes than
/// cores allowed.
RunResult run_processes(int processes, const std::vector<std::string>& args,
                        const std::string& dir) {
  std::vector<std::string> all = {"--oversubscribe", "--allow-run-as-root", "-np",
                                  std::to_string(processes), FRLAYOUT3D_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  return run_program("mpirun", all, dir, [] {});
}

}  // namespace

TEST(Processes, SameBytesAsOneProcess) {
  struct Case {
    const char* input;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"golden/grid343-styled/input.graph", {"-seed", "42"}},
      {"golden/tree150-refusals/input.graph", {"-seed", "77", "-frepsilon", "5", "-friterations", "10"}},
      {"data/PGPgiantcompo.graph", {"-seed", "5", "-friterations", "6", "-threads", "2"}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir.file("g.graph"), read_file(test_data(c.input)));
    std::vector<std::string> args = {"-in", "g.graph", "-out", "one"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult alone = run_tool(args, dir.path);
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::string want = layout_body(read_file(dir.file("one.3dlayout")));
    for (int processes : {1, 2, 3}) {
      args[3] = "p" + std::to_string(processes);
      const RunResult run = run_processes(processes, args, dir.path);
      ASSERT_EQ(run.status, 0) << c.input << " on " << processes << ": " << run.err;
      EXPECT_EQ(layout_body(read_file(dir.file(args[3] + ".3dlayout"))), want)
          << c.input << " on " << processes;
      // Progress, refusal and report lines once, from the first process.
      EXPECT_EQ(without_times(run.out), without_times(alone.out))
          << c.input << " on " << processes;
    }
  }
}

TEST(Processes, InputErrorEndsEveryProcessWithOneMessage) {
  ScratchDir dir;
  write_file(dir.file("bad.graph"), "3 2\n2\n1 7\n2\n");
  const RunResult run = run_processes(3, {"-in", "bad.graph", "-out", "x"}, dir.path);
  EXPECT_EQ(run.status, 1);
  size_t messages = 0;
  for (size_t at = run.err.find("frlayout3d: bad.graph:"); at != std::string::npos;
       at = run.err.find("frlayout3d: bad.graph:", at + 1))
    ++messages;
  EXPECT_EQ(messages, 1u) << run.err;
  EXPECT_FALSE(file_exists(dir.file("x.3dlayout")));
}
