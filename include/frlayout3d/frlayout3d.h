// frlayout3d as a library: three-dimensional drawings of undirected graphs
// by the tool's layout methods, called on a graph held
// in memory as a 0-based CSR (the neighbours of v are
// adjncy[xadj[v] .. xadj[v+1]-1]).
//
// For the same seed and options, Result::xyz holds exactly the coordinates
// the frlayout3d tool writes (its file shows them with "%12.6f"). Every
// call owns everything it uses (generator, clocks, worker threads): calls
// one after the other, or at once on several threads, do not meet. Nothing
// is printed unless Options::console names a stream, no signal handler is
// installed, and no exception leaves these functions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace frlayout3d {

/// The tool's settings, under its option names, with its defaults.
struct Options {
  uint32_t seed = 0;
  bool seed_given = false;  ///< false: seeded from the clock, as the tool is
  int threads = 0;          ///< 0: one per hardware thread; else 1 to 1024
  int friterations = 50;    ///< iterations on every level but the coarsest
  double wellseparatedratio = 0.6;
  double frepsilon = 1e-5;  ///< greater than 0, at most 100
  /// "frlayout" (the multilevel force-directed method) or "quality" (graph
  /// distances drawn faithfully; friterations, wellseparatedratio and
  /// frepsilon do not apply to it)
  std::string method = "frlayout";
  /// Where the level lines and the tool's warnings go, as the tool prints
  /// them on standard output and standard error; null: nowhere.
  std::FILE* console = nullptr;
};

/// The outcome of a layout.
struct Result {
  bool ok = false;
  std::string error;        ///< when !ok: what is wrong, in one line
  std::vector<double> xyz;  ///< x, y, z of vertex 0, then of vertex 1, ...
  double extent[3] = {};    ///< the final drawing area: each axis runs from 0 to this
  uint32_t seed = 0;        ///< the seed used
  /// levels of the multilevel scheme, the input's included (0 for "quality")
  int levels = 0;
  double total_seconds = 0;       ///< the report's "total computation time"
  double coarsening_seconds = 0;  ///< its "coarsening_time"
  double smoothing_seconds = 0;   ///< its "barycentralizing_time"
};

/// Lays out the graph of nvtxs vertices given as a 0-based CSR. The graph
/// is checked as the tool checks a file: at least one vertex and no more
/// than the machine's memory can lay out, xadj[0] == 0 and never
/// decreasing, every neighbour in 0..nvtxs-1, every neighbour relation
/// listed at both ends (as sets: a neighbour listed twice is kept).
/// Self-loops are dropped. A refused graph or setting gives ok false and
/// the reason in `error`. The vertex count is checked first, before xadj
/// is read or anything is allocated.
Result layout(int32_t nvtxs, const int64_t* xadj, const int32_t* adjncy, const Options& options);
/// The same for 64-bit neighbours (scipy's int64 indices): each is checked
/// against 0..nvtxs-1 in its own width.
Result layout(int32_t nvtxs, const int64_t* xadj, const int64_t* adjncy, const Options& options);

/// A graph file as read into memory.
struct Graph {
  int32_t nvtxs = 0;
  /// The edge count the file states (the header's for an adjacency-list
  /// file, the distinct edges for the other formats); the .3dlayout
  /// header line repeats it.
  int32_t nedges = 0;
  std::vector<int64_t> xadj;    ///< nvtxs + 1 offsets into adjncy
  std::vector<int32_t> adjncy;  ///< 0-based neighbours, self-loops dropped
  /// For edge lists: the file's id of every vertex, in vertex order; else
  /// empty.
  std::vector<int64_t> ids;
  int64_t self_loops_dropped = 0;
};

/// Reads a graph file in any format the tool reads, gzip-compressed or
/// not: "metis", "mtx" or "edges" as `format`, or chosen by the file name
/// when `format` is empty. False with `error` set as the tool says it
/// ("FILE:LINE: what is wrong"); a path holding a NUL byte is refused.
/// When the file could not be opened, `*open_errno` (if given) is why:
/// ENOENT, EACCES, EISDIR, ...; else it is 0.
bool read_graph(const std::string& path, Graph& graph, std::string& error,
                const std::string& format = "", int* open_errno = nullptr);

/// Writes a .3dlayout file (the line "nvtxs nedges", then for every vertex
/// its coordinates with "%12.6f " and its neighbours numbered from 1), as
/// the tool writes it after its "%" report header. `xyz` holds three
/// coordinates per vertex. False with `error` set, and nothing written,
/// when the arguments disagree, a coordinate is not finite (NaN or
/// infinite) or the path holds a NUL byte; false with `error` set when
/// the file cannot be written.
bool write_layout(const std::string& path, const Graph& graph, const std::vector<double>& xyz,
                  std::string& error);

/// The library's version, as "frlayout3d --version" prints it.
const char* version();

}  // namespace frlayout3d
