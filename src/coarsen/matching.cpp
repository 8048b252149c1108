// Random matching: a shuffled visit order, then every free vertex with a
// free neighbour is paired with one of them, chosen by one rand15 draw when
// there are two or more.
#include "coarsen/coarsen.h"
#include "common/common.h"

void random_permutation(RunContext& run, std::vector<int32_t>& order, int32_t n) {
  if (n <= 1) return;
  for (int32_t i = 1; i <= n - 1; ++i) {
    uint32_t a = static_cast<uint32_t>(rand15(run));
    uint32_t b = static_cast<uint32_t>(rand15(run));
    uint32_t r = (a << 16) | b;
    uint32_t j = static_cast<uint32_t>(i) + r % static_cast<uint32_t>(n - i + 1);
    std::swap(order[i], order[j]);
  }
}

int32_t matching_choice(int32_t r, int32_t c) {
  const double threshold = ((static_cast<double>(r) / 32768) * c) * 0.999999;
  int32_t m = 1;
  while (m < threshold) ++m;
  return m;
}

int32_t random_matching(RunContext& run, const Graph& graph, int32_t nvtxs,
                        std::vector<int32_t>& match) {
  std::vector<int32_t> order(static_cast<size_t>(nvtxs) + 1);
  for (int32_t v = 1; v <= nvtxs; ++v) {
    order[v] = v;
    match[v] = 0;
  }
  random_permutation(run, order, nvtxs);
  int32_t pairs = 0;
  for (int32_t p = 1; p <= nvtxs; ++p) {
    const int32_t v = order[p];
    if (match[v] != 0) continue;
    const AdjacencyList& list = graph.adj[v];
    if (list.count <= 1) continue;
    int32_t c = 0;
    int32_t candidate = 0;
    for (int32_t e = 1; e < list.count; ++e) {
      const int32_t u = list.entries[e];
      if (match[u] != 0) continue;
      candidate = c == 0 ? u : 0;
      ++c;
    }
    if (c == 0) continue;
    ++pairs;
    if (c >= 2) {
      const int32_t chosen = matching_choice(rand15(run), c);
      int32_t j = 0;
      for (int32_t e = 1; e < list.count; ++e) {
        const int32_t u = list.entries[e];
        if (match[u] != 0) continue;
        if (++j == chosen) {
          candidate = u;
          break;
        }
      }
    }
    match[v] = candidate;
    match[candidate] = v;
  }
  return pairs;
}
