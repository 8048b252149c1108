// The library's entry points (include/frlayout3d/frlayout3d.h): a CSR
// checked as the readers check a file and turned into the tool's graph
// record, the layout step the tool runs, and the tool's readers and
// writer behind the file helpers. Nothing here prints unless the caller
// names a stream, and every failure, running out of memory included,
// comes back as a message.
#include "frlayout3d/frlayout3d.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "common/common.h"
#include "driver/driver.h"
#include "graph/graph.h"
#include "layout/layout.h"

namespace {

/// Most threads a layout takes, as for "-threads".
constexpr int kMaxThreads = 1024;

/// Checks the CSR's offsets: xadj[0] == 0, never decreasing, and no list
/// or total longer than the graph record holds. `entries` is the total.
/// The vertex count is checked first, before xadj is read.
bool check_offsets(int32_t nvtxs, const int64_t* xadj, const void* adjncy, int64_t& entries,
                   std::string& error) {
  if (nvtxs < 1) {
    error = "the vertex count is " + std::to_string(nvtxs) + "; a graph needs at least one vertex";
    return false;
  }
  error = vertex_count_refusal(nvtxs);
  if (!error.empty()) return false;
  if (xadj == nullptr) {
    error = "xadj is null; it must hold nvtxs + 1 offsets";
    return false;
  }
  if (xadj[0] != 0) {
    error = "xadj[0] is " + std::to_string(xadj[0]) + "; it must be 0";
    return false;
  }
  for (int32_t v = 0; v < nvtxs; ++v) {
    const int64_t count = xadj[v + 1] - xadj[v];
    if (xadj[v + 1] < xadj[v]) {
      error = "xadj decreases after vertex " + std::to_string(v) + " (xadj[" +
              std::to_string(v) + "] = " + std::to_string(xadj[v]) + ", xadj[" +
              std::to_string(v + 1) + "] = " + std::to_string(xadj[v + 1]) + ")";
      return false;
    }
    if (count >= std::numeric_limits<int32_t>::max()) {
      error = "vertex " + std::to_string(v) + " has more neighbours than 32 bits count";
      return false;
    }
  }
  entries = xadj[nvtxs];
  if (entries > 2 * int64_t{std::numeric_limits<int32_t>::max()}) {
    error = "the graph has more than 2^31 - 1 edges, more than 32 bits count";
    return false;
  }
  if (entries > 0 && adjncy == nullptr) {
    error = "adjncy is null, but xadj says it holds " + std::to_string(entries) + " entries";
    return false;
  }
  return true;
}

/// Checks that every neighbour relation is listed at both ends, as sets.
bool check_symmetry(const Graph& g, int32_t nvtxs, std::string& error) {
  std::vector<int32_t> sorted(g.block);
  std::vector<int64_t> offset(static_cast<size_t>(nvtxs) + 1);
  int64_t at = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    offset[v] = at;
    std::sort(sorted.begin() + at + 1, sorted.begin() + at + g.adj[v].count);
    at += g.adj[v].count;
  }
  for (int32_t v = 1; v <= nvtxs; ++v) {
    for (int32_t e = 1; e < g.adj[v].count; ++e) {
      const int32_t w = sorted[offset[v] + e];
      const int32_t* wf = sorted.data() + offset[w] + 1;
      const int32_t* wl = sorted.data() + offset[w] + g.adj[w].count;
      if (!std::binary_search(wf, wl, v)) {
        error = "vertex " + std::to_string(v - 1) + " lists " + std::to_string(w - 1) +
                ", but the list of vertex " + std::to_string(w - 1) + " does not list " +
                std::to_string(v - 1);
        return false;
      }
    }
  }
  return true;
}

/// The CSR as the tool's graph record (vertices from 1, each list led by
/// its vertex, self-loops dropped), checked as a file is. Neighbours of
/// 32 or 64 bits are checked in their own width before they are narrowed.
template <typename Index>
bool graph_from_csr(int32_t nvtxs, const int64_t* xadj, const Index* adjncy,
                    GraphHandle& graph, int32_t& nedges, std::string& error) {
  int64_t entries = 0;
  if (!check_offsets(nvtxs, xadj, adjncy, entries, error)) return false;
  GraphHandle g(new Graph);
  g->adj.assign(static_cast<size_t>(nvtxs) + 1, AdjacencyList{0, nullptr});
  g->block.reserve(static_cast<size_t>(nvtxs + entries));
  for (int32_t v = 0; v < nvtxs; ++v) {
    g->block.push_back(v + 1);
    int32_t count = 1;
    for (int64_t e = xadj[v]; e < xadj[v + 1]; ++e) {
      const Index w = adjncy[e];
      if (w < 0 || w >= nvtxs) {
        error = "vertex " + std::to_string(v) + " lists the neighbour " + std::to_string(w) +
                ", outside 0.." + std::to_string(nvtxs - 1);
        return false;
      }
      if (w == v) continue;  // a self-loop, dropped as the readers drop it
      g->block.push_back(static_cast<int32_t>(w) + 1);
      ++count;
    }
    g->adj[v + 1].count = count;
  }
  rebuild_entry_pointers(*g, nvtxs);
  if (!check_symmetry(*g, nvtxs, error)) return false;
  // Twice the edge count bounds the entries, as a file's header must.
  nedges = static_cast<int32_t>((static_cast<int64_t>(g->block.size()) - nvtxs + 1) / 2);
  graph = std::move(g);
  return true;
}

/// Checks the options as the command line's checks its values.
bool check_options(const frlayout3d::Options& o, std::string& error) {
  if (o.threads < 0 || o.threads > kMaxThreads)
    error = "threads is " + std::to_string(o.threads) + "; it must be 0 (one per hardware " +
            "thread) or 1 to " + std::to_string(kMaxThreads);
  else if (!(o.frepsilon > 0 && o.frepsilon <= 100))
    error = "frepsilon must be greater than 0 and at most 100";
  else if (!std::isfinite(o.wellseparatedratio))
    error = "wellseparatedratio must be a finite number";
  else if (find_method(o.method) == nullptr)
    error = "unknown layout method \"" + o.method + "\" (known: " + method_names() + ")";
  return error.empty();
}

/// The layout of a checked graph; may throw std::bad_alloc.
void lay_out_checked(const Graph& graph, int32_t nvtxs, int32_t nedges,
                     const frlayout3d::Options& o, frlayout3d::Result& r) {
  RunSettings s;
  s.seed = o.seed_given ? o.seed : static_cast<uint32_t>(std::time(nullptr));
  s.friterations = o.friterations;
  s.wellseparatedratio = o.wellseparatedratio;
  s.frepsilon = o.frepsilon;
  s.method = o.method;
  RunContext run;
  run.rand15_state = s.seed;
  run.console = o.console;
  const unsigned hardware = std::thread::hardware_concurrency();
  run.threads = start_threads(
      o.threads > 0 ? o.threads : (hardware > 0 ? static_cast<int>(hardware) : 1), o.console);
  Posn posn;
  LayoutOutcome outcome;
  r.seed = s.seed;
  if (!layout_graph(s, run, graph, nvtxs, nedges, posn, outcome, r.error)) return;
  if (run.abandoned_insertions > 0 && o.console != nullptr)
    std::fprintf(o.console,
                 "frlayout3d: warning: %lld times a vertex could not be placed in the octree "
                 "after %d attempts; it went without repulsion for that iteration\n",
                 static_cast<long long>(run.abandoned_insertions), kMaxInsertAttempts);
  r.xyz.resize(3 * static_cast<size_t>(nvtxs));
  for (int32_t v = 1; v <= nvtxs; ++v)
    for (int a = 1; a <= 3; ++a) r.xyz[3 * static_cast<size_t>(v - 1) + (a - 1)] = posn[a][v];
  for (int a = 0; a < 3; ++a) r.extent[a] = outcome.extent[a];
  r.levels = outcome.levels;
  r.total_seconds = ms_to_seconds(outcome.times.total);
  r.coarsening_seconds = ms_to_seconds(outcome.times.coarsening);
  r.smoothing_seconds = ms_to_seconds(outcome.times.barycentralizing);
  r.ok = true;
}

/// What an exception that reached an entry point says.
std::string exception_text(const char* stage) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return std::string("out of memory while ") + stage;
  } catch (const std::exception& e) {
    return std::string("failed while ") + stage + ": " + e.what();
  } catch (...) {
    return std::string("failed while ") + stage;
  }
}

/// The layout of a CSR with neighbours of either width.
template <typename Index>
frlayout3d::Result layout_any(int32_t nvtxs, const int64_t* xadj, const Index* adjncy,
                              const frlayout3d::Options& options) {
  frlayout3d::Result r;
  const char* stage = "checking the graph";
  try {
    GraphHandle graph;
    int32_t nedges = 0;
    if (!check_options(options, r.error) ||
        !graph_from_csr(nvtxs, xadj, adjncy, graph, nedges, r.error))
      return r;
    stage = "laying out the graph";
    lay_out_checked(*graph, nvtxs, nedges, options, r);
  } catch (...) {
    r = frlayout3d::Result{};
    r.error = exception_text(stage);
  }
  return r;
}

/// Empty when `path` can be handed to the system; else why not.
std::string path_refusal(const std::string& path) {
  const size_t nul = path.find('\0');
  if (nul == std::string::npos) return "";
  return "the path holds a NUL byte (at byte " + std::to_string(nul) + ")";
}

/// Why a file the reader could not open could not be: the errno of
/// opening it again (EISDIR for a folder, which opens), 0 if it now opens.
int open_failure(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  return folder ? EISDIR : 0;
}

}  // namespace

namespace frlayout3d {

Result layout(int32_t nvtxs, const int64_t* xadj, const int32_t* adjncy, const Options& options) {
  return layout_any(nvtxs, xadj, adjncy, options);
}

Result layout(int32_t nvtxs, const int64_t* xadj, const int64_t* adjncy, const Options& options) {
  return layout_any(nvtxs, xadj, adjncy, options);
}

bool read_graph(const std::string& path, Graph& graph, std::string& error,
                const std::string& format, int* open_errno) {
  graph = Graph{};
  error = path_refusal(path);
  if (open_errno != nullptr) *open_errno = 0;
  if (!error.empty()) return false;
  try {
    GraphHandle g;
    ReadStatus status;
    if (!read_graph_file(path, format, g, graph.nvtxs, graph.nedges, status)) {
      error = status.error;
      if (status.cannot_open && open_errno != nullptr) *open_errno = open_failure(path);
      return false;
    }
    graph.xadj.assign(static_cast<size_t>(graph.nvtxs) + 1, 0);
    graph.adjncy.reserve(g->block.size() - static_cast<size_t>(graph.nvtxs));
    for (int32_t v = 1; v <= graph.nvtxs; ++v) {
      const AdjacencyList& list = g->adj[v];
      for (int32_t e = 1; e < list.count; ++e) graph.adjncy.push_back(list.entries[e] - 1);
      graph.xadj[v] = static_cast<int64_t>(graph.adjncy.size());
    }
    if (!status.original_ids.empty())
      graph.ids.assign(status.original_ids.begin() + 1, status.original_ids.end());
    graph.self_loops_dropped = status.self_loops_dropped;
    return true;
  } catch (...) {
    graph = Graph{};
    error = path + ": " + exception_text("reading the graph");
    return false;
  }
}

bool write_layout(const std::string& path, const Graph& graph, const std::vector<double>& xyz,
                  std::string& error) {
  error = path_refusal(path);
  if (!error.empty()) return false;
  try {
    const int32_t n = graph.nvtxs;
    if (n < 0 || graph.xadj.size() != static_cast<size_t>(n) + 1 ||
        xyz.size() != 3 * static_cast<size_t>(n)) {
      error = "cannot write " + path + ": the graph's xadj and the coordinates must hold " +
              "nvtxs + 1 and 3 * nvtxs numbers";
      return false;
    }
    // The file shows every coordinate with "%12.6f", which has no text
    // for a NaN or an infinity that the readers of the file take.
    for (size_t i = 0; i < xyz.size(); ++i)
      if (!std::isfinite(xyz[i])) {
        error = "cannot write " + path + ": coordinate " + "xyz"[i % 3] + " of vertex " +
                std::to_string(i / 3) + " is " + (std::isnan(xyz[i]) ? "NaN" : "infinite");
        return false;
      }
    // The record's lists as write_layout takes them: led by their vertex.
    ::Graph g;
    ::Posn posn;
    g.adj.assign(static_cast<size_t>(n) + 1, AdjacencyList{0, nullptr});
    allocate_posn(posn, n);
    for (int32_t v = 0; v < n; ++v) {
      const int64_t first = graph.xadj[v], end = graph.xadj[v + 1];
      if (first < 0 || end < first || end > static_cast<int64_t>(graph.adjncy.size())) {
        error = "cannot write " + path + ": xadj does not fit adjncy at vertex " +
                std::to_string(v);
        return false;
      }
      g.block.push_back(v + 1);
      for (int64_t e = first; e < end; ++e) {
        if (graph.adjncy[e] < 0 || graph.adjncy[e] >= n) {
          error = "cannot write " + path + ": vertex " + std::to_string(v) +
                  " lists the neighbour " + std::to_string(graph.adjncy[e]) + ", outside 0.." +
                  std::to_string(n - 1);
          return false;
        }
        g.block.push_back(graph.adjncy[e] + 1);
      }
      g.adj[v + 1].count = static_cast<int32_t>(end - first + 1);
      for (int a = 1; a <= 3; ++a) posn[a][v + 1] = xyz[3 * static_cast<size_t>(v) + (a - 1)];
    }
    rebuild_entry_pointers(g, n);
    OutFile out;
    out.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out.fd < 0) {
      error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    ::write_layout(out, g, n, graph.nedges, posn, 3);
    int failure = out_flush(out) ? 0 : out.error;
    if (::close(out.fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) error = "cannot write " + path + ": " + std::strerror(failure);
    return failure == 0;
  } catch (...) {
    error = "cannot write " + path + ": " + exception_text("writing the layout");
    return false;
  }
}

const char* version() { return FRLAYOUT3D_VERSION; }

}  // namespace frlayout3d
