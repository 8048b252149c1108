// Force-directed layout of one level: random placement, smoothing towards
// the neighbours' mean, fitting to the drawing area, and frlayout.
#pragma once

#include <cstdint>

#include "graph/graph.h"

/// Places every vertex at a random point of [0,X)x[0,Y)x[0,Z): three
/// rand15 draws per vertex, x then y then z, vertex by vertex.
void random_placement(int32_t nvtxs, double X, double Y, double Z, Posn& posn);

/// `passes` Jacobi passes moving every vertex halfway towards the mean of
/// its neighbours (a vertex without neighbours stays), then one fit.
void barycentralize(const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
                    int32_t passes, Posn& posn);

/// Rescales each axis so that its least coordinate becomes 0 and its
/// greatest the extent. An axis on which all vertices agree is set to the
/// middle of the extent.
void fit_to_drawing_area(int32_t nvtxs, double X, double Y, double Z, Posn& posn);

/// Lays out one level with n force-directed iterations (octree repulsion,
/// exact attraction, moves bounded by a linearly falling temperature).
/// keep_positions false starts from a random placement. Prints a refusal
/// line per refused octree insertion and adds its smoothing time to
/// barycentralizing_time.
void frlayout(const Graph& graph, int32_t nvtxs, double X, double Y, double Z, double k,
              int32_t n, double ratio, double epsilon, Posn& posn, bool keep_positions);

/// Insertion attempts for one vertex in one iteration before it is left out
/// of that iteration's octree.
inline constexpr int kMaxInsertAttempts = 100;

/// Vertices left out of an iteration's octree after kMaxInsertAttempts
/// refusals, over the whole run (such a vertex neither feels nor exerts
/// repulsion in that iteration).
extern int64_t abandoned_insertions;

/// Nanoseconds per vertex per iteration of the last frlayout call (the
/// finest level, once a run is over); 0 before any iteration.
double finest_ns_per_vertex_iteration();

/// Levels of at least this many vertices build their octree by the root's
/// octants when more than one thread runs (default 2^17). For tests and
/// benchmarks; the output is the same for any value. Returns the value it
/// replaces.
int32_t set_octant_build_threshold(int32_t nvtxs);
