// The exchange-format exports: the choice of format by file ending, the
// distinct edge list, GraphML read back by Python's xml.etree (an
// independent reader) and VTK polydata parsed back here, both compared with
// the positions and edges they were written from; and "-export" end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <unistd.h>

#include "graph/graph.h"
#include "test_support.h"

namespace {

//   1 --- 2
//   | \   |      vertex 1 lists 2 twice; 5 stands alone
//   4     3   5
std::vector<std::vector<int32_t>> sample_lists() { return {{2, 3, 4, 2}, {1, 3, 1}, {2, 1}, {1}, {}}; }

/// Coordinates that only an exact writer gets back: thirds, huge, tiny,
/// negative and zero values.
Posn sample_posn(int32_t nvtxs) {
  Posn posn;
  allocate_posn(posn, nvtxs);
  for (int32_t v = 1; v <= nvtxs; ++v) {
    posn[1][v] = v / 3.0;
    posn[2][v] = -1e17 * v + 0.5;
    posn[3][v] = v == 5 ? 0.0 : 1e-9 / v;
  }
  return posn;
}

std::string write_to_file(const std::string& path, ExportFormat format, const Graph& graph,
                          int32_t nvtxs, const Posn& posn,
                          const std::vector<int64_t>& ids = {}) {
  OutFile out;
  out.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  write_export(out, format, "dir/sample.graph", graph, nvtxs, posn, ids);
  EXPECT_TRUE(out_flush(out));
  ::close(out.fd);
  return read_file(path);
}

const std::set<std::pair<int32_t, int32_t>> kSampleEdges = {{1, 2}, {1, 3}, {1, 4}, {2, 3}};

TEST(ExportFormat, IsToldByTheEnding) {
  struct Case {
    const char* path;
    ExportFormat format;
  };
  const Case cases[] = {
      {"out.graphml", ExportFormat::kGraphml}, {"dir.x/OUT.GraphML", ExportFormat::kGraphml},
      {"a.vtk", ExportFormat::kVtk},           {"a.VTK", ExportFormat::kVtk},
      {".vtk", ExportFormat::kVtk},            {"a.vtk.bak", ExportFormat::kUnknown},
      {"graphml", ExportFormat::kUnknown},     {"a.xml", ExportFormat::kUnknown},
      {"a.vt", ExportFormat::kUnknown},        {"", ExportFormat::kUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(export_format_of(c.path), c.format) << c.path;
}

TEST(DistinctEdges, EachEdgeOnceInVertexOrder) {
  auto lists = sample_lists();
  GraphHandle g = make_graph(lists);
  EXPECT_EQ(distinct_edges(*g, 5), (std::vector<int32_t>{1, 2, 1, 3, 1, 4, 2, 3}));
  // The same pair listed twice on both sides still counts once.
  GraphHandle twice = make_graph({{2, 2}, {1, 1}});
  EXPECT_EQ(distinct_edges(*twice, 2), (std::vector<int32_t>{1, 2}));
  GraphHandle none = make_graph({{}, {}});
  EXPECT_TRUE(distinct_edges(*none, 2).empty());
}

bool have_python3() { return std::system("python3 -c 'import xml.etree.ElementTree' >/dev/null 2>&1") == 0; }

// Nodes are named "n1".."n5", or by the input's ids where it has them (an
// edge list's).
TEST(GraphmlExport, ReadsBackWithAnIndependentXmlReader) {
  if (!have_python3()) GTEST_SKIP() << "python3 is not installed: GraphML not read back";
  ScratchDir dir;
  auto lists = sample_lists();
  GraphHandle g = make_graph(lists);
  Posn posn = sample_posn(5);
  // The reader resolves the keys by their attr.name, as graph tools do, and
  // prints every double with repr, which reads back exactly.
  write_file(dir.file("read.py"), R"(import sys, xml.etree.ElementTree as ET
ns = {'g': 'http://graphml.graphdrawing.org/xmlns'}
root = ET.parse(sys.argv[1]).getroot()
keys = {k.get('id'): (k.get('attr.name'), k.get('attr.type'), k.get('for'))
        for k in root.findall('g:key', ns)}
graph = root.find('g:graph', ns)
print('edgedefault', graph.get('edgedefault'))
for node in graph.findall('g:node', ns):
    d = {keys[x.get('key')][0]: float(x.text) for x in node.findall('g:data', ns)
         if keys[x.get('key')][1] == 'double' and keys[x.get('key')][2] == 'node'}
    print('node', node.get('id'), repr(d['x']), repr(d['y']), repr(d['z']))
for e in graph.findall('g:edge', ns):
    print('edge', e.get('source'), e.get('target'))
)");
  const std::vector<int64_t> ids = {0, 40, 7, 1000000000000, 3, 0};
  for (bool with_ids : {false, true}) {
    SCOPED_TRACE(with_ids ? "named by ids" : "numbered");
    const auto name = [&](int32_t v) {
      return with_ids ? std::to_string(ids[v]) : "n" + std::to_string(v);
    };
    write_to_file(dir.file("s.graphml"), ExportFormat::kGraphml, *g, 5, posn,
                  with_ids ? ids : std::vector<int64_t>{});
    ASSERT_EQ(std::system(("python3 " + dir.file("read.py") + " " + dir.file("s.graphml") +
                           " > " + dir.file("read.txt"))
                              .c_str()),
              0);
    std::istringstream in(read_file(dir.file("read.txt")));
    std::string word, value;
    in >> word >> value;
    EXPECT_EQ(word, "edgedefault");
    EXPECT_EQ(value, "undirected");
    int32_t v = 0;
    std::set<std::pair<int32_t, int32_t>> edges;
    while (in >> word) {
      if (word == "node") {
        std::string id, x, y, z;
        in >> id >> x >> y >> z;
        ++v;
        EXPECT_EQ(id, name(v));
        EXPECT_EQ(std::strtod(x.c_str(), nullptr), posn[1][v]) << id;
        EXPECT_EQ(std::strtod(y.c_str(), nullptr), posn[2][v]) << id;
        EXPECT_EQ(std::strtod(z.c_str(), nullptr), posn[3][v]) << id;
      } else {
        std::string source, target;
        in >> source >> target;
        int32_t from = 0, to = 0;
        for (int32_t w = 1; w <= 5; ++w) {
          if (name(w) == source) from = w;
          if (name(w) == target) to = w;
        }
        EXPECT_TRUE(edges.insert({from, to}).second)
            << "edge written twice: " << source << " " << target;
      }
    }
    EXPECT_EQ(v, 5);
    EXPECT_EQ(edges, kSampleEdges);
  }
}

/// The parts of a VTK legacy polydata file, read in the order it is written.
struct VtkData {
  std::string header;          ///< the first four lines
  std::vector<double> points;  ///< x, y, z per point, read exactly with strtod
  std::vector<std::vector<int64_t>> vertices, lines;
  std::vector<int64_t> degree;
};

/// `count` cells "k i1 .. ik" after "NAME count size"; size counts the integers.
std::vector<std::vector<int64_t>> read_cells(std::istream& in, const char* name) {
  std::string word;
  int64_t count = 0, size = 0, read = 0;
  in >> word >> count >> size;
  EXPECT_EQ(word, name);
  std::vector<std::vector<int64_t>> cells(static_cast<size_t>(count));
  for (auto& cell : cells) {
    int64_t k = 0;
    in >> k;
    cell.resize(static_cast<size_t>(k));
    for (int64_t& i : cell) in >> i;
    read += 1 + k;
  }
  EXPECT_EQ(read, size) << name;
  return cells;
}

VtkData parse_vtk(const std::string& text) {
  VtkData d;
  std::istringstream in(text);
  for (int i = 0; i < 4; ++i) {
    std::string line;
    std::getline(in, line);
    d.header += line + "\n";
  }
  std::string word, type;
  int64_t n = 0;
  in >> word >> n >> type;
  EXPECT_EQ(word + " " + type, "POINTS double");
  d.points.resize(static_cast<size_t>(3 * n));
  for (double& x : d.points) {
    in >> word;
    x = std::strtod(word.c_str(), nullptr);
  }
  d.vertices = read_cells(in, "VERTICES");
  d.lines = read_cells(in, "LINES");
  std::string head[8], joined;
  for (std::string& h : head) in >> h, joined += " " + h;
  EXPECT_EQ(joined, " POINT_DATA " + std::to_string(n) + " SCALARS degree int 1 LOOKUP_TABLE default");
  d.degree.resize(static_cast<size_t>(n));
  for (int64_t& x : d.degree) in >> x;
  EXPECT_FALSE(in >> word) << "unexpected " << word;
  return d;
}

TEST(VtkExport, PointsVerticesLinesAndDegreesReadBack) {
  ScratchDir dir;
  GraphHandle g = make_graph(sample_lists());
  Posn posn = sample_posn(5);
  VtkData d = parse_vtk(write_to_file(dir.file("s.vtk"), ExportFormat::kVtk, *g, 5, posn));
  EXPECT_EQ(d.header, "# vtk DataFile Version 3.0\nfrlayout3d layout of dir/sample.graph\n"
                      "ASCII\nDATASET POLYDATA\n");
  ASSERT_EQ(d.points.size(), 15u);
  for (int32_t v = 1; v <= 5; ++v)
    for (int a = 1; a <= 3; ++a) EXPECT_EQ(d.points[3 * (v - 1) + (a - 1)], posn[a][v]) << v;
  ASSERT_EQ(d.vertices.size(), 5u);
  for (int64_t i = 0; i < 5; ++i) EXPECT_EQ(d.vertices[i], std::vector<int64_t>{i});
  std::set<std::pair<int32_t, int32_t>> edges;
  for (const auto& cell : d.lines) {
    ASSERT_EQ(cell.size(), 2u);
    edges.insert({static_cast<int32_t>(cell[0] + 1), static_cast<int32_t>(cell[1] + 1)});
  }
  EXPECT_EQ(d.lines.size(), edges.size());
  EXPECT_EQ(edges, kSampleEdges);
  // Degrees count distinct neighbours: the repeated entry of 1 and 2 once.
  EXPECT_EQ(d.degree, (std::vector<int64_t>{3, 2, 2, 1, 0}));
}

TEST(OutputOptions, ExportHoldsTheWrittenLayout) {
  ScratchDir dir;
  auto lists = grid_lists(4, 3, 2);
  write_file(dir.file("g.graph"), graph_file_text(lists));
  RunResult r = run_tool({"-in", "g.graph", "-seed", "5", "-export", "g.vtk"}, dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<double> coords = layout_coordinates(read_file(dir.file("gsfrlayout.3dlayout")));
  VtkData d = parse_vtk(read_file(dir.file("g.vtk")));
  ASSERT_EQ(coords.size(), 72u);
  ASSERT_EQ(d.points.size(), coords.size());
  // The layout file rounds to millionths; the export keeps every digit.
  for (size_t i = 0; i < coords.size(); ++i) EXPECT_NEAR(d.points[i], coords[i], 5.1e-7) << i;
  EXPECT_EQ(static_cast<int32_t>(d.lines.size()), graph_nedges(lists));
  // The export leaves the layout as it is.
  RunResult plain = run_tool({"-in", "g.graph", "-seed", "5", "-out", "plain"}, dir.path);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(layout_body(read_file(dir.file("plain.3dlayout"))),
            layout_body(read_file(dir.file("gsfrlayout.3dlayout"))));
  // An edge list's nodes keep its ids.
  write_file(dir.file("e.edges"), "30 10\n10 20\n");
  ASSERT_EQ(run_tool({"-in", "e.edges", "-seed", "5", "-export", "e.graphml"}, dir.path).status, 0);
  const std::string graphml = read_file(dir.file("e.graphml"));
  for (const char* part : {"<node id=\"10\">", "<node id=\"30\">",
                           "<edge source=\"10\" target=\"20\"/>",
                           "<edge source=\"10\" target=\"30\"/>"})
    EXPECT_NE(graphml.find(part), std::string::npos) << part << "\n" << graphml;
}

TEST(OutputOptions, FailuresAndUnknownEndings) {
  ScratchDir dir;
  write_file(dir.file("g.graph"), graph_file_text(path_lists(4)));
  // An ending that names no format is a usage error before anything is read.
  RunResult bad = run_tool({"-in", "g.graph", "-export", "g.obj"}, dir.path);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("-export g.obj"), std::string::npos) << bad.err;
  EXPECT_FALSE(file_exists(dir.file("gsfrlayout.3dlayout")));
  // A page or export that cannot be written is a failure, named on standard error.
  for (const char* option : {"-export", "-html"}) {
    RunResult r = run_tool({"-in", "g.graph", option, "no/such/dir/g.graphml"}, dir.path);
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_NE(r.err.find("cannot write no/such/dir/g.graphml"), std::string::npos) << r.err;
  }
}

}  // namespace
