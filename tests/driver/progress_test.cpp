// The live progress line: shown on standard error only when that is a
// terminal (here a pseudo-terminal), rewritten in place, erased at the end,
// and without effect on standard output or the layout.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "test_support.h"

namespace {

/// Runs the tool with standard error on a pseudo-terminal; `terminal`
/// receives every byte written to it.
RunResult run_with_terminal(const std::vector<std::string>& args, const std::string& dir,
                            std::string& terminal) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return {};
  }
  const std::string name = ::ptsname(master);
  // Drain the terminal while the tool runs; reading fails once it is gone.
  std::thread drain([&] {
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
      if (n > 0) terminal.append(buf, static_cast<size_t>(n));
  });
  RunResult r = run_tool_with(args, dir, [&name] {
    int slave = ::open(name.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) ::_exit(127);
    ::dup2(slave, 2);
  });
  drain.join();
  ::close(master);
  return r;
}

/// The line a terminal would show last for `bytes`: "\r" returns to the
/// start, other characters overwrite what stands there.
std::string last_screen_line(const std::string& bytes) {
  std::string line;
  size_t column = 0;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (c == '\n') line.clear();
      column = 0;
    } else {
      if (column < line.size()) line[column] = c;
      else line += c;
      ++column;
    }
  }
  return line;
}

TEST(Progress, ShownOnATerminalAndErasedAtTheEnd) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), read_file(test_data("data/delaunay_n10.graph")));
  std::string terminal;
  RunResult tty =
      run_with_terminal({"-in", "g.graph", "-seed", "4", "-out", "tty"}, dir.path, terminal);
  ASSERT_EQ(tty.status, 0) << terminal;
  // The line went through every level, the coarsest first.
  for (const char* part : {"level 1 of ", "iteration 0/100", "(1024 vertices): iteration 0/50", " s"})
    EXPECT_NE(terminal.find(part), std::string::npos) << part << "\n" << terminal;
  // Updated in place: never a line feed, and nothing left on screen.
  EXPECT_EQ(terminal.find('\n'), std::string::npos);
  const std::string shown = last_screen_line(terminal);
  EXPECT_EQ(shown.find_first_not_of(' '), std::string::npos) << "left on screen: " << shown;

  // Without a terminal nothing is written, and output and layout are the same.
  RunResult plain = run_tool({"-in", "g.graph", "-seed", "4", "-out", "plain"}, dir.path);
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(without_times(tty.out), without_times(plain.out));
  EXPECT_NE(without_times(plain.out).find("Leaving coarsen frlayout, step=0"), std::string::npos);
  EXPECT_EQ(layout_body(read_file(dir.file("tty.3dlayout"))),
            layout_body(read_file(dir.file("plain.3dlayout"))));
}

}  // namespace
