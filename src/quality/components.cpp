// Connected components: found with one breadth-first sweep, handed to the
// layout one at a time as adjacency structures of their own, and packed
// side by side once drawn by their bounding boxes.
#include <algorithm>
#include <cmath>

#include "quality/quality_internal.h"

void find_components(const Graph& graph, int32_t nvtxs, std::vector<int32_t>& local,
                     std::vector<int32_t>& members, std::vector<int32_t>& start) {
  local.assign(static_cast<size_t>(nvtxs) + 1, -1);
  members.clear();
  members.reserve(static_cast<size_t>(nvtxs));
  start.assign(1, 0);
  int32_t count = 0;
  for (int32_t root = 1; root <= nvtxs; ++root) {
    if (local[root] >= 0) continue;
    // members doubles as the queue of the sweep.
    size_t head = members.size();
    local[root] = count;
    members.push_back(root);
    while (head < members.size()) {
      const AdjacencyList& list = graph.adj[members[head++]];
      for (int32_t e = 1; e < list.count; ++e) {
        const int32_t u = list.entries[e];
        if (local[u] < 0) {
          local[u] = count;
          members.push_back(u);
        }
      }
    }
    std::sort(members.begin() + start.back(), members.end());
    start.push_back(static_cast<int32_t>(members.size()));
    ++count;
  }
  // From here on the array gives each vertex's number in its component.
  for (int32_t c = 0; c < count; ++c)
    for (int32_t i = start[c]; i < start[c + 1]; ++i) local[members[i]] = i - start[c];
}

void extract_component(const Graph& graph, const std::vector<int32_t>& local,
                       const std::vector<int32_t>& members, const std::vector<int32_t>& start,
                       int32_t c, Component& part) {
  const int32_t first = start[c];
  part.n = start[c + 1] - first;
  part.vertex.assign(members.begin() + first, members.begin() + start[c + 1]);
  part.xadj.assign(static_cast<size_t>(part.n) + 1, 0);
  part.adjncy.clear();
  for (int32_t v = 0; v < part.n; ++v) {
    const AdjacencyList& list = graph.adj[part.vertex[v]];
    for (int32_t e = 1; e < list.count; ++e) {
      part.adjncy.push_back(local[list.entries[e]]);
    }
    part.xadj[v + 1] = static_cast<int64_t>(part.adjncy.size());
  }
}

void pack_boxes(const std::vector<double>& extent, std::vector<double>& centre) {
  const size_t count = extent.size() / 3;
  centre.assign(extent.size(), 0.0);
  if (count == 0) return;
  constexpr double kGap = 1.0;
  double area = 0, widest = 0;
  for (size_t c = 0; c < count; ++c) {
    area += (extent[3 * c] + kGap) * (extent[3 * c + 1] + kGap);
    widest = std::max(widest, extent[3 * c] + kGap);
  }
  const double row_width = std::max(widest, std::sqrt(area));
  double x = 0, y = 0, row_depth = 0;
  for (size_t c = 0; c < count; ++c) {
    const double w = extent[3 * c] + kGap, d = extent[3 * c + 1] + kGap;
    if (x > 0 && x + w > row_width) {
      y += row_depth;
      x = 0;
      row_depth = 0;
    }
    centre[3 * c] = x + 0.5 * w;
    centre[3 * c + 1] = y + 0.5 * d;
    x += w;
    row_depth = std::max(row_depth, d);
  }
}

void bounding_box(const std::vector<double>& xyz, double* lo, double* hi) {
  for (int a = 0; a < 3; ++a) lo[a] = hi[a] = xyz.empty() ? 0.0 : xyz[a];
  for (size_t i = 0; i < xyz.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], xyz[i]);
    hi[i % 3] = std::max(hi[i % 3], xyz[i]);
  }
}
