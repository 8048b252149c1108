// Process-wide helpers shared by every subsystem: the rand15 generator, the
// millisecond clock, the two time accumulators and the build-time switches.
#pragma once

#include <cstdint>
#include <string>

/// Console run report and per-level progress lines on standard output.
inline constexpr bool console_report = true;
/// The "%" report header at the top of the output file.
inline constexpr bool file_report_header = true;
/// One "coarsegraph_<step>.3dlayout" file per level.
inline constexpr bool level_dump = false;

/// Sets the 32-bit state of rand15.
void seed_rand15(uint32_t seed);
/// The current 32-bit state of rand15 (for tests and diagnostics).
uint32_t rand15_state();
/// Linear congruential generator: s <- s*214013 + 2531011 (mod 2^32),
/// result (s >> 16) & 0x7FFF, a uniform integer in 0..32767.
int32_t rand15();

/// Elapsed wall-clock milliseconds since an arbitrary origin.
uint32_t clock_ms();

/// Milliseconds spent coarsening; only the multilevel driver adds to it.
extern uint32_t coarsening_time;
/// Milliseconds spent smoothing; only frlayout adds to it.
extern uint32_t barycentralizing_time;

/// A millisecond count as reported: the count times the single-precision
/// value of 0.001, so 10527 ms reads 10.527001.
double ms_to_seconds(uint32_t ms);

/// Phases whose wall time the tool keeps for "-timings".
enum Phase { kPhaseRead, kPhaseCoarsen, kPhaseSmooth, kPhaseBuild, kPhaseRepulse,
             kPhaseAttract, kPhaseMove, kPhaseWrite, kPhaseCount };
/// Nanoseconds spent in each phase so far.
extern uint64_t phase_ns[kPhaseCount];
/// Nanoseconds since an arbitrary origin.
uint64_t clock_ns();

/// Progress observers for long runs (null: none), called on the layout
/// thread: when a level's frlayout starts, and at every iteration.
extern void (*on_level_start)(int32_t step, int32_t nvtxs, int32_t iterations);
extern void (*on_iteration)(int32_t iteration, int32_t iterations);

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
