// Multilevel coarsening: random matching, contraction into the next coarser
// graph, the level parameters and the recursive multilevel driver.
#pragma once

#include <cstdint>
#include <vector>

#include "common/common.h"
#include "graph/graph.h"

/// The parameter set of one level of the recursion, passed by value. X, Y,
/// Z and k are shared by all levels.
struct LayoutLevel {
  const Graph* graph;
  int32_t nvtxs;
  int32_t nedges;
  double* X;
  double* Y;
  double* Z;
  double* k;
  int32_t friterations;
  double wellseparatedratio;
  double frepsilon;
  Posn* posn;
  int32_t coarsest_threshold;
  int32_t step;
  RunContext* run;  ///< the run's generator, clocks, threads and console
};

/// Shuffles order[1..n] with a forward Fisher-Yates shuffle, two rand15
/// draws per swap (none when n <= 1).
void random_permutation(RunContext& run, std::vector<int32_t>& order, int32_t n);

/// Which of c >= 2 free neighbours (1-based, in list order) a draw r picks:
/// the first m with m >= ((r / 32768) * c) * 0.999999.
int32_t matching_choice(int32_t r, int32_t c);

/// Random maximal matching along the edges; match[v] is v's partner or 0.
/// Returns the number of pairs.
int32_t random_matching(RunContext& run, const Graph& graph, int32_t nvtxs,
                        std::vector<int32_t>& match);

/// Numbers coarse vertices 1.. in increasing order of their smallest member.
void number_coarse_vertices(const std::vector<int32_t>& match, int32_t nvtxs,
                            std::vector<int32_t>& coarse_of);

/// Stable counting sort of the fine vertices by coarse vertex: the members
/// of c are members[start[c] .. start[c+1]-1], in increasing order.
void bucket_by_coarse(int32_t nvtxs, int32_t cnvtxs, const std::vector<int32_t>& coarse_of,
                      std::vector<int32_t>& members, std::vector<int32_t>& start);

/// After a matching that removes fewer than a tenth of the vertices (a
/// star, many small components), pairs more of the free vertices, without
/// drawing: two free vertices that share a neighbour, in each list's order,
/// then free vertices without neighbours, two by two. Returns the number
/// of pairs added.
int32_t pair_leftovers(const Graph& graph, int32_t nvtxs, std::vector<int32_t>& match);

/// Builds the coarse graph for the given map: coarse neighbours in order
/// of first meeting, the edge inside a pair dropped, parallel edges merged.
/// `loose_pairs` counts pairs not joined by an edge, which drop no entries.
void contract_graph(const Graph& graph, int32_t nvtxs, int32_t nedges, GraphHandle& cgraph,
                    int32_t cnvtxs, int32_t& cnedges, const std::vector<int32_t>& coarse_of,
                    int32_t loose_pairs = 0);

/// One coarsening step: matching, numbering and contraction.
void coarsen_graph(RunContext& run, const Graph& graph, int32_t nvtxs, int32_t nedges,
                   GraphHandle& cgraph, int32_t& cnvtxs, int32_t& cnedges,
                   std::vector<int32_t>& coarse_of);

/// Fills the first `axes` axes of `fine` from `coarse`: each fine vertex at
/// its coarse vertex plus a random offset of less than k (one draw per
/// vertex and axis, axis by axis; odd vertices up, even ones down).
void prolong_positions(RunContext& run, Posn& fine, const Posn& coarse, int32_t axes,
                       int32_t nvtxs, double k, const std::vector<int32_t>& coarse_of);

/// Lays out level.graph into *level.posn: coarsens down to a level of at
/// most coarsest_threshold vertices, lays that out from random positions
/// and refines on the way back up.
void coarsen_multilevel(LayoutLevel level);

/// The ideal distance of the coarsest level, (((X*Y)*Z)/nvtxs)^(1/3).
double coarsest_k(double X, double Y, double Z, int32_t nvtxs);
/// The ideal distance of a refined level, (((Z*X)*Y)/nvtxs)^(1/3).
double refined_k(double X, double Y, double Z, int32_t nvtxs);

/// A matching that removes fewer than 1/kMinShrinkDivisor of the vertices
/// is completed by pair_leftovers; a step that still removes fewer ends
/// the coarsening (the level is laid out as the coarsest). This bounds the
/// depth and the memory of all levels alive at once.
inline constexpr int32_t kMinShrinkDivisor = 10;
