// The run: seed, options, reading, the multilevel layout under a clock, the
// console report and the output file, written to a temporary file beside
// the target and renamed into place only once it is complete.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "common/parallel.h"
#include "driver/driver.h"
#include "graph/graph.h"
#include "layout/layout.h"

namespace {

/// Drawing area the layout starts from.
constexpr double kInitialX = 1000.0;
constexpr double kInitialY = 800.0;
constexpr double kInitialZ = 600.0;
/// Levels of at most this many vertices are laid out from random positions.
constexpr int32_t kCoarsestThreshold = 50;

void print_timings(const RunContext& run, int32_t nvtxs, int32_t nedges) {
  static const char* const kNames[kPhaseCount] = {"read",    "coarsen", "smooth", "build",
                                                  "repulse", "attract", "move",   "write"};
  std::fprintf(stderr, "timings: vertices %d edges %d", nvtxs, nedges);
  for (int p = 0; p < kPhaseCount; ++p)
    std::fprintf(stderr, " %s %.6f", kNames[p], static_cast<double>(run.phase_ns[p]) * 1e-9);
  std::fprintf(stderr, " finest_ns_per_vertex_iteration %.3f threads %d\n",
               run.finest_ns_per_vertex_iteration, run.threads.count);
}

/// Creates a new file beside `path`; returns its descriptor and name, or -1
/// with errno set.
int create_temporary(const std::string& path, std::string& temp_name) {
  std::vector<char> name(path.begin(), path.end());
  const char kPattern[] = ".tmp-XXXXXX";
  name.insert(name.end(), kPattern, kPattern + sizeof kPattern);
  int fd = ::mkstemp(name.data());
  if (fd < 0) return -1;
  temp_name = name.data();
  // mkstemp makes the file private; give it the mode a plain create would.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  return fd;
}

/// The name of the id file that goes with an output name.
std::string ids_filename(const std::string& layout_filename) {
  static const std::string kSuffix = ".3dlayout";
  if (ends_with(layout_filename, kSuffix))
    return layout_filename.substr(0, layout_filename.size() - kSuffix.size()) + ".ids";
  return layout_filename + ".ids";
}

/// `stage` says what the run is doing, for the out-of-memory message;
/// `line` is its progress line.
int run(int argc, const char* const* argv, std::string& stage, ProgressLine& line) {
  // Progress lines reach a log as they happen, not at exit.
  std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);
  RunSettings s;
  s.seed = static_cast<uint32_t>(std::time(nullptr));
  std::string error;
  switch (parse_options(argc, argv, s, error)) {
    case ParseOutcome::kHelp:
      std::fputs(usage_text(), stdout);
      return kExitOk;
    case ParseOutcome::kError:
      std::fprintf(stderr, "frlayout3d: %s\n(frlayout3d -help lists the options)\n",
                   error.c_str());
      return kExitUsage;
    case ParseOutcome::kRun:
      break;
  }
  RunContext run;
  run.rand15_state = s.seed;
  unsigned hardware = std::thread::hardware_concurrency();
  run.threads =
      start_threads(s.threads > 0 ? s.threads : (hardware > 0 ? static_cast<int>(hardware) : 1));

  GraphHandle graph;
  int32_t nvtxs = 0, nedges = 0;
  ReadStatus status;
  uint64_t read_started = clock_ns();
  stage = "reading " + s.graphFilename;
  if (!read_graph_file(s.graphFilename, s.format, graph, nvtxs, nedges, status)) {
    if (status.cannot_open) std::printf("cannot open %s. \n", s.graphFilename.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "frlayout3d: %s\n", status.error.c_str());
    return kExitFailure;
  }
  run.phase_ns[kPhaseRead] += clock_ns() - read_started;
  if (status.self_loops_dropped > 0)
    std::fprintf(stderr,
                 "frlayout3d: warning: %s: dropped %lld self-loop entr%s (a vertex listing "
                 "itself as its neighbour)\n",
                 s.graphFilename.c_str(), static_cast<long long>(status.self_loops_dropped),
                 status.self_loops_dropped == 1 ? "y" : "ies");

  stage = "laying out " + s.graphFilename + " (" + std::to_string(nvtxs) + " vertices, " +
            std::to_string(nedges) + " edges)";
  Posn posn;
  allocate_posn(posn, nvtxs);
  double X = kInitialX, Y = kInitialY, Z = kInitialZ, k = 0;
  uint32_t start = clock_ms();
  start_progress(line, run);
  coarsen_multilevel(LayoutLevel{graph.get(), nvtxs, nedges, &X, &Y, &Z, &k, s.friterations,
                                 s.wellseparatedratio, s.frepsilon, &posn, kCoarsestThreshold,
                                 0, &run});
  RunTimes times{clock_ms() - start, run.coarsening_time, run.barycentralizing_time};
  finish_progress(line);
  if (run.abandoned_insertions > 0)
    std::fprintf(stderr,
                 "frlayout3d: warning: %lld times a vertex could not be placed in the octree "
                 "after %d attempts; it went without repulsion for that iteration\n",
                 static_cast<long long>(run.abandoned_insertions), kMaxInsertAttempts);
  if constexpr (console_report) print_console_report(s, times);
  std::fflush(stdout);

  uint64_t write_started = clock_ns();
  stage = "writing the output";
  bool written = write_file_atomically(s.layoutFilename, [&](OutFile& out) {
    if constexpr (file_report_header) write_report_header(out, s, times);
    write_layout(out, *graph, nvtxs, nedges, posn, 3);
  });
  if (written && !status.original_ids.empty())
    written = write_file_atomically(ids_filename(s.layoutFilename), [&](OutFile& out) {
      for (int32_t v = 1; v <= nvtxs; ++v) out_printf(out, "%lld\n", static_cast<long long>(status.original_ids[v]));
    });
  if (written && !s.html_file.empty())
    written = write_file_atomically(s.html_file, [&](OutFile& out) {
      write_html_view(out, s, times, *graph, nvtxs, nedges, posn);
    });
  if (written && !s.export_file.empty())
    written = write_file_atomically(s.export_file, [&](OutFile& out) {
      write_export(out, export_format_of(s.export_file), s.graphFilename, *graph, nvtxs, posn);
    });
  run.phase_ns[kPhaseWrite] += clock_ns() - write_started;
  if (s.timings) print_timings(run, nvtxs, nedges);
  return written ? kExitOk : kExitFailure;
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::function<void(OutFile&)>& fill) {
  std::string temp;
  int fd = create_temporary(path, temp);
  if (fd < 0) {
    std::fprintf(stderr, "frlayout3d: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  OutFile out;
  out.fd = fd;
  fill(out);
  int error = 0;
  if (!out_flush(out)) error = out.error;
  if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    std::fprintf(stderr, "frlayout3d: cannot write %s: %s\n", path.c_str(), std::strerror(error));
    return false;
  }
  return true;
}

const char* usage_text() {
  return "usage: frlayout3d [-in FILE] [-out FILE] [options]\n"
         "Computes a three-dimensional drawing of an undirected graph.\n"
         "\n"
         "options (each followed by its value; an argument only has to begin with the option):\n"
         "  -in FILE                  input graph file (default graph.graph)\n"
         "  -out FILE                 output file (default: the input name up to its last \".\",\n"
         "                            then \"sfrlayout.3dlayout\"); \".3dlayout\" is appended\n"
         "                            unless the name ends in it\n"
         "  -format NAME              input format: metis, mtx or edges (default: by the\n"
         "                            input name's ending, see below)\n"
         "  -friterations N           force-directed iterations per refined level (default 50;\n"
         "                            0 or less: none)\n"
         "  -bciterations N           reported only (default 5)\n"
         "  -wellseparatedratio R     octree opening ratio (default 0.6)\n"
         "  -frepsilon E              octree tolerance and distance floor, 0 < E <= 100\n"
         "                            (default 0.00001)\n"
         "  -seed N                   random seed, a decimal integer taken modulo 2^32\n"
         "                            (default: the current time; the report shows it)\n"
         "  -threads N                worker threads, 1 to 1024 (default: one per hardware\n"
         "                            thread); the output is the same for every N\n"
         "  -method NAME              layout method: frlayout (the default, the method the\n"
         "                            report names \"multi-scale bary-centralized frlayout\")\n"
         "  -timings                  print the time of each phase on standard error\n"
         "  -html FILE                also write FILE, a self-contained page that shows the\n"
         "                            drawing in 3D in a web browser\n"
         "  -export FILE              also write the layout as GraphML (FILE ending in\n"
         "                            \".graphml\") or as VTK polydata (ending in \".vtk\")\n"
         "  -h, -help, --help         print this text and exit\n"
         "\n"
         "input formats, chosen by the input name's ending or by -format:\n"
         "  metis  (.graph, .metis, any other ending) a header line \"nvtxs nedges\", then\n"
         "         one line per vertex listing its neighbours (numbered from 1); lines\n"
         "         starting with \"%\" before the header are comments. A third header field\n"
         "         1, 10, 11, 100, ... (a fourth: weights per vertex) marks vertex sizes,\n"
         "         vertex weights and edge weights in the vertex lines; they are skipped\n"
         "  mtx    (.mtx) a Matrix Market coordinate matrix, square; every entry (i, j) off\n"
         "         the diagonal is the edge {i, j}, values are ignored\n"
         "  edges  (.edges, .el, .txt, .tsv, .csv) one edge per line, two non-negative\n"
         "         integer ids apart by blanks, tabs or commas, the rest of the line ignored;\n"
         "         lines starting with \"#\" or \"%\" are comments. Vertices are numbered by\n"
         "         increasing id; a file named like the output with \".ids\" in place of\n"
         "         \".3dlayout\" lists the id of every vertex, one per line, in vertex order\n"
         "  Self-loops are dropped; mtx and edges collapse repeated edges and list the\n"
         "  neighbours in increasing order. Gzip-compressed input (\".gz\" after the\n"
         "  ending) is decompressed as it is read.\n"
         "\n"
         "output: a \"%\" report header, the line \"nvtxs nedges\", then per vertex its\n"
         "        x y z coordinates and its neighbours\n"
         "\n"
         "exit status:\n"
         "  0  the layout was written\n"
         "  1  the input could not be read or is malformed (the message names the file and\n"
         "     line), an output file could not be written (an earlier file at its path is\n"
         "     kept), or memory ran out\n"
         "  2  the command line is unusable (an option without a value, a value out of range,\n"
         "     an unknown -format)\n";
}

int run_frlayout3d(int argc, const char* const* argv) {
  std::string stage = "starting";
  ProgressLine line;
  try {
    return run(argc, argv, stage, line);
  } catch (const std::bad_alloc&) {
    finish_progress(line);
    std::fflush(stdout);
    std::fprintf(stderr, "frlayout3d: out of memory while %s\n", stage.c_str());
    return kExitFailure;
  }
}
