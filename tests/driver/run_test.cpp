// The binary end to end: exit statuses, messages, the report and the files
// it leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "test_support.h"

namespace {

/// Coordinates of every vertex line of a .3dlayout body.
std::vector<std::array<double, 3>> coordinates(const std::string& body) {
  std::istringstream in(body);
  std::string line;
  std::getline(in, line);  // nvtxs nedges
  std::vector<std::array<double, 3>> result;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    std::array<double, 3> p{};
    l >> p[0] >> p[1] >> p[2];
    result.push_back(p);
  }
  return result;
}

}  // namespace

TEST(Run, DefaultNamesAndTheReport) {
  ScratchDir dir;
  write_file(dir.file("graph.graph"), graph_file_text(path_lists(10)));
  RunResult r = run_tool({"-seed", "3", "-bciterations", "7"}, dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(file_exists(dir.file("graphsfrlayout.3dlayout")));
  const std::string file = read_file(dir.file("graphsfrlayout.3dlayout"));
  EXPECT_NE(r.out.find("\ngraphFilename:\t\t graph.graph \n"), std::string::npos);
  EXPECT_NE(r.out.find("bary-centralizing iterations:\t 7 \n"), std::string::npos);
  EXPECT_NE(r.out.find("well separated ratio:\t\t 0.600000 \nfrlayout epsilon:\t\t 0.000010 \n"
                       "random seed:\t\t 3 \n"),
            std::string::npos);
  EXPECT_EQ(file.rfind("% graphFilename:\t\t graph.graph \n", 0), 0u);
  EXPECT_NE(file.find("% refine fr iteration:\t\t 50 \n% bary-centralizing iterations:\t 7 \n"),
            std::string::npos);
  EXPECT_NE(file.find("% random seed:\t\t 3 \n10 9\n"), std::string::npos);
}

TEST(Run, SameSeedSameFileOtherSeedOtherLayout) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(grid_lists(5, 5, 2)));
  ASSERT_EQ(run_tool({"-in", "g.graph", "-out", "a", "-seed", "11"}, dir.path).status, 0);
  ASSERT_EQ(run_tool({"-in", "g.graph", "-out", "b", "-seed", "11"}, dir.path).status, 0);
  ASSERT_EQ(run_tool({"-in", "g.graph", "-out", "c", "-seed", "12"}, dir.path).status, 0);
  const std::string a = layout_body(read_file(dir.file("a.3dlayout")));
  EXPECT_EQ(a, layout_body(read_file(dir.file("b.3dlayout"))));
  EXPECT_NE(a, layout_body(read_file(dir.file("c.3dlayout"))));
}

TEST(Run, SeedFromTheReportReproducesATimeSeededRun) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(cycle_lists(30)));
  RunResult first = run_tool({"-in", "g.graph", "-out", "a"}, dir.path);
  ASSERT_EQ(first.status, 0);
  size_t at = first.out.find("random seed:\t\t ");
  ASSERT_NE(at, std::string::npos);
  std::string seed = first.out.substr(at + std::strlen("random seed:\t\t "));
  seed = seed.substr(0, seed.find(' '));
  ASSERT_EQ(run_tool({"-in", "g.graph", "-out", "b", "-seed", seed}, dir.path).status, 0);
  EXPECT_EQ(layout_body(read_file(dir.file("a.3dlayout"))),
            layout_body(read_file(dir.file("b.3dlayout"))));
}

TEST(Run, FailuresExitWithStatusAndWriteNothing) {
  ScratchDir dir;
  write_file(dir.file("bad.graph"), "3 2\n2 3\n1\n");
  RunResult missing = run_tool({"-in", "absent.graph"}, dir.path);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "cannot open absent.graph. \n");
  EXPECT_FALSE(file_exists(dir.file("absentsfrlayout.3dlayout")));

  RunResult bad = run_tool({"-in", "bad.graph"}, dir.path);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("bad.graph:3:"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.out, "");
  EXPECT_FALSE(file_exists(dir.file("badsfrlayout.3dlayout")));

  RunResult usage = run_tool({"-in", "bad.graph", "-friterations"}, dir.path);
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("-friterations"), std::string::npos);
  EXPECT_EQ(usage.out, "");
}

TEST(Run, HelpPrintsUsageAndReadsNothing) {
  ScratchDir dir;
  RunResult r = run_tool({"-help"}, dir.path);
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"-in", "-out", "-friterations", "-bciterations",
                           "-wellseparatedratio", "-frepsilon", "-seed", "exit status"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  EXPECT_FALSE(file_exists(dir.file("graphsfrlayout.3dlayout")));
}

TEST(Run, UnwritableOutputIsAFailure) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(path_lists(5)));
  RunResult r = run_tool({"-in", "g.graph", "-out", "missing/dir/out"}, dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write missing/dir/out.3dlayout"), std::string::npos) << r.err;
  // The report was printed before the file was attempted.
  EXPECT_NE(r.out.find("random seed:"), std::string::npos);
}

TEST(Run, SelfLoopsAreDroppedWithAWarning) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), "3 2\n1 2\n1 3\n2 3\n");
  RunResult r = run_tool({"-in", "g.graph", "-seed", "1"}, dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("dropped 2 self-loop entries"), std::string::npos) << r.err;
  const std::string body = layout_body(read_file(dir.file("gsfrlayout.3dlayout")));
  EXPECT_EQ(body.substr(0, 4), "3 2\n");
  EXPECT_EQ(coordinates(body).size(), 3u);
}

TEST(Run, LayoutsOfAwkwardGraphsStayFiniteAndInsideTheBox) {
  // One vertex; two joined vertices; isolated vertices beside a path; 60
  // small components (coarsening stalls at 60 single vertices); a star.
  std::vector<std::pair<std::string, std::string>> graphs;
  graphs.push_back({"one", "1 0\n\n"});
  graphs.push_back({"two", "2 1\n2\n1\n"});
  auto with_isolated = path_lists(40);
  for (int i = 0; i < 30; ++i) with_isolated.push_back({});
  graphs.push_back({"isolated", graph_file_text(with_isolated)});
  std::vector<std::vector<int32_t>> components;
  for (int c = 0; c < 60; ++c) {
    int32_t b = 3 * c + 1;
    components.push_back({b + 1, b + 2});
    components.push_back({b, b + 2});
    components.push_back({b, b + 1});
  }
  graphs.push_back({"components", graph_file_text(components)});
  graphs.push_back({"star", graph_file_text(star_lists(300))});
  for (const auto& [name, text] : graphs) {
    ScratchDir dir;
    write_file(dir.file("g.graph"), text);
    RunResult r = run_tool({"-in", "g.graph", "-out", "o", "-seed", "9", "-friterations", "10"},
                           dir.path);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    const std::string out = r.out;
    // The last leaving line carries the final drawing area.
    size_t at = out.rfind("drawing area <");
    ASSERT_NE(at, std::string::npos) << name;
    double box[3];
    ASSERT_EQ(std::sscanf(out.c_str() + at, "drawing area <%lf,%lf,%lf>", &box[0], &box[1],
                          &box[2]), 3);
    for (const auto& p : coordinates(layout_body(read_file(dir.file("o.3dlayout"))))) {
      for (int a = 0; a < 3; ++a) {
        EXPECT_TRUE(std::isfinite(p[a])) << name;
        EXPECT_GE(p[a], 0.0) << name;
        EXPECT_LE(p[a], box[a] + 1e-5) << name;
      }
    }
  }
}
