// The adjacency-list reader: token rules, the entry block, the header's
// edge count, and the refusal of malformed files with the line named.
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

}  // namespace

TEST(ReadGraph, TokenRules) {
  // Vertex 1 reads "1, 2,3" style tokens: "2,3" is one token giving 2.
  Read r = read_text("3 3\n2,3 3/1\n1 \\3\n/1,, 2\\9\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(neighbours_of(*r.graph, 1), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(neighbours_of(*r.graph, 2), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(neighbours_of(*r.graph, 3), (std::vector<int32_t>{1, 2}));
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
  EXPECT_EQ(neighbours_of(*r.graph, 1), (std::vector<int32_t>{2, 2, 3}));
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

TEST(ReadGraph, MalformedFilesNameTheLineAndTheFault) {
  // The corpus in tests/inputs runs most malformed files through the binary;
  // these add token shapes it lacks and the reader's own contract: no graph
  // and no "cannot open" on a refusal.
  struct Case {
    const char* text;
    const char* where;  // ":line:" the message must carry
    const char* what;   // words it must contain
  };
  const Case cases[] = {
      {"3 2\n2\n1 3\n", ":3:", "ends before the line of vertex 3"},
      {"2 1\n2 //\n1\n", ":2:", "does not begin with a vertex number"},
      {"% c\n2 1\n2\n%1\n", ":4:", "does not begin with a vertex number"},
      {"3 2\n2 3\n1\n\n", ":2:", "does not list 1"},
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
