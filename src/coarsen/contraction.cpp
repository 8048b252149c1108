// Graph contraction: matched pairs merge into coarse vertices, numbered by
// their smallest member; coarse lists hold distinct neighbours in order of
// first meeting.
#include "coarsen/coarsen.h"
#include "common/common.h"

void number_coarse_vertices(const std::vector<int32_t>& match, int32_t nvtxs,
                            std::vector<int32_t>& coarse_of) {
  int32_t next = 1;
  for (int32_t i = 1; i <= nvtxs; ++i) {
    if (match[i] == 0 || match[i] > i) {
      coarse_of[i] = next++;
    } else {
      coarse_of[i] = coarse_of[match[i]];
    }
  }
}

void bucket_by_coarse(int32_t nvtxs, int32_t cnvtxs, const std::vector<int32_t>& coarse_of,
                      std::vector<int32_t>& members, std::vector<int32_t>& start) {
  for (int32_t c = 1; c <= cnvtxs + 1; ++c) start[c] = 0;
  for (int32_t i = 1; i <= nvtxs; ++i) start[coarse_of[i] + 1] += 1;
  start[1] = 0;
  for (int32_t c = 2; c <= cnvtxs + 1; ++c) start[c] += start[c - 1];
  for (int32_t i = 1; i <= nvtxs; ++i) members[start[coarse_of[i]]++] = i;
  for (int32_t c = cnvtxs; c >= 2; --c) start[c] = start[c - 1];
  start[1] = 0;
}

void contract_graph(const Graph& graph, int32_t nvtxs, int32_t nedges, GraphHandle& cgraph,
                    int32_t cnvtxs, int32_t& cnedges, const std::vector<int32_t>& coarse_of,
                    int32_t loose_pairs) {
  std::vector<int32_t> members(static_cast<size_t>(nvtxs));
  std::vector<int32_t> start(static_cast<size_t>(cnvtxs) + 2);
  bucket_by_coarse(nvtxs, cnvtxs, coarse_of, members, start);

  cgraph.reset(new Graph);
  Graph& cg = *cgraph;
  cg.adj.assign(static_cast<size_t>(cnvtxs) + 1, AdjacencyList{0, nullptr});
  // The self entries, plus at most all fine neighbour entries less the two
  // of the edge inside each pair (loose pairs have none to drop).
  const int64_t bound =
      3 * int64_t{cnvtxs} + 2 * int64_t{nedges} - 2 * int64_t{nvtxs} + 2 * int64_t{loose_pairs};
  cg.block.resize(static_cast<size_t>(bound));
  // marker[d] is d's position in the list being built, 0 elsewhere. Only
  // the slots a list set are cleared after it, which keeps a step linear.
  std::vector<int32_t> marker(static_cast<size_t>(cnvtxs) + 1, 0);

  int32_t* block = cg.block.data();
  int64_t w = 0;
  int64_t sum = 0;
  for (int32_t c = 1; c <= cnvtxs; ++c) {
    int32_t* entries = block + w;
    entries[0] = c;
    int32_t j = 1;
    for (int32_t m = start[c]; m < start[c + 1]; ++m) {
      const AdjacencyList& list = graph.adj[members[m]];
      for (int32_t e = 1; e < list.count; ++e) {
        const int32_t d = coarse_of[list.entries[e]];
        if (d == c || marker[d] != 0) continue;
        entries[j] = d;
        marker[d] = j;
        ++j;
      }
    }
    for (int32_t e = 1; e < j; ++e) marker[entries[e]] = 0;
    cg.adj[c].count = j;
    w += j;
    sum += j - 1;
  }
  cnedges = static_cast<int32_t>(sum / 2);
  cg.block.resize(static_cast<size_t>(cnvtxs) + 2 * static_cast<size_t>(cnedges));
  cg.block.shrink_to_fit();
  rebuild_entry_pointers(cg, cnvtxs);
}

int32_t pair_leftovers(const Graph& graph, int32_t nvtxs, std::vector<int32_t>& match) {
  int32_t added = 0;
  auto pair = [&](int32_t a, int32_t b) {
    match[a] = b;
    match[b] = a;
    ++added;
  };
  // Free vertices around a common neighbour (the leaves of a hub).
  for (int32_t u = 1; u <= nvtxs; ++u) {
    const AdjacencyList& list = graph.adj[u];
    int32_t waiting = 0;
    for (int32_t e = 1; e < list.count; ++e) {
      const int32_t w = list.entries[e];
      if (match[w] != 0 || w == waiting) continue;
      if (waiting == 0) {
        waiting = w;
      } else {
        pair(waiting, w);
        waiting = 0;
      }
    }
  }
  // Free vertices without neighbours (isolated vertices, contracted
  // components) carry no structure: any two of them may merge.
  int32_t waiting = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    if (match[v] != 0 || graph.adj[v].count > 1) continue;
    if (waiting == 0) {
      waiting = v;
    } else {
      pair(waiting, v);
      waiting = 0;
    }
  }
  return added;
}

void coarsen_graph(RunContext& run, const Graph& graph, int32_t nvtxs, int32_t nedges, GraphHandle& cgraph,
                   int32_t& cnvtxs, int32_t& cnedges, std::vector<int32_t>& coarse_of) {
  coarse_of.assign(static_cast<size_t>(nvtxs) + 1, 0);
  std::vector<int32_t> match(static_cast<size_t>(nvtxs) + 1);
  const int32_t pairs = random_matching(run, graph, nvtxs, match);
  int32_t loose_pairs = 0;
  if (int64_t{pairs} * kMinShrinkDivisor < nvtxs) loose_pairs = pair_leftovers(graph, nvtxs, match);
  number_coarse_vertices(match, nvtxs, coarse_of);
  match = std::vector<int32_t>();
  cnvtxs = nvtxs - pairs - loose_pairs;
  contract_graph(graph, nvtxs, nedges, cgraph, cnvtxs, cnedges, coarse_of, loose_pairs);
}
