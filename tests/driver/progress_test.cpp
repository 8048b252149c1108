// The live progress line: shown on standard error only when that is a
// terminal (here a pseudo-terminal), rewritten in place, erased at the end,
// and without effect on standard output or the layout.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace {

struct TerminalRun {
  int status = -1;
  std::string out;       ///< standard output (a file)
  std::string terminal;  ///< every byte written to the terminal
};

/// Runs the tool with standard error on a pseudo-terminal and standard
/// output in a file.
TerminalRun run_with_terminal(const std::vector<std::string>& args, const std::string& dir) {
  TerminalRun run;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return run;
  }
  const std::string terminal_name = ::ptsname(master);
  const std::string out_path = dir + "/terminal-run.stdout";
  std::vector<std::string> copy = args;
  std::string binary = FRLAYOUT3D_BINARY;
  std::vector<char*> argv{binary.data()};
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(master);
    int slave = ::open(terminal_name.c_str(), O_RDWR | O_NOCTTY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (slave < 0 || out < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
    ::dup2(out, 1);
    ::dup2(slave, 2);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  // Drain the terminal while the tool runs; reading fails once it is gone.
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n > 0) run.terminal.append(buf, static_cast<size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  ::close(master);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  run.out = read_file(out_path);
  return run;
}

/// The lines a terminal would show for `bytes`: "\r" returns to the start
/// of the line, other characters overwrite what stands there.
std::vector<std::string> screen(const std::string& bytes) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (char c : bytes) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      std::string& line = lines.back();
      if (column < line.size()) line[column] = c;
      else line += c;
      ++column;
    }
  }
  return lines;
}

/// Standard output without the lines that carry times.
std::string without_times(const std::string& out) {
  std::string kept, line;
  for (char c : out) {
    line += c;
    if (c != '\n') continue;
    if (line.find("time") == std::string::npos) kept += line;
    line.clear();
  }
  return kept + line;
}

TEST(Progress, ShownOnATerminalAndErasedAtTheEnd) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), read_file(test_data("data/delaunay_n10.graph")));
  TerminalRun tty = run_with_terminal({"-in", "g.graph", "-seed", "4", "-out", "tty"}, dir.path);
  ASSERT_EQ(tty.status, 0) << tty.terminal;
  // The line went through every level, the coarsest first.
  EXPECT_NE(tty.terminal.find("level 1 of "), std::string::npos) << tty.terminal;
  EXPECT_NE(tty.terminal.find("iteration 0/100"), std::string::npos) << tty.terminal;
  EXPECT_NE(tty.terminal.find("(1024 vertices): iteration 0/50"), std::string::npos)
      << tty.terminal;
  EXPECT_NE(tty.terminal.find(" s"), std::string::npos);
  // Updated in place: never a line feed, and nothing left on screen.
  EXPECT_EQ(tty.terminal.find('\n'), std::string::npos);
  std::vector<std::string> shown = screen(tty.terminal);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].find_first_not_of(' '), std::string::npos) << "left on screen: " << shown[0];

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
