// What a hostile or careless user can hand the tool: input that never ends
// or inflates without end, signals and limits while the output is being
// written, outputs that are not the run's to replace, threads that cannot
// start, edge-list ids chosen to collide. Memory and work are bounded by
// the child's resource use and limits, never by the clock.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <sys/resource.h>
#include <sys/stat.h>

#ifdef FRLAYOUT3D_HAVE_ZLIB
#include <zlib.h>
#endif

#include "driver/child_process.h"
#include "test_support.h"

namespace {

/// A run of the tool in the background, its standard input a given
/// descriptor, its output files in `dir`.
struct Child {
  pid_t pid = -1;
  ScratchDir io;

  Child(const std::vector<std::string>& args, const std::string& dir, int in,
        const std::function<void()>& setup = [] {}) {
    std::vector<std::string> copy = args;
    std::string binary = FRLAYOUT3D_BINARY;
    std::vector<char*> argv{binary.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out_path = io.file("stdout"), err_path = io.file("stderr");
    pid = ::fork();
    if (pid == 0) {
      int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      setup();
      ::execv(binary.c_str(), argv.data());
      ::_exit(127);
    }
  }
  /// Waits for the end: the wait status and the child's peak memory in KB.
  int wait(long& peak_kb) {
    int wstatus = 0;
    struct rusage usage {};
    ::wait4(pid, &wstatus, 0, &usage);
    peak_kb = usage.ru_maxrss;
    return wstatus;
  }
  std::string err() const { return read_file(io.file("stderr")); }
};

/// Writes `prefix`, then keeps writing `chunk` into a pipe until the
/// reader closes it; the child's end is `read_end`. The writer is a process
/// the test stops.
struct Generator {
  int read_end = -1;
  pid_t pid = -1;
  Generator(const std::string& prefix, const std::string& chunk) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      ::signal(SIGPIPE, SIG_DFL);
      if (::write(fds[1], prefix.data(), prefix.size()) < 0) ::_exit(0);
      while (::write(fds[1], chunk.data(), chunk.size()) > 0) {
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    read_end = fds[0];
  }
  ~Generator() {
    if (read_end >= 0) ::close(read_end);
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

/// AddressSanitizer reserves terabytes of address space for its shadow
/// and keeps tens of megabytes of its own: under it the address space is
/// not capped and the peak allowed is larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

/// Memory a refused run may reach: the program, a 1 MiB text buffer and
/// the inflater, far below what the input would take if it were held.
constexpr long kReadingPeakKb = (kSanitized ? 96 : 24) * 1024;

/// Caps the child's address space at 1 GB and its processor time at 20 s,
/// so that a reader that holds or loops over endless input fails instead
/// of taking the machine's memory or running for ever.
void cap_memory() {
  struct rlimit memory {1L << 30, 1L << 30};
  if (!kSanitized) ::setrlimit(RLIMIT_AS, &memory);
  struct rlimit seconds {20, 20};
  ::setrlimit(RLIMIT_CPU, &seconds);
}

/// Runs the tool on endless input and expects one refusal naming `what`
/// with status 1 in bounded memory.
void expect_refused(const std::vector<std::string>& args, const std::string& dir, int in,
                    const std::string& what) {
  Child child(args, dir, in, cap_memory);
  long peak_kb = 0;
  const int wstatus = child.wait(peak_kb);
  const std::string err = child.err();
  ASSERT_TRUE(WIFEXITED(wstatus)) << err;
  EXPECT_EQ(WEXITSTATUS(wstatus), 1) << err;
  EXPECT_NE(err.find(what), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_LT(peak_kb, kReadingPeakKb);
}

TEST(HostileInput, EndlessOrInflatingInputIsRefusedInBoundedMemory) {
  ScratchDir dir;
  const std::string zeros(1 << 16, '\0');
  {
    Generator endless("", zeros);
    expect_refused({"-in", "/dev/stdin", "-seed", "1"}, dir.path, endless.read_end,
                   "/dev/stdin:1: the line is longer than 1048576 bytes");
  }
  {
    // After a header, a vertex line that never ends: the header's counts
    // bound the line.
    Generator endless("2 1\n", zeros);
    expect_refused({"-in", "/dev/stdin", "-seed", "1"}, dir.path, endless.read_end,
                   "/dev/stdin:2: the line is longer than");
  }
  for (const char* banner : {"", "%%MatrixMarket matrix coordinate pattern general\n"}) {
    Generator blank_lines(banner, std::string(1 << 16, '\n'));
    expect_refused({"-in", "/dev/stdin", "-format", *banner ? "mtx" : "edges", "-seed", "1"},
                   dir.path, blank_lines.read_end, "bytes of blank lines in a row");
  }
#ifdef FRLAYOUT3D_HAVE_ZLIB
  // 256 members of 1 MiB of zero bytes each: 256 MiB of text from 256 KB
  // of file, as the tool sees it one line without an end.
  std::string member(4096, '\0');
  const std::string mib(1 << 20, '\0');
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(mib.data()));
  z.avail_in = static_cast<uInt>(mib.size());
  z.next_out = reinterpret_cast<Bytef*>(member.data());
  z.avail_out = static_cast<uInt>(member.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  member.resize(z.total_out);
  deflateEnd(&z);
  std::string bomb;
  for (int i = 0; i < 256; ++i) bomb += member;
  write_file(dir.file("bomb.graph.gz"), bomb);
  int none = ::open("/dev/null", O_RDONLY);
  expect_refused({"-in", "bomb.graph.gz", "-seed", "1"}, dir.path, none,
                 "bomb.graph.gz:1: the line is longer than 1048576 bytes");
  ::close(none);
#endif
}

/// Waits until a temporary output (".frl-" name) shows in `dir`; false
/// when the child ended first.
bool wait_for_temporary(const std::string& dir, pid_t pid) {
  for (;;) {
    for (const std::string& name : directory_names(dir))
      if (starts_with(name, ".frl-")) return true;
    int wstatus = 0;
    if (::waitpid(pid, &wstatus, WNOHANG) == pid) return false;
    ::usleep(200);
  }
}

TEST(HostileInput, SignalsWhileWritingLeaveTheEarlierFileAndNoTemporary) {
  ScratchDir dir;
  // A layout file of about 8 MB: long enough to write that the temporary
  // is seen before the run ends.
  write_file(dir.file("g.graph"), graph_file_text(grid_lists(60, 60, 60)));
  write_file(dir.file("out.3dlayout"), "% an earlier layout\n");
  int none = ::open("/dev/null", O_RDONLY);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    Child child({"-in", "g.graph", "-out", "out", "-seed", "1", "-friterations", "0"}, dir.path,
                none);
    ASSERT_TRUE(wait_for_temporary(dir.path, child.pid)) << "the run ended before writing";
    ::kill(child.pid, sig);
    long peak_kb = 0;
    const int wstatus = child.wait(peak_kb);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == sig) << child.err();
    EXPECT_EQ(directory_names(dir.path), (std::set<std::string>{"g.graph", "out.3dlayout"}));
    EXPECT_EQ(read_file(dir.file("out.3dlayout")), "% an earlier layout\n");
  }
  ::close(none);
  // Standard output closed by its reader (a pipe into "head"): the report
  // is lost, the layout is not.
  write_file(dir.file("small.graph"), graph_file_text(cycle_lists(6)));
  RunResult r = run_tool_with({"-in", "small.graph", "-out", "small", "-seed", "1"}, dir.path, [] {
    int fds[2];
    if (::pipe(fds) != 0) ::_exit(126);
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    ::signal(SIGPIPE, SIG_DFL);
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(layout_coordinates(read_file(dir.file("small.3dlayout"))).size(), size_t{18});
}

TEST(HostileInput, OutputsThatAreNotTheRunsAreRefusedBeforeAnyWork) {
  ScratchDir dir;
  const std::string graph = graph_file_text(cycle_lists(5));
  write_file(dir.file("g.graph"), graph);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  write_file(dir.file("kept"), "not the run's\n");
  ASSERT_EQ(::symlink("kept", dir.file("link.html").c_str()), 0);
  ASSERT_EQ(::symlink("fifo", dir.file("fifolink").c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case refused[] = {
      {{"-html", "fifo"}, "\"fifo\" is not a regular file"},
      {{"-out", "fifo"}, "\"fifo\" is not a regular file"},  // no ".3dlayout" added
      {{"-out", "fifolink"}, "\"fifolink\" is not a regular file"},  // not replaced
      {{"-out", "o", "-html", "o.3dlayout"}, "the outputs \"o.3dlayout\" and \"o.3dlayout\""},
      {{"-out", "o", "-html", "./o.3dlayout"}, "are the same file"},
      {{"-html", "g.graph"}, "the output \"g.graph\" is the input file"},
  };
  for (const Case& c : refused) {
    std::vector<std::string> args{"-in", "g.graph", "-seed", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = run_tool(args, dir.path);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");  // nothing was read or laid out
  }
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(::lstat(dir.file("fifolink").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file(dir.file("g.graph")), graph);
  // A link at the target is replaced, not followed; a name of 255 bytes,
  // the longest the folder takes, is written.
  const std::string longest = std::string(255 - 9, 'n');
  RunResult r = run_tool({"-in", "g.graph", "-seed", "1", "-html", "link.html", "-out", longest},
                         dir.path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("kept")), "not the run's\n");
  ASSERT_EQ(::lstat(dir.file("link.html").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(layout_coordinates(read_file(dir.file(longest + ".3dlayout"))).size(), size_t{15});
}

TEST(HostileInput, ThreadsThatCannotStartAndCraftedIdsCostNoAbort) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(cycle_lists(50)));
  // 1024 stacks of 8 MB do not fit in 1 GB of address space (which a
  // sanitized build cannot be held to).
  RunResult r;
  if (!kSanitized) {
    r = run_tool_with({"-in", "g.graph", "-out", "g", "-seed", "1", "-threads", "1024"},
                      dir.path, cap_memory);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: could start only"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("g.3dlayout")).empty(), false);
  }

  // Ids whose product with the golden-ratio constant differs only in the
  // low 20 bits: a multiplicative hash without a seed puts them all in one
  // slot, and numbering 200,000 of them takes minutes of probing; the run
  // must finish within the limit of cap_memory.
  const uint64_t inverse = [] {
    const uint64_t c = 0x9E3779B97F4A7C15u;
    uint64_t x = c;  // Newton's iteration for the inverse modulo 2^64
    for (int i = 0; i < 6; ++i) x *= 2 - c * x;
    return x;
  }();
  std::vector<uint64_t> ids;
  for (uint64_t k = 1; ids.size() < 200000; ++k)
    if (uint64_t id = (k << 20) * inverse; id < (uint64_t{1} << 63)) ids.push_back(id);
  std::string text;
  for (size_t i = 0; i < ids.size(); ++i)
    text += std::to_string(ids[i]) + " " + std::to_string(ids[(i + 1) % ids.size()]) + "\n";
  write_file(dir.file("crafted.edges"), text);
  r = run_tool_with({"-in", "crafted.edges", "-seed", "1", "-friterations", "0"}, dir.path,
                    cap_memory);
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
