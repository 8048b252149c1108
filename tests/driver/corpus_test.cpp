// The hostile-input corpus: every graph file of tests/inputs is run through
// the tool and must give exactly the outcome its MANIFEST line names (exit
// status, the start of the message, whether an output exists, what was
// read). Inputs that cannot live in the repository (a directory, a missing
// or unreadable file) are made here.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "driver/child_process.h"
#include "test_support.h"

namespace {

struct CorpusCase {
  std::string file;
  int status = 0;
  bool output = false;
  std::string message;     ///< what standard error begins with; empty: nothing
  std::string neighbours;  ///< neighbour lists joined by "|" ("." for none)
};

/// How a case is named in test listings.
void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file; }

std::vector<CorpusCase> load_manifest() {
  std::vector<CorpusCase> cases;
  std::ifstream in(test_data("inputs/MANIFEST"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() != 5) {
      // A malformed line becomes a case that fails with the line in view.
      cases.push_back({"MANIFEST line: " + line, -1, false, "", ""});
      continue;
    }
    CorpusCase c;
    c.file = f[0];
    c.status = std::atoi(f[1].c_str());
    c.output = f[2] == "yes";
    c.message = f[3] == "-" ? "" : f[3];
    c.neighbours = f[4] == "-" ? "" : f[4];
    cases.push_back(c);
  }
  return cases;
}

std::string case_name(const testing::TestParamInfo<CorpusCase>& info) {
  std::string name;
  for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class CorpusFile : public testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusFile, GivesItsListedOutcome) {
  const CorpusCase& c = GetParam();
  ASSERT_GE(c.status, 0) << c.file;
  const std::string input = read_file(test_data("inputs/" + c.file));
  ASSERT_TRUE(file_exists(test_data("inputs/" + c.file))) << c.file;
  ScratchDir dir;
  write_file(dir.file(c.file), input);
  ASSERT_EQ(::chmod(dir.file(c.file).c_str(), 0444), 0);
  struct stat before {}, after {};
  ASSERT_EQ(::stat(dir.file(c.file).c_str(), &before), 0);
  RunResult r = run_tool({"-in", c.file, "-out", "out", "-seed", "1"}, dir.path);

  EXPECT_EQ(r.status, c.status) << r.err;
  if (c.message.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_TRUE(starts_with(r.err, c.message)) << "standard error: " << r.err;
    // One line per message: no stray second line or partial output.
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  // The input is only read: content, time stamp and mode stay.
  EXPECT_EQ(read_file(dir.file(c.file)), input);
  ASSERT_EQ(::stat(dir.file(c.file).c_str(), &after), 0);
  EXPECT_TRUE(after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
              after.st_mtim.tv_nsec == before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mode, before.st_mode);

  if (!c.output) {
    // A refused input stops before the layout: no report, no file, no
    // temporary file.
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(directory_names(dir.path), std::set<std::string>{c.file});
    return;
  }
  ASSERT_TRUE(file_exists(dir.file("out.3dlayout")));
  EXPECT_EQ(directory_names(dir.path), (std::set<std::string>{c.file, "out.3dlayout"}));
  int64_t nvtxs = 0, nedges = 0;
  std::vector<LayoutLine> lines;
  ASSERT_TRUE(parse_layout_body(layout_body(read_file(dir.file("out.3dlayout"))), nvtxs,
                                nedges, lines));
  std::string read;
  for (size_t v = 0; v < lines.size(); ++v)
    read += (v ? "|" : "") + (lines[v].neighbours.empty() ? "." : lines[v].neighbours);
  EXPECT_EQ(read, c.neighbours);
  double box[4];
  ASSERT_TRUE(final_drawing_area(r.out, box)) << r.out;
  EXPECT_EQ(check_layout_in_box(lines, box), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, CorpusFile, testing::ValuesIn(load_manifest()), case_name);

TEST(CorpusManifest, ListsEveryFileOnce) {
  std::set<std::string> listed;
  for (const CorpusCase& c : load_manifest()) {
    EXPECT_TRUE(listed.insert(c.file).second) << c.file << " is listed twice";
  }
  std::set<std::string> present = directory_names(test_data("inputs"));
  present.erase("MANIFEST");
  EXPECT_EQ(present, listed);
}

/// Runs the tool on an input name that cannot be opened and checks both
/// messages: "cannot open NAME. " first on standard output, the reason on
/// standard error, status 1 and nothing written.
void expect_cannot_open(const RunResult& r, const std::string& name, const std::string& reason,
                        const ScratchDir& dir, const std::set<std::string>& before) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "cannot open " + name + ". \n");
  EXPECT_EQ(r.err, "frlayout3d: cannot open " + name + ": " + reason + "\n");
  EXPECT_EQ(directory_names(dir.path), before);
}

TEST(CorpusUnopenable, MissingFile) {
  ScratchDir dir;
  RunResult r = run_tool({"-in", "absent.graph", "-out", "out"}, dir.path);
  expect_cannot_open(r, "absent.graph", "No such file or directory", dir, {});
}

TEST(CorpusUnopenable, Directory) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("dir.graph").c_str(), 0755), 0);
  RunResult r = run_tool({"-in", "dir.graph", "-out", "out"}, dir.path);
  expect_cannot_open(r, "dir.graph", "it is a directory", dir, {"dir.graph"});
}

TEST(CorpusUnopenable, UnreadableFile) {
  ScratchDir dir;
  write_file(dir.file("secret.graph"), graph_file_text(path_lists(3)));
  ASSERT_EQ(::chmod(dir.file("secret.graph").c_str(), 0), 0);
  // Root reads anything: run the tool as an unprivileged user then.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chmod(dir.path.c_str(), 0777), 0);
  }
  RunResult r = run_tool_with({"-in", "secret.graph", "-out", "out"}, dir.path,
                              [root] { if (root) become_nobody(); });
  if (r.status == 127 && r.err.empty()) {
    GTEST_SKIP() << "the binary cannot be run as nobody";
  }
  expect_cannot_open(r, "secret.graph", "Permission denied", dir, {"secret.graph"});
}

}  // namespace
