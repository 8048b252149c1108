// Faults on the output side: a missing directory, a read-only directory or
// file system, a full file system, a write that fails midway and a target
// that is a directory. Each must end with "frlayout3d: cannot write NAME:
// REASON" and status 1, leave an earlier file at that path as it was and
// leave no temporary file behind. Cases that need a mount run only where
// the test may mount (as root); the others run everywhere.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "driver/child_process.h"
#include "test_support.h"

namespace {

/// What an earlier run left at the output path.
const char kEarlier[] = "% an earlier layout\n1 0\n  500.000000   400.000000   300.000000 \n";

/// A small tmpfs mounted on a fresh directory for the life of the object.
struct TmpfsMount {
  std::string path;
  bool mounted = false;
  std::string why_not;

  TmpfsMount(const std::string& where, const std::string& options) : path(where) {
    if (::mkdir(path.c_str(), 0755) != 0) {
      why_not = std::string("mkdir: ") + std::strerror(errno);
      return;
    }
    if (::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      why_not = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
      return;
    }
    mounted = true;
  }
  bool remount_read_only() {
    return ::mount("tmpfs", path.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                   nullptr) == 0;
  }
  ~TmpfsMount() {
    if (mounted && ::umount2(path.c_str(), 0) != 0) ::umount2(path.c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
};

/// A graph whose layout file takes about 30 KB: more than one page of a
/// small file system, so that a write can fail partway.
std::string input_text() { return graph_file_text(grid_lists(8, 8, 8)); }

/// Fills the file system holding `dir` until a write fails.
void fill_up(const std::string& dir) {
  int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::string block(4096, 'x');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  for (int i = 0; i < 64 && ::write(fd, "x", 1) > 0; ++i) {
  }
  ::close(fd);
}

/// The common verdict: status 1, the one message, the earlier content at
/// `target` (when there was one) and exactly `names` in its directory.
void expect_write_failure(const RunResult& r, const std::string& target_arg,
                          const std::string& reason, const std::string& target_path,
                          bool had_earlier, const std::string& dir,
                          const std::set<std::string>& names) {
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(starts_with(r.err, "frlayout3d: cannot write " + target_arg + ": " + reason + "\n"))
      << r.err;
  // The run itself completed: the report was printed before the write.
  EXPECT_NE(r.out.find("random seed:"), std::string::npos);
  if (had_earlier) {
    EXPECT_EQ(read_file(target_path), kEarlier);
  }
  EXPECT_EQ(directory_names(dir), names);
}

TEST(OutputFault, MissingDirectory) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  RunResult r = run_tool({"-in", "g.graph", "-out", "absent/sub/out", "-seed", "1"}, dir.path);
  expect_write_failure(r, "absent/sub/out.3dlayout", "No such file or directory", "", false,
                       dir.path, {"g.graph"});
}

TEST(OutputFault, TargetIsADirectory) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  ASSERT_EQ(::mkdir(dir.file("out.3dlayout").c_str(), 0755), 0);
  write_file(dir.file("out.3dlayout/keep"), kEarlier);
  RunResult r = run_tool({"-in", "g.graph", "-out", "out", "-seed", "1"}, dir.path);
  expect_write_failure(r, "out.3dlayout", "Is a directory", dir.file("out.3dlayout/keep"), true,
                       dir.path, {"g.graph", "out.3dlayout"});
}

TEST(OutputFault, WriteStopsMidwayAtTheFileSizeLimit) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  write_file(dir.file("out.3dlayout"), kEarlier);
  // Writes beyond 8 KB fail with EFBIG instead of killing the process.
  RunResult r = run_tool_with({"-in", "g.graph", "-out", "out", "-seed", "1"}, dir.path, [] {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  expect_write_failure(r, "out.3dlayout", "File too large", dir.file("out.3dlayout"), true,
                       dir.path, {"g.graph", "out.3dlayout"});
}

TEST(OutputFault, ReadOnlyDirectoryForAnOrdinaryUser) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  ASSERT_EQ(::mkdir(dir.file("ro").c_str(), 0755), 0);
  write_file(dir.file("ro/out.3dlayout"), kEarlier);
  ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0555), 0);
  // Root ignores permission bits: run as an unprivileged user then.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chmod(dir.path.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.file("g.graph").c_str(), 0644), 0);
  }
  RunResult r = run_tool_with({"-in", "g.graph", "-out", "ro/out", "-seed", "1"}, dir.path,
                              [root] { if (root) become_nobody(); });
  if (r.status == 127 && r.err.empty()) {
    GTEST_SKIP() << "the binary cannot be run as nobody";
  }
  expect_write_failure(r, "ro/out.3dlayout", "Permission denied", dir.file("ro/out.3dlayout"),
                       true, dir.file("ro"), {"out.3dlayout"});
}

TEST(OutputFault, ReadOnlyFileSystem) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  TmpfsMount mnt(dir.file("ro"), "size=256k");
  if (!mnt.mounted) {
    GTEST_SKIP() << mnt.why_not;
  }
  write_file(mnt.path + "/out.3dlayout", kEarlier);
  ASSERT_TRUE(mnt.remount_read_only()) << std::strerror(errno);
  RunResult r = run_tool({"-in", "g.graph", "-out", "ro/out", "-seed", "1"}, dir.path);
  expect_write_failure(r, "ro/out.3dlayout", "Read-only file system", mnt.path + "/out.3dlayout",
                       true, mnt.path, {"out.3dlayout"});
}

TEST(OutputFault, FullFileSystem) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  TmpfsMount mnt(dir.file("full"), "size=64k");
  if (!mnt.mounted) {
    GTEST_SKIP() << mnt.why_not;
  }
  write_file(mnt.path + "/out.3dlayout", kEarlier);
  fill_up(mnt.path);
  RunResult r = run_tool({"-in", "g.graph", "-out", "full/out", "-seed", "1"}, dir.path);
  expect_write_failure(r, "full/out.3dlayout", "No space left on device",
                       mnt.path + "/out.3dlayout", true, mnt.path, {"filler", "out.3dlayout"});
}

TEST(OutputFault, FileSystemFillsUpMidway) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), input_text());
  // Room for the earlier file and part of the new one (about 30 KB).
  TmpfsMount mnt(dir.file("small"), "size=16k");
  if (!mnt.mounted) {
    GTEST_SKIP() << mnt.why_not;
  }
  write_file(mnt.path + "/out.3dlayout", kEarlier);
  RunResult r = run_tool({"-in", "g.graph", "-out", "small/out", "-seed", "1"}, dir.path);
  expect_write_failure(r, "small/out.3dlayout", "No space left on device",
                       mnt.path + "/out.3dlayout", true, mnt.path, {"out.3dlayout"});
  // The same run with room enough succeeds, so the limit was what failed.
  TmpfsMount roomy(dir.file("roomy"), "size=1m");
  ASSERT_TRUE(roomy.mounted);
  RunResult ok = run_tool({"-in", "g.graph", "-out", "roomy/out", "-seed", "1"}, dir.path);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_GT(read_file(roomy.path + "/out.3dlayout").size(), size_t{16384});
}

}  // namespace
