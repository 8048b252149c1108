// The steps of the quality method, for its own files and their tests.
// Everything here is 0-based: a component is a compressed adjacency
// structure of its own, positions are x, y, z per vertex back to back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/parallel.h"
#include "graph/graph.h"

/// One connected component: the neighbours of v are
/// adjncy[xadj[v] .. xadj[v+1]-1]; vertex[v] is v's number in the graph.
struct Component {
  int32_t n = 0;
  std::vector<int64_t> xadj;
  std::vector<int32_t> adjncy;
  std::vector<int32_t> vertex;
};

/// The connected components of graph in order of their smallest vertex:
/// members lists component c's vertices increasing from members[start[c]]
/// to members[start[c+1]-1], and local[v] (1-based v) is v's place there.
void find_components(const Graph& graph, int32_t nvtxs, std::vector<int32_t>& local,
                     std::vector<int32_t>& members, std::vector<int32_t>& start);

/// Component c as its own adjacency structure (reusing part's storage).
void extract_component(const Graph& graph, const std::vector<int32_t>& local,
                       const std::vector<int32_t>& members, const std::vector<int32_t>& start,
                       int32_t c, Component& part);

/// The most pivots a component may have.
inline constexpr int32_t kMaxPivots = 256;

/// Pivots and hop distances to them.
struct Pivots {
  int32_t count = 0;
  std::vector<int32_t> vertex;  ///< the pivots, in the order they were chosen
  std::vector<int32_t> dist;    ///< dist[v * count + i]: hops from v to pivot i
  /// closer[first[i] + h]: vertices whose nearest pivot is i (lowest index
  /// on ties) and that lie at most h hops from it; h up to i's farthest.
  std::vector<int64_t> closer;
  std::vector<int64_t> first;
};

/// Hop distances from source into dist (-1: not reached), using queue.
void bfs(const Component& part, int32_t source, std::vector<int32_t>& dist,
         std::vector<int32_t>& queue);

/// Chooses min(wanted, n, kMaxPivots) pivots, the first `first`, each next one a vertex
/// farthest from those chosen (lowest number on ties), with the distances.
void choose_pivots(const Component& part, int32_t wanted, int32_t first, Pivots& pivots);

/// Classical scaling of the pivot distances (pivot MDS): xyz gets 3 numbers
/// per vertex, scaled so that distances match hops to the pivots best.
void pivot_mds(const Threads& threads, const Component& part, const Pivots& pivots,
               std::vector<double>& xyz);

/// The vertices two hops from each vertex, at most `cap` of them: the
/// first met going through its neighbours and theirs in list order.
struct SecondNeighbours {
  std::vector<int64_t> xadj;
  std::vector<int32_t> adjncy;
};
void second_neighbours(const Component& part, int32_t cap, SecondNeighbours& ring);

/// Sparse stress majorization: every edge wants length 1, every second
/// neighbour length 2, every pivot its hop distance (weighted by the
/// vertices it stands for). At most max_iterations Jacobi sweeps, stopping
/// once no vertex moves more than tolerance.
void sparse_stress(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                   const Pivots& pivots, int32_t max_iterations, double tolerance,
                   std::vector<double>& xyz);

/// The sum of the weights of v's stress terms.
double term_weight(const Component& part, const SecondNeighbours& ring, const Pivots* pivots,
                   int32_t v);

/// Where one sweep puts v: the least of its stress terms with the others
/// held at xyz (no pivot terms when pivots is null; every length times
/// `unit`, the drawing's length of one hop), then moved by push (null:
/// none) divided by the terms' weight. Returns how far that is from v's
/// place.
double place(const Component& part, const SecondNeighbours& ring, const Pivots* pivots,
             const std::vector<double>& xyz, int32_t v, const double* push, double unit,
             double* out);

/// Adds to grad the gradient at v of the second-neighbour and pivot
/// stress terms, sum w (|x_v - x_u| - unit d)^2 / 2, and to fit[0] and
/// fit[1] the sums of w |x_v - x_u| d and w d^2 (whose ratio is the unit
/// that fits those terms best).
void stress_gradient(const SecondNeighbours& ring, const Pivots& pivots,
                     const std::vector<double>& xyz, int32_t v, double unit, double* grad,
                     double* fit);

/// The spreading sweeps: the edge and second-neighbour terms only, plus a
/// repulsion alpha * (x_v - x_u) / |x_v - x_u|^2 between all vertices
/// (from an octree: groups whose cell is small for their distance, below
/// `ratio`, taken at their centre of mass), alpha falling geometrically
/// from `first` to `last` times the ratio of the summed term weights to
/// the summed repulsion of the first sweep.
struct Spread {
  int32_t sweeps = 0;
  double first = 0;
  double last = 0;
  double ratio = 0.6;
};
void spread_stress(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                   const Spread& spread, std::vector<double>& xyz);

/// Neighbour embedding of a stress drawing (units of hops in and out):
/// the divergence of the graph's affinities (1/deg v + 1/deg u over 2n on
/// each edge) from the drawing's similarities 1 / (1 + d^2), descended
/// with early exaggeration, momentum and gains, its repulsion summed on
/// an octree; every sweep also pulled towards the graph distances of the
/// second-neighbour and pivot terms and moved part of the way to where
/// stress majorization would put it.
void embed_neighbours(const Threads& threads, const Component& part, const SecondNeighbours& ring,
                      const Pivots& pivots, std::vector<double>& xyz);
/// The mean, over `samples` vertices spread evenly through the numbering,
/// of the Jaccard index of a vertex's neighbours and its as many nearest
/// vertices in the drawing: how well the drawing keeps neighbourhoods.
double sampled_neighbourhoods(const Threads& threads, const Component& part,
                              const std::vector<double>& xyz, int32_t samples);

/// Least and greatest coordinate of xyz (x, y, z per vertex) on each axis;
/// zeros when xyz is empty.
void bounding_box(const std::vector<double>& xyz, double* lo, double* hi);

/// Places boxes (extent[3 * c + a]: the size of box c on axis a, boxes in
/// decreasing order of size) in rows on the x-y plane, one unit apart, the
/// rows filling a square; centre[3 * c + a] is where box c's centre goes.
void pack_boxes(const std::vector<double>& extent, std::vector<double>& centre);

/// Vertices per block of the sums over all vertices. Each block is summed
/// on its own and the blocks in order, so no sum depends on the threads.
inline constexpr int64_t kSumBlock = 4096;

/// Sums f(v, partial) over the vertices block by block into `partials`
/// (size doubles per block) and returns their sum, block by block.
template <typename F>
inline std::vector<double> block_sums(const Threads& threads, int32_t n, size_t size, const F& f) {
  const int64_t blocks = (n + kSumBlock - 1) / kSumBlock;
  std::vector<double> partials(static_cast<size_t>(blocks) * size, 0.0);
  parallel_for(threads, 0, blocks, 1, [&](int, int64_t b0, int64_t b1) {
    for (int64_t b = b0; b < b1; ++b) {
      double* partial = &partials[static_cast<size_t>(b) * size];
      const int64_t end = std::min<int64_t>(n, (b + 1) * kSumBlock);
      for (int64_t v = b * kSumBlock; v < end; ++v) f(static_cast<int32_t>(v), partial);
    }
  });
  std::vector<double> total(size, 0.0);
  for (int64_t b = 0; b < blocks; ++b)
    for (size_t j = 0; j < size; ++j) total[j] += partials[static_cast<size_t>(b) * size + j];
  return total;
}

