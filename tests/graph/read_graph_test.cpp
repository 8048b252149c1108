// The adjacency-list reader: token rules, comment and header handling, and
// the refusal of malformed files with the file and line named.
#include <gtest/gtest.h>

#include "graph/graph.h"
#include "test_support.h"

namespace {

struct Read {
  bool ok = false;
  GraphHandle graph;
  int32_t nvtxs = 0, nedges = 0;
  ReadStatus status;
};

Read read_text(const std::string& text) {
  ScratchDir dir;
  const std::string path = dir.file("g.graph");
  write_file(path, text);
  Read r;
  r.ok = read_graph(path, r.graph, r.nvtxs, r.nedges, r.status);
  return r;
}

std::vector<int32_t> neighbours(const Read& r, int32_t v) {
  const AdjacencyList& a = r.graph->adj[v];
  return std::vector<int32_t>(a.entries + 1, a.entries + a.count);
}

}  // namespace

TEST(ReadGraph, TokenRules) {
  // Vertex 1 reads "1, 2,3" style tokens: "2,3" is one token giving 2.
  Read r = read_text("3 3\n2,3 3/1\n1 \\3\n/1,, 2\\9\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(neighbours(r, 1), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(neighbours(r, 2), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(neighbours(r, 3), (std::vector<int32_t>{1, 2}));
}

TEST(ReadGraph, SeparatorsOnlyLineIsAnIsolatedVertex) {
  Read r = read_text("3 1\n2\n1\n ,\t, \n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.graph->adj[3].count, 1);
  EXPECT_EQ(r.graph->adj[3].entries[0], 3);
}

TEST(ReadGraph, CrLfCommentsThirdFieldAndMissingFinalLineEnd) {
  Read a = read_text("% comment\r\n%another\r\n4 3 0\r\n2\r\n1 3\r\n2 4\r\n3");
  Read b = read_text("4 3\n2\n1 3\n2 4\n3\n");
  ASSERT_TRUE(a.ok) << a.status.error;
  ASSERT_TRUE(b.ok) << b.status.error;
  EXPECT_EQ(a.nvtxs, 4);
  EXPECT_EQ(a.nedges, 3);
  EXPECT_EQ(a.graph->block, b.graph->block);
}

TEST(ReadGraph, EntryListsLieBackToBackWithTheVertexFirst) {
  Read r = read_text("3 2\n2 3\n1\n1\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.graph->block, (std::vector<int32_t>{1, 2, 3, 2, 1, 3, 1}));
  EXPECT_EQ(r.graph->adj[2].entries, r.graph->adj[1].entries + 3);
  EXPECT_EQ(r.graph->adj[3].entries, r.graph->adj[2].entries + 2);
}

TEST(ReadGraph, KeepsHeaderEdgeCountAndRepeatedNeighbours) {
  // The header claims 5 edges; 2 are listed, one of them twice at vertex 1.
  Read r = read_text("3 5\n2 2 3\n1\n1\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nedges, 5);
  EXPECT_EQ(neighbours(r, 1), (std::vector<int32_t>{2, 2, 3}));
}

TEST(ReadGraph, LongLinesAreReadWhole) {
  // A star whose centre lists 400 neighbours on one line of about 2,000
  // characters.
  std::string text = "401 400\n";
  for (int v = 2; v <= 401; ++v) text += std::to_string(v) + " ";
  text += "\n";
  for (int v = 2; v <= 401; ++v) text += "1\n";
  Read r = read_text(text);
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.graph->adj[1].count, 401);
  EXPECT_EQ(r.graph->adj[1].entries[400], 401);
}

TEST(ReadGraph, RealGraphWithLinesBeyondFiveHundredCharacters) {
  Read r;
  r.ok = read_graph(test_data("data/PGPgiantcompo.graph"), r.graph, r.nvtxs, r.nedges, r.status);
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nvtxs, 10680);
  size_t entries = 0;
  int32_t max_degree = 0;
  for (int32_t v = 1; v <= r.nvtxs; ++v) {
    entries += r.graph->adj[v].count - 1;
    max_degree = std::max(max_degree, r.graph->adj[v].count - 1);
  }
  EXPECT_EQ(entries, 2u * 24316u);
  EXPECT_EQ(max_degree, 205);
}

TEST(ReadGraph, SelfLoopsAreDroppedAndCounted) {
  Read r = read_text("2 1\n1 2 1\n1\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.status.self_loops_dropped, 2);
  EXPECT_EQ(neighbours(r, 1), (std::vector<int32_t>{2}));
}

TEST(ReadGraph, ByteOrderMarkIsSkipped) {
  Read r = read_text("\xEF\xBB\xBF" "2 1\n2\n1\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nvtxs, 2);
}

TEST(ReadGraph, MalformedFilesNameTheLineAndTheFault) {
  struct Case {
    const char* text;
    const char* where;  // ":line:" the message must carry
    const char* what;   // words it must contain
  };
  const Case cases[] = {
      {"", ":0:", "ends before the header"},
      {"% only\n% comments\n", ":2:", "ends before the header"},
      {"x 1\n", ":1:", "two integers"},
      {"5\n", ":1:", "two integers"},
      {"2147483648 1\n", ":1:", "32 bits"},
      {"0 0\n", ":1:", "at least one vertex"},
      {"-1 0\n", ":1:", "at least one vertex"},
      {"2 -1\n\n\n", ":1:", "cannot be negative"},
      {"3 2\n2\n1 3\n", ":3:", "ends before the line of vertex 3"},
      {"2 1\n2 x\n1\n", ":2:", "does not begin with a vertex number"},
      {"2 1\n2 //\n1\n", ":2:", "does not begin with a vertex number"},
      {"2 1\n0\n1\n", ":2:", "outside 1..2"},
      {"2 1\n3\n1\n", ":2:", "outside 1..2"},
      {"2 1\n1234567890123456789012345678901234567890\n1\n", ":2:", "outside 1..2"},
      {"3 1\n2 3\n1\n1\n", ":3:", "more neighbour entries"},
      {"3 2\n2 3\n1\n\n", ":2:", "does not list 1"},
      {"% c\n2 1\n2\n%1\n", ":4:", "does not begin with a vertex number"},
  };
  for (const Case& c : cases) {
    Read r = read_text(c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_NE(r.status.error.find(c.where), std::string::npos) << c.text << " -> " << r.status.error;
    EXPECT_NE(r.status.error.find(c.what), std::string::npos) << c.text << " -> " << r.status.error;
    EXPECT_FALSE(r.status.cannot_open);
    EXPECT_EQ(r.graph, nullptr);
  }
}

TEST(ReadGraph, MissingFileAndDirectoryCannotBeOpened) {
  ScratchDir dir;
  Read r;
  EXPECT_FALSE(read_graph(dir.file("absent.graph"), r.graph, r.nvtxs, r.nedges, r.status));
  EXPECT_TRUE(r.status.cannot_open);
  EXPECT_FALSE(read_graph(dir.path, r.graph, r.nvtxs, r.nedges, r.status));
  EXPECT_TRUE(r.status.cannot_open);
  EXPECT_NE(r.status.error.find("directory"), std::string::npos);
}

TEST(FreeGraph, EmptiesTheHandle) {
  GraphHandle g = make_graph(path_lists(3));
  free_graph(g);
  EXPECT_EQ(g, nullptr);
  free_graph(g);  // an empty handle stays empty
  EXPECT_EQ(g, nullptr);
}
