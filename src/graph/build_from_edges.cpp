// build_graph_from_edges: the graph of an edge collection, by counting
// sort. Each edge goes to both of its ends' lists in one scatter pass,
// then every list is sorted and cleared of repeats and slid left into
// place, so that the block ends up exactly as an adjacency-list file with
// sorted lists would give it.
#include <algorithm>
#include <cstring>
#include <limits>

#include "common/common.h"
#include "graph/graph_internal.h"

namespace {

inline int32_t vertex_of(const std::vector<int32_t>& relabel, int32_t e) {
  return relabel.empty() ? e : relabel[e];
}

}  // namespace

bool build_graph_from_edges(EdgeCollector& edges, int32_t nvtxs,
                            const std::vector<int32_t>& relabel, GraphHandle& graph,
                            int32_t& nedges, std::string& error) {
  error = vertex_count_refusal(nvtxs);
  if (!error.empty()) return false;
  // cursor[v]: first counts, then where v's next neighbour goes; after the
  // scatter it is the end of v's list, which is also where v+1's begins.
  std::vector<int64_t> cursor(static_cast<size_t>(nvtxs) + 1, 0);
  for (const std::vector<EdgePair>& chunk : edges.chunks)
    for (const EdgePair& e : chunk) {
      ++cursor[vertex_of(relabel, e.u)];
      ++cursor[vertex_of(relabel, e.w)];
    }
  int64_t total = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    int64_t count = cursor[v];
    cursor[v] = total + 1;  // after the self entry
    total += count + 1;
  }

  GraphHandle g(new Graph);
  g->adj.assign(static_cast<size_t>(nvtxs) + 1, AdjacencyList{0, nullptr});
  g->block.resize(static_cast<size_t>(total));
  int32_t* block = g->block.data();
  for (int32_t v = 1; v <= nvtxs; ++v) block[cursor[v] - 1] = v;
  for (std::vector<EdgePair>& chunk : edges.chunks) {
    for (const EdgePair& e : chunk) {
      const int32_t u = vertex_of(relabel, e.u), w = vertex_of(relabel, e.w);
      block[cursor[u]++] = w;
      block[cursor[w]++] = u;
    }
    std::vector<EdgePair>().swap(chunk);
  }
  edges.chunks.clear();
  edges.count = 0;

  // Sort, drop repeats and close the gaps they leave; the lists only move
  // left, so each is read before anything is written over it.
  int64_t begin = 0, out = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    const int64_t end = cursor[v];
    int32_t* first = block + begin + 1;
    int32_t* last = block + end;
    std::sort(first, last);
    last = std::unique(first, last);
    const int64_t count = last - first + 1;
    if (count > std::numeric_limits<int32_t>::max()) {
      error = "vertex " + std::to_string(v) + " has more neighbours than 32 bits count";
      return false;
    }
    if (out != begin) std::memmove(block + out, block + begin, static_cast<size_t>(count) * 4);
    g->adj[v].count = static_cast<int32_t>(count);
    out += count;
    begin = end;
  }
  const int64_t edge_count = (out - nvtxs) / 2;
  if (edge_count > std::numeric_limits<int32_t>::max()) {
    error = "the graph has " + std::to_string(edge_count) +
            " edges, more than 32 bits count";
    return false;
  }
  std::vector<int64_t>().swap(cursor);
  g->block.resize(static_cast<size_t>(out));
  // Repeated edges left room behind: hand it back when it is worth a copy.
  if (g->block.capacity() - g->block.size() > g->block.size() / 8) g->block.shrink_to_fit();
  rebuild_entry_pointers(*g, nvtxs);
  graph = std::move(g);
  nedges = static_cast<int32_t>(edge_count);
  return true;
}
