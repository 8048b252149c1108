// The binary end to end: default names, the report, a time-seeded run that
// its reported seed reproduces, and the help text.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

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

TEST(Run, HelpPrintsUsageAndReadsNothing) {
  ScratchDir dir;
  RunResult r = run_tool({"-help"}, dir.path);
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"-in", "-out", "-friterations", "-bciterations",
                           "-wellseparatedratio", "-frepsilon", "-seed", "exit status"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  EXPECT_FALSE(file_exists(dir.file("graphsfrlayout.3dlayout")));
}
