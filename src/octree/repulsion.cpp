// repulsive_force: the walk from a vertex's leaf up to the root, summing
// k^2/d over the sibling subtrees met on the way, with well-separated
// nodes taken as a whole at their centre of mass.
#include <algorithm>
#include <cmath>

#include "octree/octree.h"

namespace {

/// Distances below this are taken as this, so coinciding points stay finite.
constexpr double kDistanceFloor = 1e-6;

/// Slots a work list starts with; it grows up to its capacity on demand,
/// so that many threads on a large level do not each hold nvtxs slots.
constexpr size_t kInitialQueueSlots = 1024;


}  // namespace

void node_queue_init(NodeQueue& queue, int32_t capacity) {
  queue.items.assign(std::min(static_cast<size_t>(capacity > 0 ? capacity : 0),
                              kInitialQueueSlots),
                     0);
  queue.capacity = capacity;
  queue.size = 0;
  queue.head = 0;
}

namespace {

/// Whether an internal node of largest side s at distance d is opened, that
/// is whether the rounded quotient s / d is at least the ratio. Most nodes
/// are far from the boundary, where a product decides it without the
/// division: when s / d lies more than a few units in the last place
/// away from the ratio, the rounded quotient falls on the same side.
inline bool opened(double s, double d, double ratio) {
  if (ratio > 1e-200 && ratio < 1e200) {
    const double rd = ratio * d;
    if (s > rd * (1 + 0x1p-40)) return true;
    if (s < rd * (1 - 0x1p-40)) return false;
  }
  return s / d >= ratio;
}

}  // namespace

void repulsive_force(const Octree& tree, int32_t v, double x, double y, double z, double k,
                     const std::vector<int32_t>& leaf_of, NodeQueue& queue, double& fx,
                     double& fy, double& fz, double ratio) {
  const OctreeNode* nodes = tree.nodes.data();
  int32_t cur = leaf_of[v];
  if (cur == 0) return;
  int32_t par = nodes[cur].parent;
  const double kk = k * k;
  double sx = fx, sy = fy, sz = fz;
  // The list's fields live in locals during the walk: stores into its items
  // could otherwise alias them and force a reload after every append.
  int32_t* items = queue.items.data();
  int32_t slots = static_cast<int32_t>(queue.items.size());
  const int32_t capacity = queue.capacity;
  int32_t size = 0, head = 0;
  auto push = [&](int32_t node) {
    if (size >= capacity) return;  // dropped: the bound is part of the method
    if (size == slots) {
      queue.items.resize(std::min(static_cast<size_t>(capacity), 2 * queue.items.size()));
      items = queue.items.data();
      slots = static_cast<int32_t>(queue.items.size());
    }
    items[size++] = node;
  };
  while (par != 0) {
    size = 0;
    head = 0;
    const int32_t first = nodes[par].first_child;
    for (int32_t ch = first; ch < first + 8; ++ch)
      if (ch != cur && nodes[ch].count > 0) push(ch);
    while (head < size) {
      const OctreeNode& n = nodes[items[head++]];
      const double dx = x - n.cm_x;
      const double dy = y - n.cm_y;
      const double dz = z - n.cm_z;
      double d = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (d < kDistanceFloor) d = kDistanceFloor;
      double f;
      if (n.first_child != 0) {
        if (opened(n.side, d, ratio)) {
          for (int32_t ch = n.first_child; ch < n.first_child + 8; ++ch)
            if (nodes[ch].count > 0) push(ch);
          continue;
        }
        f = (kk / d) * n.count;
      } else {
        f = kk / d;
      }
      sx = sx + f * dx / d;
      sy = sy + f * dy / d;
      sz = sz + f * dz / d;
    }
    cur = par;
    par = nodes[par].parent;
  }
  queue.size = size;
  queue.head = head;
  fx = sx;
  fy = sy;
  fz = sz;
}
