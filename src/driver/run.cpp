// The run: seed, options, reading, the multilevel layout under a clock, the
// console report and the output file, written to a temporary file beside
// the target and renamed into place only once it is complete.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <climits>
#include <new>
#include <pthread.h>
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

void print_timings(const RunContext& run, int32_t nvtxs, int32_t nedges) {
  static const char* const kNames[kPhaseCount] = {"read",    "coarsen", "smooth", "build",
                                                  "repulse", "attract", "move",   "write"};
  std::fprintf(stderr, "timings: vertices %d edges %d", nvtxs, nedges);
  for (int p = 0; p < kPhaseCount; ++p)
    std::fprintf(stderr, " %s %.6f", kNames[p], static_cast<double>(run.phase_ns[p]) * 1e-9);
  std::fprintf(stderr, " finest_ns_per_vertex_iteration %.3f threads %d\n",
               run.finest_ns_per_vertex_iteration, run.threads.count);
}

/// The temporary file being written, for the signal handlers to remove.
char g_temporary[4096];
volatile sig_atomic_t g_temporary_set = 0;

/// SIGINT, SIGTERM, SIGHUP: the temporary goes, then the signal ends the
/// run as it would have.
extern "C" void remove_temporary_and_die(int sig) {
  if (g_temporary_set) ::unlink(g_temporary);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

/// Signals while the run lasts: a write beyond the file-size limit fails
/// with EFBIG ("cannot write") instead of killing the run; a closed
/// standard output (a pipe into "head") costs the report, not the layout
/// file; an interrupt, a termination or a hang-up removes the temporary.
void install_signal_handlers() {
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  struct sigaction act {};
  act.sa_handler = remove_temporary_and_die;
  sigemptyset(&act.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller set to be ignored (nohup) stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &act, nullptr);
  }
}

/// A path as it is quoted in messages.
std::string quote_path(const std::string& path) {
  return quote_text(path.data(), path.size(), path.size());
}

/// SIGINT, SIGTERM and SIGHUP held back in this thread for the life of
/// the object.
struct EndingSignalsBlocked {
  sigset_t old;
  EndingSignalsBlocked() {
    sigset_t block;
    sigemptyset(&block);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, sig);
    ::pthread_sigmask(SIG_BLOCK, &block, &old);
  }
  ~EndingSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &old, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;
};

/// The folder part of a path, "." when it has none.
std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

/// Creates a new file in the folder of `path`, under a short random name
/// (no longer than any name the folder takes, so a target name of the
/// longest length still works); returns its descriptor and name, or -1
/// with errno set.
int create_temporary(const std::string& path, std::string& temp_name) {
  std::string pattern = folder_of(path) + "/.frl-XXXXXX";
  if (pattern.size() >= sizeof g_temporary) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = -1;
  {
    const EndingSignalsBlocked blocked;  // none between creating and recording
    fd = ::mkstemp(name.data());
    if (fd >= 0) {
      std::memcpy(g_temporary, name.data(), name.size());
      g_temporary_set = 1;
    }
  }
  if (fd < 0) return -1;
  temp_name = name.data();
  // mkstemp makes the file private; give it the mode a plain create would.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  return fd;
}

/// One file the run will write, as it is checked before any work.
struct OutputTarget {
  std::string path;
  std::string normalised;  ///< the real path of its folder, then its name
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
};

/// Checks that `path` can be written as an output before the run starts:
/// its folder exists and takes files, its name is not too long, and what
/// stands at the path is a regular file, nothing, or a symbolic link (to be
/// replaced) that does not lead to a device, FIFO or socket (as
/// /dev/stdout does). Returns 0 or the exit status, after the message.
int check_output(const std::string& path, OutputTarget& target) {
  const std::string folder = folder_of(path);
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  target.path = path;
  int error = 0;
  struct stat st {};
  char real[PATH_MAX];
  if (::stat(folder.c_str(), &st) != 0) error = errno;
  else if (!S_ISDIR(st.st_mode)) error = ENOTDIR;
  else if (::access(folder.c_str(), W_OK | X_OK) != 0) error = errno;
  else if (name.empty()) error = EISDIR;
  else if (long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
           max > 0 && name.size() > static_cast<size_t>(max)) error = ENAMETOOLONG;
  else if (::realpath(folder.c_str(), real) == nullptr) error = errno;
  if (error == 0 && ::lstat(path.c_str(), &st) == 0) {
    target.exists = true;
    target.device = st.st_dev;
    target.inode = st.st_ino;
    struct stat to {};
    if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &to) == 0 && !S_ISREG(to.st_mode) &&
        !S_ISDIR(to.st_mode))
      st.st_mode = to.st_mode;  // a link to a device stands for the device
    if (S_ISDIR(st.st_mode)) {
      error = EISDIR;
    } else if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
      std::fprintf(stderr, "frlayout3d: %s is not a regular file (a device, FIFO or socket); "
                   "refusing to replace it\n", quote_path(path).c_str());
      return kExitUsage;
    }
  }
  if (error != 0) {
    std::fprintf(stderr, "frlayout3d: cannot write %s: %s\n", path.c_str(), std::strerror(error));
    return kExitFailure;
  }
  target.normalised = std::string(real) + "/" + name;
  return 0;
}

/// Whether two checked outputs, or an output and the input, are one file.
bool same_file(const OutputTarget& a, const OutputTarget& b) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a.normalised == b.normalised;
}

/// The name of the id file that goes with the output: beside the output
/// file, or where the default output would be when the layout goes to
/// standard output.
std::string ids_filename(const RunSettings& s) {
  static const std::string kSuffix = ".3dlayout";
  const std::string layout_filename =
      s.output_stdout ? derive_layout_filename(s.input_stdin ? kStandardInputPath : s.graphFilename,
                                               "")
                      : s.layoutFilename;
  if (ends_with(layout_filename, kSuffix))
    return layout_filename.substr(0, layout_filename.size() - kSuffix.size()) + ".ids";
  return layout_filename + ".ids";
}

/// Whether the run writes an id file: the input is an edge list (standard
/// input only when "-format edges" says so).
bool writes_ids(const RunSettings& s) {
  InputFormat format = InputFormat::kMetis;
  if (!s.format.empty()) input_format_by_name(s.format, format);
  else if (!s.input_stdin) format = input_format_of_path(s.graphFilename);
  return format == InputFormat::kEdges;
}

/// Checks every output of the run before any work: each writable and no
/// device (check_output), no two the same file, none the input. Returns 0
/// or the exit status, after the message.
int check_outputs(const RunSettings& s) {
  std::vector<OutputTarget> targets;
  const std::string ids = writes_ids(s) ? ids_filename(s) : "";
  for (const std::string* path : {&s.layoutFilename, &ids, &s.html_file, &s.export_file}) {
    if (path->empty() || (path == &s.layoutFilename && s.output_stdout)) continue;
    targets.emplace_back();
    if (int status = check_output(*path, targets.back())) return status;
  }
  struct stat in {};
  const bool input_exists = s.input_stdin ? ::fstat(STDIN_FILENO, &in) == 0
                                          : ::stat(s.graphFilename.c_str(), &in) == 0;
  for (size_t i = 0; i < targets.size(); ++i) {
    const OutputTarget& t = targets[i];
    if (input_exists && t.exists && t.device == in.st_dev && t.inode == in.st_ino) {
      std::fprintf(stderr, "frlayout3d: the output %s is the input file; refusing to "
                   "overwrite it\n", quote_path(t.path).c_str());
      return kExitUsage;
    }
    for (size_t j = 0; j < i; ++j)
      if (same_file(targets[j], t)) {
        std::fprintf(stderr, "frlayout3d: the outputs %s and %s are the same file\n",
                     quote_path(targets[j].path).c_str(), quote_path(t.path).c_str());
        return kExitUsage;
      }
  }
  return 0;
}

/// Writes the layout to standard output; false, after the message, when a
/// write fails (a closed pipe gives EPIPE: SIGPIPE is ignored).
bool write_standard_output(const std::function<void(OutFile&)>& fill) {
  std::fflush(stdout);
  OutFile out;
  out.fd = STDOUT_FILENO;
  fill(out);
  if (out_flush(out)) return true;
  std::fprintf(stderr, "frlayout3d: cannot write the layout to standard output: %s\n",
               std::strerror(out.error));
  return false;
}

/// Where the lines that standard output carries go: standard error when
/// the layout takes standard output.
std::FILE* console_stream(const RunSettings& s) { return s.output_stdout ? stderr : stdout; }

/// What one run holds from reading to writing.
struct Input {
  GraphHandle graph;
  int32_t nvtxs = 0;
  int32_t nedges = 0;
  ReadStatus status;
};

/// Before any work: the outputs checked (by process 0, which says what is
/// wrong), the signal handlers installed and the worker threads started.
/// Returns 0 or the exit status, the same on every process.
int prepare_run(const RunSettings& s, RunContext& run) {
  int refusal = run.processes.rank == 0 ? check_outputs(s) : 0;
  broadcast(run.processes, &refusal, sizeof refusal);
  if (refusal != 0) return refusal;
  install_signal_handlers();
  // The workers start with the ending signals blocked, so that these reach
  // the main thread, which blocks them while it names a temporary.
  const EndingSignalsBlocked blocked;
  unsigned hardware = std::thread::hardware_concurrency();
  run.threads =
      start_threads(s.threads > 0 ? s.threads : (hardware > 0 ? static_cast<int>(hardware) : 1));
  return 0;
}

/// Reads the graph on process 0, which reports a failure, and hands it to
/// the others; false on every process when it could not be read.
bool read_input(const RunSettings& s, RunContext& run, Input& in, std::string& stage) {
  const bool first = run.processes.rank == 0;
  const uint64_t read_started = clock_ns();
  stage = "reading " + s.graphFilename;
  int read = 1;
  if (first && !read_graph_file(s.input_stdin ? kStandardInputPath : s.graphFilename, s.format,
                                in.graph, in.nvtxs, in.nedges, in.status)) {
    if (in.status.cannot_open)
      std::fprintf(console_stream(s), "cannot open %s. \n", s.graphFilename.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "frlayout3d: %s\n", in.status.error.c_str());
    read = 0;
  }
  broadcast(run.processes, &read, sizeof read);
  if (read == 0) return false;
  if (run.processes.count > 1) share_graph(run.processes, in.graph, in.nvtxs, in.nedges);
  run.phase_ns[kPhaseRead] += clock_ns() - read_started;
  if (first && in.status.self_loops_dropped > 0)
    std::fprintf(stderr,
                 "frlayout3d: warning: %s: dropped %lld self-loop entr%s (a vertex listing "
                 "itself as its neighbour)\n",
                 s.graphFilename.c_str(), static_cast<long long>(in.status.self_loops_dropped),
                 in.status.self_loops_dropped == 1 ? "y" : "ies");
  return true;
}

/// The layout of the input into `posn`, with the progress line and the
/// warning about vertices left out of the octree. False, after the
/// message, for a method that has no layout step.
bool lay_out(const RunSettings& s, RunContext& run, const Input& in, Posn& posn,
             ProgressLine& line, RunTimes& times) {
  if (run.processes.rank == 0) start_progress(line, run);
  LayoutOutcome outcome;
  std::string error;
  const bool laid_out =
      layout_graph(s, run, *in.graph, in.nvtxs, in.nedges, posn, outcome, error);
  finish_progress(line);
  if (!laid_out) {
    if (run.processes.rank == 0) std::fprintf(stderr, "frlayout3d: %s\n", error.c_str());
    return false;
  }
  times = outcome.times;
  if (run.abandoned_insertions > 0 && run.processes.rank == 0)
    std::fprintf(stderr,
                 "frlayout3d: warning: %lld times a vertex could not be placed in the octree "
                 "after %d attempts; it went without repulsion for that iteration\n",
                 static_cast<long long>(run.abandoned_insertions), kMaxInsertAttempts);
  return true;
}

/// Writes the layout, the id file, the page and the export, each only
/// after the one before it succeeded.
bool write_outputs(const RunSettings& s, const Input& in, const Posn& posn,
                   const RunTimes& times) {
  const Graph& graph = *in.graph;
  const auto fill_layout = [&](OutFile& out) {
    if constexpr (file_report_header) write_report_header(out, s, times);
    write_layout(out, graph, in.nvtxs, in.nedges, posn, 3);
  };
  bool written = s.output_stdout ? write_standard_output(fill_layout)
                                 : write_file_atomically(s.layoutFilename, fill_layout);
  if (written && !in.status.original_ids.empty())
    written = write_file_atomically(ids_filename(s), [&](OutFile& out) {
      for (int32_t v = 1; v <= in.nvtxs; ++v)
        out_printf(out, "%lld\n", static_cast<long long>(in.status.original_ids[v]));
    });
  if (written && !s.html_file.empty())
    written = write_file_atomically(s.html_file, [&](OutFile& out) {
      write_html_view(out, s, times, graph, in.nvtxs, in.nedges, posn);
    });
  if (written && !s.export_file.empty())
    written = write_file_atomically(s.export_file, [&](OutFile& out) {
      write_export(out, export_format_of(s.export_file), s.graphFilename, graph, in.nvtxs, posn,
                   in.status.original_ids);
    });
  return written;
}

/// `stage` says what the run is doing, for the out-of-memory message;
/// `line` is its progress line. Every process returns the same status;
/// only process 0 prints and writes.
int run(int argc, const char* const* argv, const Processes& processes, std::string& stage,
        ProgressLine& line) {
  const bool first = processes.rank == 0;
  // Progress lines reach a log as they happen, not at exit.
  std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);
  RunSettings s;
  s.seed = static_cast<uint32_t>(std::time(nullptr));
  broadcast(processes, &s.seed, sizeof s.seed);  // the clock's seed of process 0
  std::string error;
  std::vector<std::string> warnings;
  const ParseOutcome outcome = parse_options(argc, argv, s, error, warnings);
  if (first && (outcome == ParseOutcome::kRun || outcome == ParseOutcome::kError))
    for (const std::string& warning : warnings)
      std::fprintf(stderr, "frlayout3d: warning: %s\n", warning.c_str());
  switch (outcome) {
    case ParseOutcome::kHelp:
      if (first) std::fputs(usage_text(), stdout);
      return kExitOk;
    case ParseOutcome::kVersion:
      if (first) std::printf("frlayout3d %s\n", FRLAYOUT3D_VERSION);
      return kExitOk;
    case ParseOutcome::kError:
      if (first)
        std::fprintf(stderr, "frlayout3d: %s\n(frlayout3d -help lists the options)\n",
                     error.c_str());
      return kExitUsage;
    case ParseOutcome::kRun:
      break;
  }
  RunContext run;
  run.rand15_state = s.seed;
  run.processes = processes;
  run.console = first ? console_stream(s) : nullptr;
  if (int refusal = prepare_run(s, run)) return refusal;

  Input in;
  if (!read_input(s, run, in, stage)) return kExitFailure;
  stage = "laying out " + s.graphFilename + " (" + std::to_string(in.nvtxs) + " vertices, " +
          std::to_string(in.nedges) + " edges)";
  Posn posn;
  RunTimes times{};
  if (!lay_out(s, run, in, posn, line, times)) return kExitUsage;
  if (console_report && first) print_console_report(console_stream(s), s, times);
  std::fflush(stdout);

  const uint64_t write_started = clock_ns();
  stage = "writing the output";
  int written = first ? write_outputs(s, in, posn, times) : 1;
  broadcast(processes, &written, sizeof written);
  run.phase_ns[kPhaseWrite] += clock_ns() - write_started;
  if (s.timings && first) print_timings(run, in.nvtxs, in.nedges);
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
  if (error != 0) ::unlink(temp.c_str());
  g_temporary_set = 0;
  if (error != 0) {
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
         "  -in FILE                  input graph file (default graph.graph); - reads standard\n"
         "                            input (format by -format, else by a Matrix Market\n"
         "                            banner, else metis), named \"stdin\"\n"
         "  -out FILE                 output file (default: the input name up to its last \".\",\n"
         "                            then \"sfrlayout.3dlayout\"; stdin.3dlayout for -in -);\n"
         "                            \".3dlayout\" is appended unless the name ends in it\n"
         "                            or names a device, FIFO or socket (refused);\n"
         "                            - writes standard output, and the progress lines and\n"
         "                            the report then go to standard error\n"
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
         "                            or quality (graph distances drawn faithfully: meshes\n"
         "                            and geometric graphs come out flat and even;\n"
         "                            -friterations, -wellseparatedratio and -frepsilon do\n"
         "                            not apply to it)\n"
         "  -timings                  print the time of each phase on standard error\n"
         "  -html FILE                also write FILE, a self-contained page that shows the\n"
         "                            drawing in 3D in a web browser\n"
         "  -export FILE              also write the layout as GraphML (FILE ending in\n"
         "                            \".graphml\") or as VTK polydata (ending in \".vtk\")\n"
         "  -h, -help, --help         print this text and exit\n"
         "  -version, --version       print the version and exit\n"
         "\n"
         "An argument that matches no option is ignored, and so is text glued to an option\n"
         "(-in=FILE takes the next argument); a number value is read up to its first other\n"
         "character (10k as 10, abc as 0). Each of these draws a warning on standard error.\n"
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
         "     line), an output file (an earlier file at its path is kept) or, with -out -,\n"
         "     standard output could not be written, or memory ran out\n"
         "  2  the command line is unusable (an option without a value, a value out of range,\n"
         "     an unknown -format)\n";
}

int run_frlayout3d(int argc, const char* const* argv, const Processes& processes) {
  std::string stage = "starting";
  ProgressLine line;
  try {
    return run(argc, argv, processes, stage, line);
  } catch (const std::bad_alloc&) {
    finish_progress(line);
    std::fflush(stdout);
    std::fprintf(stderr, "frlayout3d: out of memory while %s\n", stage.c_str());
    // The other processes wait in the next exchange: end them too.
    if (processes.count > 1) abort_processes(kExitFailure);
    return kExitFailure;
  }
}

void share_graph(const Processes& processes, GraphHandle& graph, int32_t& nvtxs,
                 int32_t& nedges) {
  int64_t sizes[3] = {nvtxs, nedges, graph ? static_cast<int64_t>(graph->block.size()) : 0};
  broadcast(processes, sizes, sizeof sizes);
  nvtxs = static_cast<int32_t>(sizes[0]);
  nedges = static_cast<int32_t>(sizes[1]);
  if (processes.rank != 0) {
    graph = std::make_unique<Graph>();
    graph->adj.assign(static_cast<size_t>(nvtxs) + 1, AdjacencyList{0, nullptr});
    graph->block.resize(static_cast<size_t>(sizes[2]));
  }
  // The lists lie back to back in vertex order: their counts and the block
  // say everything.
  std::vector<int32_t> counts(static_cast<size_t>(nvtxs) + 1);
  for (int32_t v = 1; processes.rank == 0 && v <= nvtxs; ++v) counts[v] = graph->adj[v].count;
  broadcast(processes, counts.data(), static_cast<int64_t>(counts.size() * sizeof(int32_t)));
  broadcast(processes, graph->block.data(),
            static_cast<int64_t>(graph->block.size() * sizeof(int32_t)));
  if (processes.rank == 0) return;
  for (int32_t v = 1; v <= nvtxs; ++v) graph->adj[v].count = counts[v];
  rebuild_entry_pointers(*graph, nvtxs);
}
