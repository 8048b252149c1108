// The input formats besides the plain adjacency list: Matrix Market files,
// edge lists, weighted adjacency-list files, gzip-compressed input, the
// choice among them, and whole runs that must not care which one was used.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "graph/graph.h"
#include "graph/line_reader.h"
#include "test_support.h"

namespace {

using Lists = std::vector<std::vector<int32_t>>;

struct Read {
  bool ok = false;
  GraphHandle graph;
  int32_t nvtxs = 0, nedges = 0;
  ReadStatus status;
  Lists lists;  ///< lists[v-1]: the neighbours of v as stored
};

Read read_path(const std::string& path, const std::string& format = "") {
  Read r;
  r.ok = read_graph_file(path, format, r.graph, r.nvtxs, r.nedges, r.status);
  for (int32_t v = 1; r.ok && v <= r.nvtxs; ++v) {
    const AdjacencyList& a = r.graph->adj[v];
    EXPECT_EQ(a.entries[0], v);
    r.lists.emplace_back(a.entries + 1, a.entries + a.count);
  }
  return r;
}

Read read_text(const std::string& name, const std::string& text, const std::string& format = "") {
  ScratchDir dir;
  write_file(dir.file(name), text);
  return read_path(dir.file(name), format);
}

/// The lower triangle as a symmetric pattern matrix, with the diagonal.
std::string mtx_text(const Lists& lists) {
  std::ostringstream entries;
  int64_t count = 0;
  for (size_t v = 1; v <= lists.size(); ++v) {
    entries << v << " " << v << "\n";
    ++count;
    for (int32_t w : lists[v - 1])
      if (static_cast<size_t>(w) < v) entries << v << " " << w << "\n", ++count;
  }
  std::ostringstream s;
  s << "%%MatrixMarket matrix coordinate pattern symmetric\n% converted\n" << lists.size() << " "
    << lists.size() << " " << count << "\n" << entries.str();
  return s.str();
}

/// Every edge at both ends, last vertex first, vertex v named 10v+7.
std::string edge_list_text(const Lists& lists, const char* separator) {
  std::ostringstream s;
  s << "# converted\n";
  for (size_t v = lists.size(); v >= 1; --v)
    for (int32_t w : lists[v - 1]) s << 10 * v + 7 << separator << 10 * w + 7 << "\n";
  return s.str();
}

void put_le(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

/// One gzip member holding `text` in stored (uncompressed) deflate blocks:
/// made by hand, so that the tests need no zlib to make compressed files.
std::string gzip_member(const std::string& text) {
  std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
  size_t pos = 0;
  do {
    const size_t n = std::min<size_t>(text.size() - pos, 65535);
    out += static_cast<char>(pos + n == text.size() ? 1 : 0);  // final block?
    put_le(out, static_cast<uint32_t>(n), 2);
    put_le(out, static_cast<uint32_t>(~n & 0xFFFF), 2);
    out += text.substr(pos, n);
    pos += n;
  } while (pos < text.size());
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : text) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  put_le(out, ~crc, 4);
  put_le(out, static_cast<uint32_t>(text.size()), 4);
  return out;
}

// 1 --- 2
// |   / |
// 3 --- 4     5
const Lists kSquare = {{2, 3}, {1, 3, 4}, {1, 2, 4}, {2, 3}, {}};

struct ErrorCase {
  std::string text;
  const char* message;  ///< the error must contain this
};

void expect_errors(const char* name, const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) {
    Read r = read_text(name, c.text);
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_NE(r.status.error.find(c.message), std::string::npos)
        << "input:\n" << c.text << "\nerror: " << r.status.error;
  }
}

}  // namespace

TEST(ReadMtx, SymmetricAndGeneralMatricesGiveSortedListsOfDistinctEdges) {
  // Both triangles, a repeat, diagonal entries (row 5 has nothing else).
  Read r = read_text("g.mtx",
                     "%%MatrixMarket matrix coordinate pattern symmetric\n% a comment\n%\n"
                     "5 5 8\n4 3\n2 1\n3 1\n3 2\n1 3\n4 2\n5 5\n4 4\n");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nvtxs, 5);
  EXPECT_EQ(r.nedges, 5);
  EXPECT_EQ(r.lists, kSquare);
  EXPECT_TRUE(r.status.original_ids.empty());
  EXPECT_EQ(r.status.self_loops_dropped, 0);  // the diagonal is not reported
  // Banner words in any case, CR LF, tabs, blank lines, real and complex values.
  for (const char* text : {"%%matrixmarket MATRIX Coordinate Real General\r\n5\t5\t5\r\n\r\n"
                           "1 2 -1.5e3\r\n3 1 0\r\n2\t3\t7\r\n4 2 1\r\n  3 4 2.0  \r\n",
                           "%%MatrixMarket matrix coordinate complex hermitian\n"
                           "5 5 5\n2 1 1 1\n3 1 0 2\n3 2 1 0\n4 2 5 5\n4 3 1 1\n"}) {
    Read g = read_text("g.mtx", text);
    ASSERT_TRUE(g.ok) << g.status.error;
    EXPECT_EQ(g.nedges, 5);
    EXPECT_EQ(g.lists, kSquare);
  }
}

TEST(ReadMtx, RefusesWhatIsNoSquareCoordinateMatrix) {
  const std::string b = "%%MatrixMarket matrix coordinate pattern general\n";
  expect_errors(
      "g.mtx",
      {{"", "g.mtx:0: the file is empty"},
       {"3 3 1\n1 2\n", "g.mtx:1: a Matrix Market file begins with the line"},
       {"%%MatrixMarket matrix coordinate\n3 3 1\n1 2\n",
        "g.mtx:1: the banner line must name the object, format, field and symmetry"},
       {"%%MatrixMarket vector coordinate real general\n3 1\n1 2\n",
        "g.mtx:1: the file holds a \"vector\", not a matrix"},
       {"%%MatrixMarket matrix array real general\n2 2\n1\n2\n3\n4\n",
        "g.mtx:1: the matrix is stored in the dense \"array\" format"},
       {"%%MatrixMarket matrix coordinate real upper\n2 2 1\n1 2 1\n",
        "g.mtx:1: unknown symmetry \"upper\""},
       {"%%MatrixMarket matrix coordinate boolean general\n2 2 1\n1 2\n",
        "g.mtx:1: unknown field \"boolean\""},
       {b + "% only comments\n", "g.mtx:2: the file ends before the size line"},
       {b + "3 3\n1 2\n", "g.mtx:2: the size line must hold three non-negative integers"},
       {b + "3 4 1\n1 2\n", "g.mtx:2: the matrix has 3 rows and 4 columns; only a square matrix"},
       {b + "0 0 0\n", "g.mtx:2: the matrix has no rows"},
       {b + "3 3 1\n4 1\n", "g.mtx:3: the entry (4, 1) lies outside the 3 x 3 matrix"},
       {b + "3 3 1\n1 0\n", "g.mtx:3: the entry (1, 0) lies outside the 3 x 3 matrix"},
       {b + "3 3 1\n99999999999999999999999 1\n",
        "g.mtx:3: the entry (99999999999999999999999, 1) lies outside"},
       {b + "3 3 1\n1 x\n", "g.mtx:3: an entry must begin with its row and column"},
       {b + "3 3 1\n-1 2\n", "g.mtx:3: an entry must begin with its row and column"},
       {b + "3 3 3\n1 2\n2 3\n",
        "g.mtx:4: the file ends after 2 of the 3 entries its size line announces"},
       {b + "3 3 1\n1 2\n2 3\n", "g.mtx:4: more entries than the 1 its size line announces"}});
}

TEST(ReadEdgeList, NumbersVerticesByIncreasingIdAndKeepsTheIds) {
  //  id 5 --- id 70          vertex 1 = id 5, 2 = id 42,
  //    | \                          3 = id 70, 4 = id 10^12
  //  id 42  id 10^12         and a loop at 42, repeats, reversals
  Read r = read_text("g.edges",
                     "# SNAP style comment\n% KONECT style comment\n\n70 5\n5\t1000000000000\n"
                     "5,42,0.5\n42 42\n5 70 1 1234567890\n  70 ,\t5\r\n1000000000000 5");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nvtxs, 4);
  EXPECT_EQ(r.nedges, 3);
  EXPECT_EQ(r.lists, (Lists{{2, 3, 4}, {1}, {1}, {1}}));
  EXPECT_EQ(r.status.original_ids, (std::vector<int64_t>{0, 5, 42, 70, 1000000000000}));
  EXPECT_EQ(r.status.self_loops_dropped, 1);
  // Id 0 is a vertex like any other; 9 only has a loop and stays, alone.
  Read z = read_text("g.txt", "0 1\n1 2\n2 0\n9 9\n");
  ASSERT_TRUE(z.ok) << z.status.error;
  EXPECT_EQ(z.lists, (Lists{{2, 3}, {1, 3}, {1, 2}, {}}));
  EXPECT_EQ(z.status.original_ids, (std::vector<int64_t>{0, 0, 1, 2, 9}));
}

TEST(ReadEdgeList, RefusesLinesThatAreNoEdges) {
  const char* two_ids = "g.csv:1: an edge line must begin with two vertex ids";
  expect_errors(
      "g.csv",
      {{"1 2\n3\n", "g.csv:2: the line holds one vertex id (it reads \"3\"); an edge needs two"},
       {"1 2\n3,\r\n", "g.csv:2: the line holds one vertex id"},
       {"source,target\n1,2\n", two_ids},
       {"-1 2\n", two_ids},
       {"1 2.5\n", two_ids},
       {"1;2\n", two_ids},
       {"1 99999999999999999999\n",
        "g.csv:1: the vertex id \"99999999999999999999\" is larger than 9223372036854775807"},
       {"# nothing here\n\n", "g.csv: the file holds no edge lines"}});
}

TEST(ReadWeightedMetis, EveryFormatCodeGivesTheGraphWithoutItsWeights) {
  const Lists lists = grid_lists(3, 2, 2);
  struct Code {
    const char* fields;
    bool sizes;
    int weights;
    bool edge_weights;
  };
  const Code codes[] = {{"1", false, 0, true},     {"10", false, 1, false},
                        {"11", false, 1, true},    {"100", true, 0, false},
                        {"101", true, 0, true},    {"110", true, 1, false},
                        {"111", true, 1, true},    {"011", false, 1, true},
                        {"10 3", false, 3, false}, {"111 2", true, 2, true}};
  for (const Code& c : codes) {
    std::ostringstream s;
    s << lists.size() << " " << graph_nedges(lists) << " " << c.fields << "\n";
    for (size_t v = 1; v <= lists.size(); ++v) {
      if (c.sizes) s << 100 + v << " ";
      for (int k = 0; k < c.weights; ++k) s << v + k << " ";
      for (int32_t w : lists[v - 1]) {
        s << w << " ";
        if (c.edge_weights) s << v * w << " ";
      }
      s << "\n";
    }
    Read r = read_text("g.graph", s.str());
    ASSERT_TRUE(r.ok) << c.fields << ": " << r.status.error;
    EXPECT_EQ(r.lists, lists) << c.fields;
  }
  // A self-loop goes with its edge weight.
  Read loop = read_text("g.graph", "2 1 11\n5 1 9 2 4\n6 1 4\n");
  ASSERT_TRUE(loop.ok) << loop.status.error;
  EXPECT_EQ(loop.lists, (Lists{{2}, {1}}));
  EXPECT_EQ(loop.status.self_loops_dropped, 1);
  // Code 0 or a word reads the plain lists: a "1" taken for a weight would
  // leave them asymmetric.
  for (const char* header : {"3 2 0", "3 2 000", "3 2 0 4", "3 2 fmt"}) {
    Read r = read_text("g.graph", std::string(header) + "\n2\n1 3\n2\n");
    ASSERT_TRUE(r.ok) << header << ": " << r.status.error;
    EXPECT_EQ(r.lists, path_lists(3)) << header;
  }
}

TEST(ReadWeightedMetis, RefusesLinesThatDoNotMatchTheFormatCode) {
  expect_errors(
      "g.graph",
      {{"2 1 2\n2\n1\n", "g.graph:1: the header's third field \"2\" is not a format code"},
       {"2 1 1011\n2\n1\n", "g.graph:1: the header's third field \"1011\" is not a format"},
       {"2 1 10 0\n1 2\n1 1\n",
        "g.graph:1: the header's fourth field \"0\" must be the number of vertex weights"},
       {"2 1 1 2\n2 1\n1 1\n", "g.graph:1: the header's fourth field \"2\" gives vertex "
                               "weights, but the format code \"1\" marks none"},
       {"2 1 1\n2\n1 1\n",
        "g.graph:2: the line of vertex 1 ends after the neighbour 2 without its edge weight"},
       {"2 1 110\n1\n5 1\n", "g.graph:2: the line of vertex 1 ends before its 2 leading numbers"},
       {"2 1 1\n2 x\n1 1\n", "g.graph:2: the token \"x\" in the line of vertex 1 is not a number"}});
}

TEST(ReadGzip, EveryFormatReadsAsItsPlainText) {
  const std::pair<std::string, std::string> files[] = {
      {"g.graph.gz", graph_file_text(kSquare)},
      {"g.mtx.gz", mtx_text(kSquare)},
      {"g.edges.gz", edge_list_text(kSquare, "\t")}};
  for (const auto& [name, text] : files) {
    // Two members, as files joined with cat; the cut falls inside a line.
    const size_t cut = text.size() / 2;
    Read r = read_text(name, gzip_member(text.substr(0, cut)) + gzip_member(text.substr(cut)));
    if (!kGzipAvailable) {
      EXPECT_NE(r.status.error.find(":1: the file is gzip-compressed, and this build of "
                                    "frlayout3d reads no compressed input"),
                std::string::npos)
          << r.status.error;
      continue;
    }
    ASSERT_TRUE(r.ok) << name << ": " << r.status.error;
    // An edge list has no line for the isolated vertex 5.
    EXPECT_EQ(r.lists, name == "g.edges.gz" ? Lists(kSquare.begin(), kSquare.end() - 1) : kSquare);
  }
}

TEST(ReadGzip, TextLongerThanTheReadBufferAndDamagedData) {
  if (!kGzipAvailable) GTEST_SKIP() << "built without zlib";
  // A path of 200000 vertices: about 2.6 MB of text, several buffer fills.
  const int32_t n = 200000;
  std::string text;
  for (int32_t v = 1; v < n; ++v) text += std::to_string(v) + " " + std::to_string(v + 1) + "\n";
  const std::string gz = gzip_member(text);
  Read r = read_text("long.el.gz", gz);
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.nvtxs, n);
  EXPECT_EQ(r.nedges, n - 1);
  EXPECT_EQ(r.lists[n / 2 - 1], (std::vector<int32_t>{n / 2 - 1, n / 2 + 1}));
  EXPECT_EQ(r.lists[n - 1], (std::vector<int32_t>{n - 1}));
  std::string bad = gzip_member("1 2\n2 3\n");
  bad[bad.size() - 9] ^= 0x20;  // a byte of the CRC
  expect_errors("g.el.gz", {{gz.substr(0, gz.size() / 2), "the gzip data ends early"},
                            {bad, "g.el.gz:1: the gzip data is corrupt"}});
}

TEST(InputFormat, ChosenByTheEndingOrByName) {
  const std::pair<const char*, InputFormat> endings[] = {
      {"a.graph", InputFormat::kMetis},   {"a.metis", InputFormat::kMetis},
      {"a.graph.gz", InputFormat::kMetis}, {"graph", InputFormat::kMetis},
      {"a.dat", InputFormat::kMetis},     {"mtx", InputFormat::kMetis},
      {"a.mtx", InputFormat::kMtx},       {"dir.x/A.MTX.GZ", InputFormat::kMtx},
      {"a.edges", InputFormat::kEdges},   {"a.el", InputFormat::kEdges},
      {"a.txt", InputFormat::kEdges},     {"a.tsv", InputFormat::kEdges},
      {"a.csv.gz", InputFormat::kEdges},  {"a.gz", InputFormat::kMetis},
      {"a.mtx.bak", InputFormat::kMetis}};
  for (const auto& [name, format] : endings) EXPECT_EQ(input_format_of_path(name), format) << name;
  const std::pair<const char*, InputFormat> names[] = {
      {"mtx", InputFormat::kMtx}, {"edges", InputFormat::kEdges}, {"metis", InputFormat::kMetis}};
  for (const auto& [name, format] : names) {
    InputFormat f = InputFormat::kMetis;
    EXPECT_TRUE(input_format_by_name(name, f)) << name;
    EXPECT_EQ(f, format) << name;
  }
  InputFormat f = InputFormat::kMetis;
  for (const char* bad : {"", "MTX", "graph", "edge", "mtx.gz"})
    EXPECT_FALSE(input_format_by_name(bad, f)) << bad;
  // The named format wins over the ending.
  Read r = read_text("g.graph", "1 2\n2 3\n", "edges");
  ASSERT_TRUE(r.ok) << r.status.error;
  EXPECT_EQ(r.lists, path_lists(3));
  EXPECT_TRUE(read_path("/nonexistent/g.mtx").status.cannot_open);
}

TEST(FormatsRun, SameGraphInEveryFormatGivesTheSameLayoutBody) {
  // The sample's lists are not sorted; every other format gives them sorted.
  Read original = read_path(test_data("data/delaunay_n10.graph"));
  ASSERT_TRUE(original.ok) << original.status.error;
  Lists lists = original.lists;
  for (auto& l : lists) std::sort(l.begin(), l.end());
  std::ostringstream weighted;
  weighted << lists.size() << " " << original.nedges << " 11\n";
  for (size_t v = 1; v <= lists.size(); ++v) {
    weighted << v % 7 + 1;
    for (int32_t w : lists[v - 1]) weighted << " " << w << " " << (v + w) % 5 + 1;
    weighted << "\n";
  }
  ScratchDir dir;
  write_file(dir.file("sorted.graph"), graph_file_text(lists));
  write_file(dir.file("weighted.graph"), weighted.str());
  write_file(dir.file("d.mtx"), mtx_text(lists));
  write_file(dir.file("d.mtx.gz"), gzip_member(mtx_text(lists)));
  write_file(dir.file("d.csv"), edge_list_text(original.lists, ","));
  write_file(dir.file("d.dat"), edge_list_text(lists, " "));
  auto body_of = [&](std::vector<std::string> args, const std::string& out) {
    args.insert(args.end(), {"-out", out, "-seed", "5", "-friterations", "10"});
    RunResult run = run_tool(args, dir.path);
    EXPECT_EQ(run.status, 0) << run.err;
    return layout_body(read_file(dir.file(out + ".3dlayout")));
  };
  const std::string expected = body_of({"-in", "sorted.graph"}, "sorted");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(body_of({"-in", "weighted.graph"}, "weighted"), expected);
  EXPECT_EQ(body_of({"-in", "d.mtx"}, "mtx"), expected);
  if (kGzipAvailable) {
    EXPECT_EQ(body_of({"-in", "d.mtx.gz"}, "mtxgz"), expected);
  }
  EXPECT_EQ(body_of({"-in", "d.csv"}, "csv"), expected);
  EXPECT_EQ(body_of({"-in", "d.dat", "-format", "edges"}, "dat"), expected);
  // Only edge lists have ids to give back: vertex v was named 10v+7.
  std::string ids;
  for (size_t v = 1; v <= lists.size(); ++v) ids += std::to_string(10 * v + 7) + "\n";
  EXPECT_EQ(read_file(dir.file("csv.ids")), ids);
  EXPECT_EQ(read_file(dir.file("dat.ids")), ids);
  EXPECT_FALSE(file_exists(dir.file("sorted.ids")));
  EXPECT_FALSE(file_exists(dir.file("mtx.ids")));
  // An unknown format name is a usage error, and nothing is written.
  RunResult bad = run_tool({"-in", "sorted.graph", "-format", "snap", "-out", "snap"}, dir.path);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("-format snap: the input format must be metis, mtx or edges"),
            std::string::npos)
      << bad.err;
  EXPECT_FALSE(file_exists(dir.file("snap.3dlayout")));
}
