// Folder-private pieces of the layout: the smoothing with a reusable copy,
// the formulas of one iteration (pull, step, temperature, nudge) and the
// two forms of the attraction pass, shared by the layout's files and its
// tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/common.h"
#include "graph/graph.h"

/// barycentralize with a caller-owned working copy (resized as needed), so
/// that repeated calls allocate nothing.
void barycentralize_with(RunContext& run, const Graph& graph, int32_t nvtxs, double X, double Y, double Z,
                         int32_t passes, Posn& posn, std::vector<double>& work);

/// Smoothing passes before the first iteration of a level.
inline constexpr int32_t kInitialSmoothingPasses = 5;
/// Factor applied to the repulsive force.
inline constexpr double kRepulsionScale = 0.01;

/// Smoothing passes at the start of each of n iterations: 2 when n is a
/// multiple of 5, else none.
inline int32_t periodic_smoothing_passes(int32_t n) { return n % 5 == 0 ? 2 : 0; }

/// The largest move of iteration i of n: a tenth of the y extent in the
/// first, then falling linearly from k, k * (1 - (i-1)/n), to 2k/n in the
/// last.
inline double temperature(int32_t i, int32_t n, double k, double Y) {
  if (i == 0) return 0.1 * Y;
  return k * (1 - static_cast<double>(i - 1) / n);
}

/// The pull along one edge, from the delta from its higher to its lower
/// end: (delta / d) * d^2/k on each axis, d at least epsilon.
inline void edge_pull(const double* delta, double k, double epsilon, double* pull) {
  double d = std::sqrt((delta[3] * delta[3] + delta[2] * delta[2]) + delta[1] * delta[1]);
  if (epsilon > d) d = epsilon;
  const double f = d * d / k;
  for (int a = 1; a <= 3; ++a) pull[a] = (delta[a] / d) * f;
}

/// The step of a vertex with displacement disp[1..3]: along it, by its
/// length L (at least epsilon) or t, whichever is smaller.
inline void move_step(const double* disp, double t, double epsilon, double* step) {
  double L = std::sqrt((disp[3] * disp[3] + disp[2] * disp[2]) + disp[1] * disp[1]);
  if (epsilon > L) L = epsilon;
  const double s = L < t ? L : t;
  for (int a = 1; a <= 3; ++a) step[a] = (disp[a] / L) * s;
}

/// Moves a refused vertex at least 2 and less than 3 epsilon towards the
/// middle of each axis (from the exact middle, downwards), and at least
/// four units in the last place of its coordinate, which a tiny epsilon on
/// a large drawing area would not.
inline double nudged(RunContext& run, double c, double extent, double epsilon) {
  double r = rand15(run);
  const double least = 4 * (std::nextafter(std::fabs(c), INFINITY) - std::fabs(c));
  const double step = std::max(epsilon * (r / 32768 + 2), least);
  if (extent - c > c) return c + step;
  return c - step;
}

/// A level's edges arranged for the attraction on several threads. Each
/// edge is handled once, from its lower-numbered end, in a slot numbered in
/// the order of the one-pass loop: the slots of vertex j's edges to higher
/// vertices are [upper_start[j], upper_start[j+1]), and
/// lower_slot[lower_start[u] .. lower_start[u+1]) lists the slots of the
/// edges from lower vertices to u, in that same order.
struct EdgeSlots {
  bool numbered = false;  ///< tried already on this level; empty arrays if too many
  std::vector<int32_t> upper_start;
  std::vector<int32_t> lower_start;
  std::vector<int32_t> lower_slot;
  std::vector<double> term;  ///< the pull along each slot's edge: x, y, z
};

/// Pulls the two ends of every edge towards each other with d^2/k, adding
/// to disp: each edge once, from its lower-numbered end, which subtracts
/// the pull while its neighbour adds it, edge by edge in vertex and list
/// order.
void attraction_in_one_pass(const Graph& graph, int32_t nvtxs, double k, double epsilon,
                            const Posn& posn, Posn& disp);

/// Numbers the slots of a level's edges; false when they are too many for
/// 32-bit slot numbers.
bool number_edge_slots(const Graph& graph, int32_t nvtxs, EdgeSlots& slots);

/// The same sums as attraction_in_one_pass, on several threads, through
/// numbered slots; the same bits.
void attraction_by_slots(const Threads& threads, const Graph& graph, int32_t nvtxs, double k,
                         double epsilon, const Posn& posn, Posn& disp, EdgeSlots& slots);
