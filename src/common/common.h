// What every subsystem shares: the run record (the rand15 generator, the
// time accumulators, counters, progress observers, the worker threads and
// the switches of tests and benchmarks), the clocks, the build-time
// switches and the memory guard.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/parallel.h"

/// Console run report and per-level progress lines on standard output.
inline constexpr bool console_report = true;
/// The "%" report header at the top of the output file.
inline constexpr bool file_report_header = true;
/// One "coarsegraph_<step>.3dlayout" file per level.
inline constexpr bool level_dump = false;

/// Whether `text` ends in `suffix` (letter case counts).
inline bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// Elapsed wall-clock milliseconds since an arbitrary origin.
uint32_t clock_ms();

/// A millisecond count as reported: the count times the single-precision
/// value of 0.001, so 10527 ms reads 10.527001.
double ms_to_seconds(uint32_t ms);

/// Phases whose wall time the tool keeps for "-timings".
enum Phase { kPhaseRead, kPhaseCoarsen, kPhaseSmooth, kPhaseBuild, kPhaseRepulse,
             kPhaseAttract, kPhaseMove, kPhaseWrite, kPhaseCount };
/// Nanoseconds since an arbitrary origin.
uint64_t clock_ns();

/// Observers of a long run (null: none), called on the thread that runs
/// the layout with `user` as their first argument: when a level's
/// iterations start, and at every iteration.
struct ProgressHooks {
  void* user = nullptr;
  void (*level_start)(void* user, int32_t step, int32_t nvtxs, int32_t iterations) = nullptr;
  void (*iteration)(void* user, int32_t iteration, int32_t iterations) = nullptr;
};

/// The processes of one run: this one's number and how many there are.
/// Process 0 reads the input, writes the outputs and prints; the others
/// lay out beside it and print nothing.
struct Processes {
  int rank = 0;
  int count = 1;
};

/// Whether this build can run on several processes (built with MPI).
bool processes_available();
/// Joins the processes started together (mpirun); one process in a build
/// without MPI. Call once, first.
Processes start_processes(int& argc, char**& argv);
/// Leaves the group; call once, last, on every process.
void finish_processes();
/// Ends every process at once with `status` (after an error on one).
[[noreturn]] void abort_processes(int status);
/// The items [first, end) of 0..n-1 that process `rank` of `count` takes:
/// contiguous, in order, sizes differing by at most one.
void process_block(int64_t n, int rank, int count, int64_t& first, int64_t& end);
/// `data` holds n items of `width` doubles; each process has filled its
/// own block (process_block). Afterwards every process has them all.
void share_blocks(const Processes& processes, double* data, int64_t n, int width);
/// Whether `ok` holds on every process.
bool all_ok(const Processes& processes, bool ok);
/// Process 0's `bytes` bytes at `data` to every process.
void broadcast(const Processes& processes, void* data, int64_t bytes);

/// Everything of one layout run besides its data: the random generator,
/// the time accumulators and counters it reports, its progress observers,
/// its worker threads and the switches that tests and benchmarks set. A
/// run owns one and hands it down; nothing of a run lives anywhere else,
/// so runs one after the other, or at once on several threads, each with
/// its own record, do not meet.
struct RunContext {
  uint32_t rand15_state = 0;           ///< the state of rand15; the seed at the start
  uint32_t coarsening_time = 0;        ///< milliseconds spent coarsening
  uint32_t barycentralizing_time = 0;  ///< milliseconds spent smoothing
  uint64_t phase_ns[kPhaseCount] = {}; ///< nanoseconds spent in each phase
  /// Times a vertex was left out of an iteration's octree after being
  /// refused too often (it neither felt nor exerted repulsion there).
  int64_t abandoned_insertions = 0;
  /// Nanoseconds per vertex per iteration of the last level laid out (the
  /// finest, once the run is over); 0 before any iteration.
  double finest_ns_per_vertex_iteration = 0;
  /// Levels of the last multilevel layout, the input's included: one more
  /// than the step of its coarsest level.
  int32_t levels = 0;
  ProgressHooks progress;
  /// Where the level lines and the refusal lines go; null: nowhere.
  std::FILE* console = stdout;
  Threads threads;  ///< one thread unless the owner starts more
  Processes processes;  ///< one process unless started by mpirun
  /// Repulsion walks four lanes at a time where the processor allows it
  /// (the bits are the same either way).
  bool vector_walk = true;
  /// Levels of at least this many vertices build their octree by the
  /// root's octants when more than one thread runs (the output is the same
  /// for any value). Below 2^17 vertices, one vertex at a time is as fast
  /// on two threads, and the tree (some 240 bytes a vertex) stays in a
  /// 32 MB cache, where the octant build's depth-first layout buys the
  /// walk nothing.
  int32_t min_octant_build = 1 << 17;
};

/// Linear congruential generator on the run's state: s <- s*214013 +
/// 2531011 (mod 2^32), result (s >> 16) & 0x7FFF, a uniform integer in
/// 0..32767.
inline int32_t rand15(RunContext& run) {
  run.rand15_state = run.rand15_state * 214013u + 2531011u;
  return static_cast<int32_t>((run.rand15_state >> 16) & 0x7FFFu);
}

/// Bytes of physical memory of the machine (0 when unknown).
int64_t physical_memory_bytes();

/// Least memory a layout takes per vertex (graph record, positions,
/// displacements, smoothing copy, octree nodes), used to refuse at once a
/// vertex count the machine cannot hold instead of running out midway.
/// Measured as the peak resident size over the vertex count of a run on
/// 10^6 vertices without edges (580 bytes; a grid takes 637, a
/// preferential-attachment graph 655).
inline constexpr int64_t kLayoutBytesPerVertex = 576;

/// Empty when nvtxs vertices fit in this machine's memory; otherwise says
/// how much they would need.
std::string vertex_count_refusal(int64_t nvtxs);
