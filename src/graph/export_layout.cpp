// Exports of a finished layout to exchange formats that other tools read:
// GraphML (x, y, z as node attributes) for graph tools, and VTK legacy
// polydata (vertices as points, edges as lines, degree as point data) for
// scientific visualisation. Coordinates are written in the shortest form
// that reads back as the same double.
#include <charconv>
#include <cstring>

#include "graph/graph.h"

namespace {

/// Longest VTK title line (the format's limit is 256 characters).
constexpr size_t kVtkTitleMax = 255;

void put(OutFile& out, const char* text) { out_write(out, text, std::strlen(text)); }

void put_int(OutFile& out, int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out_write(out, buf, static_cast<size_t>(res.ptr - buf));
}

void put_double(OutFile& out, double value) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  out_write(out, buf, static_cast<size_t>(res.ptr - buf));
}

/// Does `path` end in `suffix`, letter case aside?
bool ends_with_nocase(const std::string& path, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (path.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = path[path.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

/// The GraphML name of vertex v: its input id, or "n" and its number.
void put_node_name(OutFile& out, const std::vector<int64_t>& ids, int32_t v) {
  if (ids.empty()) {
    put(out, "n");
    put_int(out, v);
  } else {
    put_int(out, ids[v]);
  }
}

void write_graphml(OutFile& out, const Graph& graph, int32_t nvtxs, const Posn& posn,
                   const std::vector<int64_t>& ids) {
  put(out,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\"\n"
      "    xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      "    xsi:schemaLocation=\"http://graphml.graphdrawing.org/xmlns "
      "http://graphml.graphdrawing.org/xmlns/1.0/graphml.xsd\">\n"
      "  <key id=\"x\" for=\"node\" attr.name=\"x\" attr.type=\"double\"/>\n"
      "  <key id=\"y\" for=\"node\" attr.name=\"y\" attr.type=\"double\"/>\n"
      "  <key id=\"z\" for=\"node\" attr.name=\"z\" attr.type=\"double\"/>\n"
      "  <graph id=\"G\" edgedefault=\"undirected\">\n");
  static const char* const kAxisOpen[4] = {nullptr, "<data key=\"x\">", "<data key=\"y\">",
                                           "<data key=\"z\">"};
  for (int32_t v = 1; v <= nvtxs; ++v) {
    put(out, "    <node id=\"");
    put_node_name(out, ids, v);
    put(out, "\">");
    for (int a = 1; a <= 3; ++a) {
      put(out, kAxisOpen[a]);
      put_double(out, posn[a][v]);
      put(out, "</data>");
    }
    put(out, "</node>\n");
  }
  std::vector<int32_t> edges = distinct_edges(graph, nvtxs);
  for (size_t e = 0; e < edges.size(); e += 2) {
    put(out, "    <edge source=\"");
    put_node_name(out, ids, edges[e]);
    put(out, "\" target=\"");
    put_node_name(out, ids, edges[e + 1]);
    put(out, "\"/>\n");
  }
  put(out, "  </graph>\n</graphml>\n");
}

void write_vtk(OutFile& out, const std::string& name, const Graph& graph, int32_t nvtxs,
               const Posn& posn) {
  // The title is one line of at most 256 characters: no line breaks in it.
  std::string title = "frlayout3d layout of " + name;
  for (char& c : title)
    if (c == '\n' || c == '\r') c = ' ';
  if (title.size() > kVtkTitleMax) title.resize(kVtkTitleMax);
  put(out, "# vtk DataFile Version 3.0\n");
  out_write(out, title.data(), title.size());
  put(out, "\nASCII\nDATASET POLYDATA\nPOINTS ");
  put_int(out, nvtxs);
  put(out, " double\n");
  for (int32_t v = 1; v <= nvtxs; ++v) {
    for (int a = 1; a <= 3; ++a) {
      put_double(out, posn[a][v]);
      put(out, a < 3 ? " " : "\n");
    }
  }
  // VTK numbers points from 0: vertex v is point v-1.
  put(out, "VERTICES ");
  put_int(out, nvtxs);
  put(out, " ");
  put_int(out, 2 * int64_t{nvtxs});
  put(out, "\n");
  for (int32_t v = 1; v <= nvtxs; ++v) {
    put(out, "1 ");
    put_int(out, v - 1);
    put(out, "\n");
  }
  std::vector<int32_t> edges = distinct_edges(graph, nvtxs);
  const int64_t nlines = static_cast<int64_t>(edges.size() / 2);
  std::vector<int32_t> degree(static_cast<size_t>(nvtxs) + 1, 0);
  put(out, "LINES ");
  put_int(out, nlines);
  put(out, " ");
  put_int(out, 3 * nlines);
  put(out, "\n");
  for (size_t e = 0; e < edges.size(); e += 2) {
    put(out, "2 ");
    put_int(out, edges[e] - 1);
    put(out, " ");
    put_int(out, edges[e + 1] - 1);
    put(out, "\n");
    ++degree[edges[e]];
    ++degree[edges[e + 1]];
  }
  put(out, "POINT_DATA ");
  put_int(out, nvtxs);
  put(out, "\nSCALARS degree int 1\nLOOKUP_TABLE default\n");
  for (int32_t v = 1; v <= nvtxs; ++v) {
    put_int(out, degree[v]);
    put(out, "\n");
  }
}

}  // namespace

std::vector<int32_t> distinct_edges(const Graph& graph, int32_t nvtxs) {
  std::vector<int32_t> edges;
  // last_from[w] == v once the pair (v, w) has been taken, so a neighbour
  // listed twice gives one edge.
  std::vector<int32_t> last_from(static_cast<size_t>(nvtxs) + 1, 0);
  for (int32_t v = 1; v <= nvtxs; ++v) {
    const AdjacencyList& list = graph.adj[v];
    for (int32_t j = 1; j < list.count; ++j) {
      int32_t w = list.entries[j];
      if (w <= v || last_from[w] == v) continue;
      last_from[w] = v;
      edges.push_back(v);
      edges.push_back(w);
    }
  }
  return edges;
}

ExportFormat export_format_of(const std::string& path) {
  if (ends_with_nocase(path, ".graphml")) return ExportFormat::kGraphml;
  if (ends_with_nocase(path, ".vtk")) return ExportFormat::kVtk;
  return ExportFormat::kUnknown;
}

void write_export(OutFile& out, ExportFormat format, const std::string& name, const Graph& graph,
                  int32_t nvtxs, const Posn& posn, const std::vector<int64_t>& ids) {
  switch (format) {
    case ExportFormat::kGraphml:
      write_graphml(out, graph, nvtxs, posn, ids);
      break;
    case ExportFormat::kVtk:
      write_vtk(out, name, graph, nvtxs, posn);
      break;
    case ExportFormat::kUnknown:
      break;
  }
}
