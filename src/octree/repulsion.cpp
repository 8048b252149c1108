// repulsive_force: the walk from a vertex's leaf up to the root, summing
// k^2/d over the sibling subtrees met on the way, with well-separated
// nodes taken as a whole at their centre of mass.
#include <cmath>

#include "octree/octree.h"

namespace {

/// Distances below this are taken as this, so coinciding points stay finite.
constexpr double kDistanceFloor = 1e-6;

inline void append(NodeQueue& q, int32_t node) {
  if (q.size < q.capacity) q.items[q.size++] = node;
}

}  // namespace

void node_queue_init(NodeQueue& queue, int32_t capacity) {
  queue.items.assign(static_cast<size_t>(capacity > 0 ? capacity : 0), 0);
  queue.capacity = capacity;
  queue.size = 0;
  queue.head = 0;
}

void repulsive_force(const Octree& tree, int32_t v, double x, double y, double z, double k,
                     const std::vector<int32_t>& leaf_of, NodeQueue& queue, double& fx,
                     double& fy, double& fz, double ratio) {
  const OctreeNode* nodes = tree.nodes.data();
  int32_t cur = leaf_of[v];
  if (cur == 0) return;
  int32_t par = nodes[cur].parent;
  double sx = fx, sy = fy, sz = fz;
  while (par != 0) {
    queue.size = 0;
    queue.head = 0;
    const int32_t first = nodes[par].first_child;
    for (int32_t ch = first; ch < first + 8; ++ch)
      if (ch != cur && nodes[ch].count > 0) append(queue, ch);
    while (queue.head < queue.size) {
      const OctreeNode& n = nodes[queue.items[queue.head++]];
      double dx = x - n.cm_x;
      double dy = y - n.cm_y;
      double dz = z - n.cm_z;
      double d = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (d < kDistanceFloor) d = kDistanceFloor;
      double f;
      if (n.first_child != 0) {
        if (n.side / d >= ratio) {
          for (int32_t ch = n.first_child; ch < n.first_child + 8; ++ch)
            if (nodes[ch].count > 0) append(queue, ch);
          continue;
        }
        f = (k * k / d) * n.count;
      } else {
        f = k * k / d;
      }
      sx = sx + f * dx / d;
      sy = sy + f * dy / d;
      sz = sz + f * dz / d;
    }
    cur = par;
    par = nodes[par].parent;
  }
  fx = sx;
  fy = sy;
  fz = sz;
}
