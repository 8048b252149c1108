// Shared helpers for the tests: small named graphs, scratch directories and
// running the real binary.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "graph/graph.h"

/// A graph from neighbour lists: lists[v-1] are the neighbours of v.
/// nedges is half the number of neighbour entries.
GraphHandle make_graph(const std::vector<std::vector<int32_t>>& lists);
int32_t graph_nedges(const std::vector<std::vector<int32_t>>& lists);
/// The neighbours of v as stored, without v itself.
std::vector<int32_t> neighbours_of(const Graph& g, int32_t v);

/// 1 - 2 - ... - n
std::vector<std::vector<int32_t>> path_lists(int32_t n);
/// 1 - 2 - ... - n - 1
std::vector<std::vector<int32_t>> cycle_lists(int32_t n);
/// centre 1 joined to 2..n
std::vector<std::vector<int32_t>> star_lists(int32_t n);
/// a x b x c grid, vertex (i,j,l) numbered 1 + i + a*(j + b*l)
std::vector<std::vector<int32_t>> grid_lists(int32_t a, int32_t b, int32_t c);

/// Least and greatest coordinate of vertices 1..nvtxs on axis a; false
/// when some coordinate there is not finite.
bool axis_range(const Posn& posn, int32_t nvtxs, int a, double& lo, double& hi);

/// The lists in the adjacency-list file format.
std::string graph_file_text(const std::vector<std::vector<int32_t>>& lists);

/// A fresh directory, removed with its contents when the object dies.
struct ScratchDir {
  std::string path;
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct RunResult {
  int status = -1;  ///< exit status, or -1 when killed by a signal
  std::string out;
  std::string err;
};

/// Runs `program` (looked up in PATH unless it holds a "/") with `args` in
/// directory `dir`, calling `setup` in the child as run_tool_with does.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& dir, const std::function<void()>& setup);

/// Runs the frlayout3d binary with `args` in directory `dir`.
RunResult run_tool(const std::vector<std::string>& args, const std::string& dir);

/// Like run_tool, calling `setup` in the child after the standard streams
/// are redirected and right before the program starts. `setup` may only
/// make async-signal-safe calls. Status 127: the program could not start.
RunResult run_tool_with(const std::vector<std::string>& args, const std::string& dir,
                        const std::function<void()>& setup);

/// The coordinates of every vertex line of a .3dlayout file, x y z of
/// vertex 1 first.
std::vector<double> layout_coordinates(const std::string& file_content);

/// The body of a .3dlayout file: everything after the "%" header lines.
std::string layout_body(const std::string& file_content);

/// The text without the lines that carry time values ("...sec "), which
/// differ from run to run.
std::string without_times(const std::string& text);

/// Path of a file under tests/ (the test data).
std::string test_data(const std::string& relative);
