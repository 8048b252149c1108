// The graph record shared by all levels, the graph file reader and the
// .3dlayout writer.
//
//   Graph
//   +-------------------+      adj[v] = { count, entries }
//   | adj[0] (unused)   |                      |
//   | adj[1] ... adj[n] |   entries: [v | nbr nbr ...][v+1 | nbr ...] ...
//   +-------------------+             one block, lists back to back
//
// entries[0] of a list is the vertex itself, entries[1..count-1] its
// neighbours in stored order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AdjacencyList {
  int32_t count;     ///< entries of the vertex, itself included
  int32_t* entries;  ///< points into Graph::block
};

struct Graph {
  std::vector<AdjacencyList> adj;  ///< nvtxs+1 records, slot 0 unused
  std::vector<int32_t> block;      ///< all entry lists back to back

  Graph() = default;
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;
};

/// The owner of a graph; empty means "no graph".
using GraphHandle = std::unique_ptr<Graph>;

/// Positions or displacements of one level: slots 1..3 hold x, y, z arrays
/// of nvtxs+1 doubles each (slot 0 of the table and of each array unused).
using Posn = std::array<std::vector<double>, 4>;

/// Allocates a Posn for nvtxs vertices (contents zero).
void allocate_posn(Posn& posn, int32_t nvtxs);

/// Points every adj[v].entries at its list in the block, lists being back
/// to back in vertex order. Needed whenever the block may have moved.
void rebuild_entry_pointers(Graph& graph, int32_t nvtxs);

/// Releases the graph held by the handle, if any, and empties the handle.
void free_graph(GraphHandle& graph);

/// What read_graph reports besides the graph.
struct ReadStatus {
  bool cannot_open = false;     ///< the file could not be opened at all
  std::string error;            ///< empty on success; one line, no newline
  int64_t self_loops_dropped = 0;
  /// For formats with arbitrary vertex ids: original_ids[v] is the id of
  /// vertex v (slot 0 unused); empty when vertices are numbered as read.
  std::vector<int64_t> original_ids;
};

/// Reads an adjacency-list graph file. On success fills the empty handle,
/// nvtxs and nedges and returns true. On failure returns false with
/// status.error naming the file, the line and what is wrong (and
/// status.cannot_open set when the file could not be opened). A header
/// whose third field is a nonzero format code (digits 0/1 for vertex sizes,
/// vertex weights, edge weights; a fourth field counts the vertex weights)
/// has those numbers in its vertex lines, and they are skipped.
bool read_graph(const std::string& path, GraphHandle& graph, int32_t& nvtxs,
                int32_t& nedges, ReadStatus& status);

/// The input file formats.
enum class InputFormat { kMetis, kMtx, kEdges };

/// The format a "-format" value names: "metis", "mtx" or "edges"; false
/// for any other value.
bool input_format_by_name(const std::string& name, InputFormat& format);

/// The format a file name stands for, by its ending, case ignored and a
/// ".gz" after it skipped: ".mtx" Matrix Market; ".edges", ".el", ".txt",
/// ".tsv", ".csv" an edge list; anything else the adjacency-list format.
InputFormat input_format_of_path(const std::string& path);

/// The path that stands for standard input, and the name it goes by in
/// messages and reports.
inline constexpr const char* kStandardInputPath = "-";
inline constexpr const char* kStandardInputName = "stdin";

/// Reads a graph file in the format named by `format` (a "-format" value),
/// or chosen by the file name when `format` is empty; gzip-compressed data
/// is recognised and inflated. The path kStandardInputPath reads standard
/// input (its format by `format`, else by a Matrix Market banner, else the
/// adjacency-list one). Same contract as read_graph. Matrix Market
/// files and edge lists give every vertex's neighbours in increasing order
/// and nedges as the number of distinct edges; for edge lists
/// status.original_ids holds the file's id of every vertex.
bool read_graph_file(const std::string& path, const std::string& format, GraphHandle& graph,
                     int32_t& nvtxs, int32_t& nedges, ReadStatus& status);

/// The outcome of reading a number.
enum class NumberResult { kOk, kNoDigits, kTooLarge };

/// Reads a decimal integer at p the way "%d" does, white space before it
/// not included: an optional sign, then digits, ending at the first other
/// character or at `end`; p is left after what was read. kNoDigits when no
/// digit follows the sign, kTooLarge beyond 32 bits. The one such parser:
/// the adjacency-list header and vertex lines use it, and so can options.
NumberResult parse_int32(const char*& p, const char* end, int32_t& value);

/// Input bytes as they are quoted in messages, in double quotes: printable
/// ASCII as it is, a backslash as two, every other byte as \xHH, a line end
/// at the end left out, and at most `limit` bytes shown ("..." after them).
std::string quote_text(const char* text, size_t length, size_t limit = 40);

/// A buffered output file that remembers the first write error.
struct OutFile {
  int fd = -1;
  std::vector<char> buffer;
  size_t used = 0;
  int error = 0;  ///< errno of the first failed write, 0 while all is well
};

/// Appends raw bytes to the file's buffer, flushing as it fills.
void out_write(OutFile& out, const char* data, size_t size);
/// printf-style append (for the report lines).
void out_printf(OutFile& out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
/// Writes the buffer out; returns false (and keeps errno in out.error) on
/// failure.
bool out_flush(OutFile& out);

/// Writes the body of a .3dlayout file: "%d %d\n" with nvtxs and nedges,
/// then per vertex its first `dims` coordinates as "%12.6f " and its
/// neighbours as "%d ", then "\n".
void write_layout(OutFile& out, const Graph& graph, int32_t nvtxs,
                  int32_t nedges, const Posn& posn, int32_t dims);

/// Formats `value` exactly as printf("%12.6f ", value) would into `dst`
/// (which needs at least 330 bytes) and returns the length written.
size_t format_coordinate(double value, char* dst);

/// The distinct edges, each once as a pair (v, w) with v < w: edges[2i] and
/// edges[2i+1] are the ends of edge i, taken in vertex order and then in
/// list order. A neighbour listed twice gives one edge.
std::vector<int32_t> distinct_edges(const Graph& graph, int32_t nvtxs);

/// Exchange formats of "-export", told by the ending of the file name
/// (".graphml", ".vtk"; letter case does not matter).
enum class ExportFormat { kUnknown, kGraphml, kVtk };
ExportFormat export_format_of(const std::string& path);

/// Writes the layout in an exchange format: GraphML with x, y, z as double
/// node attributes and nodes "n1".."nN" (or named by their input ids when
/// `ids` holds them, as ReadStatus::original_ids does), or VTK legacy ASCII
/// polydata with one point and one vertex cell per vertex (vertex v is
/// point v-1), one line cell per distinct edge and the degree as point
/// data. `name` titles the VTK file. Nothing is written for kUnknown.
void write_export(OutFile& out, ExportFormat format, const std::string& name, const Graph& graph,
                  int32_t nvtxs, const Posn& posn, const std::vector<int64_t>& ids);
