// Force-directed layout of one level: random placement, smoothing towards
// the neighbours' mean, fitting to the drawing area, and frlayout.
#pragma once

#include <cstdint>

#include "common/common.h"
#include "graph/graph.h"

/// Places every vertex at a random point of [0,X)x[0,Y)x[0,Z): three
/// rand15 draws per vertex, x then y then z, vertex by vertex.
void random_placement(RunContext& run, int32_t nvtxs, double X, double Y, double Z,
                      Posn& posn);

/// `passes` Jacobi passes moving every vertex halfway towards the mean of
/// its neighbours (a vertex without neighbours stays), then one fit.
void barycentralize(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y,
                    double Z, int32_t passes, Posn& posn);

/// Rescales each axis so that its least coordinate becomes 0 and its
/// greatest the extent. An axis on which all vertices agree is set to the
/// middle of the extent.
void fit_to_drawing_area(const Threads& threads, int32_t nvtxs, double X, double Y, double Z,
                         Posn& posn);

/// Lays out one level with n force-directed iterations (octree repulsion,
/// exact attraction, moves bounded by a linearly falling temperature).
/// keep_positions false starts from a random placement. Prints a refusal
/// line per refused octree insertion on run.console and adds its smoothing
/// time to run.barycentralizing_time.
void frlayout(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
              double k, int32_t n, double ratio, double epsilon, Posn& posn,
              bool keep_positions);

/// Insertion attempts for one vertex in one iteration before it is left out
/// of that iteration's octree.
inline constexpr int kMaxInsertAttempts = 100;

