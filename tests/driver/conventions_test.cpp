// The command-line conventions end to end: "-in -" and "-out -" (the
// graph from a pipe, the layout into one, the console lines moved to
// standard error, a closed pipe), and one warning for every argument the
// tool skips or reads only in part, with the run's results unchanged.
#include <gtest/gtest.h>

#include "driver/child_process.h"
#include "test_support.h"

namespace {

/// Child set-up: standard input becomes a pipe that a grandchild fills
/// with `text` and then closes. Only async-signal-safe calls.
std::function<void()> feed_standard_input(const std::string& text) {
  return [&text] {
    int p[2];
    if (::pipe(p) != 0) ::_exit(127);
    if (::fork() == 0) {
      ::close(p[0]);
      for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(p[1], text.data() + done, text.size() - done);
        if (n <= 0) ::_exit(1);
        done += static_cast<size_t>(n);
      }
      ::_exit(0);
    }
    ::close(p[1]);
    ::dup2(p[0], 0);
    ::close(p[0]);
  };
}

// A path 1 - 2 - ... - 80: its lists are sorted, so the Matrix Market text
// of it lays out as the adjacency-list file does.
TEST(StandardStreams, GraphFromAPipeAndLayoutIntoOne) {
  ScratchDir dir;
  const auto lists = path_lists(80);
  const std::string graph = graph_file_text(lists);
  write_file(dir.file("g.graph"), graph);
  RunResult ref = run_tool({"-in", "g.graph", "-seed", "5", "-out", "ref"}, dir.path);
  ASSERT_EQ(ref.status, 0) << ref.err;
  const std::string expected = layout_body(read_file(dir.file("ref.3dlayout")));

  // Read from standard input: named "stdin", the output after it.
  RunResult in = run_tool_with({"-in", "-", "-seed", "5"}, dir.path, feed_standard_input(graph));
  ASSERT_EQ(in.status, 0) << in.err;
  const std::string file = read_file(dir.file("stdin.3dlayout"));
  EXPECT_EQ(layout_body(file), expected);
  EXPECT_EQ(file.rfind("% graphFilename:\t\t stdin \n", 0), 0u);
  EXPECT_EQ(without_times(in.out), without_times(ref.out.replace(
                                       ref.out.find("g.graph"), 7, "stdin")));

  // Both ends pipes, the format told by the banner: the layout alone on
  // standard output, everything it used to carry on standard error.
  std::string mtx = "%%MatrixMarket matrix coordinate pattern general\n80 80 79\n";
  for (int32_t v = 1; v < 80; ++v) mtx += std::to_string(v + 1) + " " + std::to_string(v) + "\n";
  const std::set<std::string> before = directory_names(dir.path);
  RunResult both =
      run_tool_with({"-in", "-", "-seed", "5", "-out", "-"}, dir.path, feed_standard_input(mtx));
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(layout_body(both.out), expected);
  EXPECT_EQ(both.out.rfind("% graphFilename:\t\t stdin \n", 0), 0u);
  EXPECT_EQ(without_times(both.err), without_times(in.out));
  EXPECT_EQ(directory_names(dir.path), before);

  // A reader that has gone: the write fails with a message and status 1.
  RunResult closed = run_tool_with({"-in", "g.graph", "-seed", "5", "-out", "-"}, dir.path, [] {
    int p[2];
    if (::pipe(p) != 0) ::_exit(127);
    ::close(p[0]);
    ::dup2(p[1], 1);
  });
  EXPECT_EQ(closed.status, 1);
  EXPECT_NE(closed.err.find("frlayout3d: cannot write the layout to standard output: "),
            std::string::npos)
      << closed.err;
}

TEST(CommandLineWarnings, OneForEveryArgumentSkippedOrReadInPart) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(grid_lists(4, 4, 3)));
  RunResult plain = run_tool(
      {"-in", "g.graph", "-out", "a", "-friterations", "10", "-bciterations", "0", "-seed", "5"},
      dir.path);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  // "-input" and "-outfile" are longer spellings of -in and -out: no warning.
  RunResult odd = run_tool({"g.graph", "-in=x.graph", "g.graph", "--seed", "7", "-o", "x",
                            "-friterations", "10k", "-bciterations", "abc", "-timingsx", "-seed",
                            "5", "-input", "g.graph", "-outfile", "b"},
                           dir.path);
  ASSERT_EQ(odd.status, 0) << odd.err;
  EXPECT_EQ(odd.err,
            "frlayout3d: warning: ignored argument \"g.graph\"\n"
            "frlayout3d: warning: argument \"-in=x.graph\" read as -in (\"=x.graph\" ignored; "
            "its value is the next argument)\n"
            "frlayout3d: warning: ignored argument \"--seed\" (did you mean -seed?)\n"
            "frlayout3d: warning: ignored argument \"7\"\n"
            "frlayout3d: warning: ignored argument \"-o\" (did you mean -out?)\n"
            "frlayout3d: warning: ignored argument \"x\"\n"
            "frlayout3d: warning: -friterations \"10k\": read as 10\n"
            "frlayout3d: warning: -bciterations \"abc\": read as 0\n"
            "frlayout3d: warning: ignored argument \"-timingsx\"\n");
  EXPECT_EQ(without_times(odd.out), without_times(plain.out));
  EXPECT_EQ(layout_body(read_file(dir.file("b.3dlayout"))),
            layout_body(read_file(dir.file("a.3dlayout"))));
}

}  // namespace
