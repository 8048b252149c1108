// The run driver: command-line options, output naming, the run itself and
// its report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/common.h"
#include "graph/graph.h"

/// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
/// The input could not be read, the output could not be written, or memory
/// ran out.
inline constexpr int kExitFailure = 1;
/// The command line is unusable (a missing or senseless option value).
inline constexpr int kExitUsage = 2;

/// The run settings, as the command line leaves them.
struct RunSettings {
  std::string graphFilename = "graph.graph";
  std::string layoutFilename;
  int32_t friterations = 50;
  int32_t bciterations = 5;
  double wellseparatedratio = 0.6;
  double frepsilon = 0.00001;
  bool seed_given = false;
  uint32_t seed = 0;
  int threads = 0;       ///< 0: one per hardware thread
  bool timings = false;  ///< phase times on standard error
  std::string format;       ///< input format named by "-format"; empty: by file name
  std::string html_file;    ///< "-html": the viewer page to write, if any
  std::string export_file;  ///< "-export": the exchange-format file to write, if any
  std::string method = "frlayout";  ///< "-method": the layout method's name
  /// "-in -": the graph comes from standard input; graphFilename is then
  /// "stdin", the name reports and messages show.
  bool input_stdin = false;
  /// "-out -": the layout goes to standard output (layoutFilename is "-"),
  /// and the level lines and the report to standard error.
  bool output_stdout = false;
};

/// The drawing area as a layout method receives it and leaves it.
struct DrawingArea {
  double X;
  double Y;
  double Z;
};

/// A layout method: lays the graph out into posn (allocated for nvtxs
/// vertices), starting from the drawing area and leaving the final one.
using LayoutMethod = void (*)(const RunSettings& s, RunContext& run, const Graph& graph,
                              int32_t nvtxs, int32_t nedges, Posn& posn, DrawingArea& area);

/// A layout method "-method" can name, how the report names it, and the
/// method itself.
struct MethodSpec {
  const char* name;
  const char* algorithmname;
  LayoutMethod lay_out;
};

/// The method of that name, or null.
const MethodSpec* find_method(const std::string& name);
/// The names of the methods, as a message lists them ("a, b or c").
std::string method_names();

/// The times of one run, in milliseconds.
struct RunTimes {
  uint32_t total;
  uint32_t coarsening;
  uint32_t barycentralizing;
};

/// What a layout gives back besides the positions.
struct LayoutOutcome {
  RunTimes times{};
  double extent[3] = {};  ///< the final drawing area: x, y and z run from 0 to these
  int32_t levels = 0;     ///< levels laid out, the input's included
};

/// Lays out vertices 1..nvtxs of `graph` into `posn` (allocated here) with
/// the method s.method names, its iterations, ratio and tolerance, drawing
/// on run's generator and threads and printing only on run.console. The
/// one layout step of the tool and of the library. False with `error` set
/// when no method has that name.
bool layout_graph(const RunSettings& s, RunContext& run, const Graph& graph, int32_t nvtxs,
                  int32_t nedges, Posn& posn, LayoutOutcome& outcome, std::string& error);

/// One row of the run report: "LABEL:TABS VALUE" (times followed by "sec").
struct ReportRow {
  const char* label;
  const char* console_tabs;  ///< tabs after the label on the console
  const char* header_tabs;   ///< tabs after the label in the file's header
  std::string value;
  bool seconds;              ///< a time in seconds
};

/// The report's rows, in order.
std::vector<ReportRow> report_rows(const RunSettings& s, const RunTimes& t);
/// The report on `to` (standard output, or standard error when the layout
/// goes to standard output), after an empty line.
void print_console_report(std::FILE* to, const RunSettings& s, const RunTimes& t);
/// The report as "%" lines at the top of the output file.
void write_report_header(OutFile& out, const RunSettings& s, const RunTimes& t);

enum class ParseOutcome { kRun, kHelp, kVersion, kError };

/// Scans argv[0..argc-1] (the program name included) for options, each
/// matched as a prefix of the argument and followed by its value; a later
/// occurrence wins, unknown arguments are skipped. graphFilename starts as
/// "graph.graph" and layoutFilename is derived at the end. On kError,
/// `error` says what is wrong. `warnings` gets one line (without
/// "frlayout3d: warning: ") for every argument after argv[0] that is
/// skipped, has text after an option that is not a longer spelling of it
/// ("-in=g.graph"), or is a value read only in part ("10k" read as 10).
ParseOutcome parse_options(int argc, const char* const* argv, RunSettings& settings,
                           std::string& error, std::vector<std::string>& warnings);

/// The output name: from the input name when `given` is empty (cut at the
/// last ".", then "sfrlayout.3dlayout"; "stdin.3dlayout" for standard
/// input, "-"), else `given` with ".3dlayout" appended unless it already
/// ends in exactly that or names an existing device, FIFO or socket (or a
/// link to one); "-" (standard output) stays as it is.
std::string derive_layout_filename(const std::string& graph_filename, const std::string& given);

/// Writes a file through a temporary file beside `path`, renamed into place
/// once `fill` has written everything without error. On failure prints
/// "frlayout3d: cannot write PATH: REASON" on standard error, leaves
/// nothing new at `path` and returns false.
bool write_file_atomically(const std::string& path, const std::function<void(OutFile&)>& fill);

/// Writes the "-html" viewer page: the embedded viewer with the graph's
/// name (the file name without its directories), nvtxs, nedges, the run
/// report's rows after the file name (times in " s"), the positions of vertices 1..nvtxs as base64 of little-endian
/// 32-bit floats (x, y, z per vertex) and the distinct edges as base64 of
/// little-endian 32-bit pairs of 0-based vertex indices.
void write_html_view(OutFile& out, const RunSettings& settings, const RunTimes& times,
                     const Graph& graph, int32_t nvtxs, int32_t nedges, const Posn& posn);

/// The live progress line of a run on a terminal's standard error.
struct ProgressLine {
  bool active = false;
  uint32_t started_ms = 0;
  uint32_t shown_ms = 0;     ///< when the line was last written
  int32_t deepest_step = -1; ///< step of the coarsest level, the first laid out
  int32_t step = 0;
  int32_t nvtxs = 0;
  size_t shown = 0;          ///< characters of the line on screen, 0 for none
};

/// When standard error is a terminal, gives the run observers that keep
/// `line` there up to date with the level, the iteration and the elapsed
/// time; otherwise does nothing. `line` must outlive the run's layout.
void start_progress(ProgressLine& line, RunContext& run);
/// Erases the progress line, if any; its observers then do nothing more.
void finish_progress(ProgressLine& line);

/// The usage text printed for -h, -help and --help.
const char* usage_text();

/// The whole run on this process of `processes` (one unless started by
/// mpirun); returns the exit status, the same on every process.
int run_frlayout3d(int argc, const char* const* argv, const Processes& processes = Processes{});

/// Gives every process process 0's graph (the others' handles are filled).
void share_graph(const Processes& processes, GraphHandle& graph, int32_t& nvtxs,
                 int32_t& nedges);
