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
#include <functional>
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

/// Runs the tool on a grid whose layout file takes about 30 KB (more than
/// one page of a small file system, so that a write can fail partway) with
/// "-out <out>", and checks the common verdict: status 1, the one message
/// naming <out>.3dlayout and `reason`, the report printed when the fault
/// shows only in writing and not when the check before the layout sees it,
/// the earlier file at `earlier` (when given) unchanged and exactly `names`
/// left in `listed`.
void expect_write_failure(const ScratchDir& dir, const std::string& out, const char* reason,
                          const std::string& earlier, const std::string& listed,
                          const std::set<std::string>& names, bool seen_before_layout,
                          const std::function<void()>& setup = [] {}) {
  write_file(dir.file("g.graph"), graph_file_text(grid_lists(8, 8, 8)));
  RunResult r = run_tool_with({"-in", "g.graph", "-out", out, "-seed", "1"}, dir.path, setup);
  if (r.status == 127 && r.err.empty()) GTEST_SKIP() << "the binary could not be started";
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(starts_with(r.err, "frlayout3d: cannot write " + out + ".3dlayout: " + reason + "\n"))
      << r.err;
  EXPECT_EQ(r.out.find("random seed:") == std::string::npos, seen_before_layout);
  if (!earlier.empty()) {
    EXPECT_EQ(read_file(earlier), kEarlier);
  }
  EXPECT_EQ(directory_names(listed), names);
}

TEST(OutputFault, MissingDirectoryTargetDirectoryAndFileSizeLimit) {
  {
    ScratchDir dir;
    expect_write_failure(dir, "absent/sub/out", "No such file or directory", "", dir.path,
                         {"g.graph"}, true);
  }
  {
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.file("out.3dlayout").c_str(), 0755), 0);
    write_file(dir.file("out.3dlayout/keep"), kEarlier);
    expect_write_failure(dir, "out", "Is a directory", dir.file("out.3dlayout/keep"), dir.path,
                         {"g.graph", "out.3dlayout"}, true);
  }
  {
    // Writes beyond 8 KB fail with EFBIG instead of killing the process:
    // the tool itself must ignore SIGXFSZ, the child keeps its default.
    ScratchDir dir;
    write_file(dir.file("out.3dlayout"), kEarlier);
    expect_write_failure(dir, "out", "File too large", dir.file("out.3dlayout"), dir.path,
                         {"g.graph", "out.3dlayout"}, false, [] {
                           ::signal(SIGXFSZ, SIG_DFL);
                           struct rlimit limit {8192, 8192};
                           ::setrlimit(RLIMIT_FSIZE, &limit);
                         });
  }
}

TEST(OutputFault, ReadOnlyDirectoryForAnOrdinaryUser) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("ro").c_str(), 0755), 0);
  write_file(dir.file("ro/out.3dlayout"), kEarlier);
  ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0555), 0);
  // Root ignores permission bits: run as an unprivileged user then.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chmod(dir.path.c_str(), 0777), 0);
  }
  expect_write_failure(dir, "ro/out", "Permission denied", dir.file("ro/out.3dlayout"),
                       dir.file("ro"), {"out.3dlayout"}, true, [root] { if (root) become_nobody(); });
}

TEST(OutputFault, ReadOnlyFullAndFillingFileSystems) {
  ScratchDir dir;
  TmpfsMount ro(dir.file("ro"), "size=256k");
  if (!ro.mounted) GTEST_SKIP() << ro.why_not;
  write_file(ro.path + "/out.3dlayout", kEarlier);
  ASSERT_TRUE(ro.remount_read_only()) << std::strerror(errno);
  expect_write_failure(dir, "ro/out", "Read-only file system", ro.path + "/out.3dlayout", ro.path,
                       {"out.3dlayout"}, true);
  // Full before the run starts.
  TmpfsMount full(dir.file("full"), "size=64k");
  ASSERT_TRUE(full.mounted);
  write_file(full.path + "/out.3dlayout", kEarlier);
  int fd = ::open((full.path + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'x');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  while (::write(fd, "x", 1) > 0) {
  }
  ::close(fd);
  expect_write_failure(dir, "full/out", "No space left on device", full.path + "/out.3dlayout",
                       full.path, {"filler", "out.3dlayout"}, false);
  // Room for the earlier file and part of the new one (about 30 KB).
  TmpfsMount small(dir.file("small"), "size=16k");
  ASSERT_TRUE(small.mounted);
  write_file(small.path + "/out.3dlayout", kEarlier);
  expect_write_failure(dir, "small/out", "No space left on device", small.path + "/out.3dlayout",
                       small.path, {"out.3dlayout"}, false);
  // The same run with room enough succeeds, so the limit was what failed.
  TmpfsMount roomy(dir.file("roomy"), "size=1m");
  ASSERT_TRUE(roomy.mounted);
  RunResult ok = run_tool({"-in", "g.graph", "-out", "roomy/out", "-seed", "1"}, dir.path);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_GT(read_file(roomy.path + "/out.3dlayout").size(), size_t{16384});
}

}  // namespace
