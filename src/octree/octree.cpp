// Octree construction: create, clear, insert with running centres of mass,
// refusal of coinciding positions, and the split chain that separates two
// vertices sharing a leaf.
#include <cmath>

#include "octree/octree.h"

namespace {

/// The box of the node being looked at during a descent.
struct Box {
  double xmin, xmax, ymin, ymax, zmin, zmax;
};

inline int octant_of(const Box& b, double x, double y, double z) {
  double mx = (b.xmax + b.xmin) * 0.5;
  double my = (b.ymax + b.ymin) * 0.5;
  double mz = (b.zmax + b.zmin) * 0.5;
  return (x > mx ? 1 : 0) + (y > my ? 2 : 0) + (z > mz ? 4 : 0);
}

/// The box of child `octant`, halved exactly as the split makes it.
inline Box child_box(const Box& b, int octant) {
  double mx = (b.xmax + b.xmin) * 0.5;
  double my = (b.ymax + b.ymin) * 0.5;
  double mz = (b.zmax + b.zmin) * 0.5;
  Box c;
  if (octant & 1) { c.xmin = mx; c.xmax = b.xmax; } else { c.xmin = b.xmin; c.xmax = mx; }
  if (octant & 2) { c.ymin = my; c.ymax = b.ymax; } else { c.ymin = b.ymin; c.ymax = my; }
  if (octant & 4) { c.zmin = mz; c.zmax = b.zmax; } else { c.zmin = b.zmin; c.zmax = mz; }
  return c;
}

inline bool same_box(const Box& a, const Box& b) {
  return a.xmin == b.xmin && a.xmax == b.xmax && a.ymin == b.ymin && a.ymax == b.ymax &&
         a.zmin == b.zmin && a.zmax == b.zmax;
}

/// Whether halving boxes from `box` down ever puts the two points into
/// different octants. False when the boxes stop shrinking first (points
/// outside the box on one side, equal or non-finite coordinates).
bool separable(Box box, double ax, double ay, double az, double bx, double by, double bz) {
  for (;;) {
    int o1 = octant_of(box, ax, ay, az);
    int o2 = octant_of(box, bx, by, bz);
    if (o1 != o2) return true;
    Box next = child_box(box, o1);
    if (same_box(next, box)) return false;
    box = next;
  }
}

/// Undoes the running means of the descent from `node`'s parent up to the
/// root, after a refusal.
void undo_ancestors(std::vector<OctreeNode>& nodes, int32_t node, double x, double y, double z) {
  for (int32_t a = nodes[node].parent; a != 0; a = nodes[a].parent) {
    OctreeNode& n = nodes[a];
    int32_t c = n.count;
    n.cm_x = (c * n.cm_x - x) / (c - 1);
    n.cm_y = (c * n.cm_y - y) / (c - 1);
    n.cm_z = (c * n.cm_z - z) / (c - 1);
    n.count = c - 1;
  }
}

inline void split_box(Octree& tree, int32_t node, const Box& b) {
  octree_split(tree, node, b.xmin, b.xmax, b.ymin, b.ymax, b.zmin, b.zmax);
}

}  // namespace

void octree_create(Octree& tree, double xmin, double xmax, double ymin, double ymax,
                   double zmin, double zmax) {
  tree.xmin = xmin;
  tree.xmax = xmax;
  tree.ymin = ymin;
  tree.ymax = ymax;
  tree.zmin = zmin;
  tree.zmax = zmax;
  tree.nodes.assign(2, OctreeNode{});
  tree.child_mask.assign(2, 0);
}

void octree_clear(Octree& tree) {
  tree.nodes.resize(2);
  tree.nodes[kOctreeRoot] = OctreeNode{};
  tree.child_mask.resize(2);
  tree.child_mask[kOctreeRoot] = 0;
}

void octree_free(Octree& tree) {
  std::vector<OctreeNode>().swap(tree.nodes);
  std::vector<uint8_t>().swap(tree.child_mask);
}

void octree_split(Octree& tree, int32_t node, double xmin, double xmax, double ymin,
                  double ymax, double zmin, double zmax) {
  std::vector<OctreeNode>& nodes = tree.nodes;
  const size_t first = nodes.size();
  nodes.resize(first + 8);
  tree.child_mask.resize(first + 8);
  for (size_t i = 0; i < 8; ++i) nodes[first + i].parent = node;
  OctreeNode& n = nodes[node];
  n.first_child = static_cast<int32_t>(first);
  n.side = std::fmax(xmax - xmin, std::fmax(ymax - ymin, zmax - zmin));
}

bool octree_insert(Octree& tree, int32_t v, double x, double y, double z,
                   std::vector<int32_t>& leaf_of, double tolerance) {
  std::vector<OctreeNode>& nodes = tree.nodes;
  Box box{tree.xmin, tree.xmax, tree.ymin, tree.ymax, tree.zmin, tree.zmax};
  int32_t node = kOctreeRoot;
  // Descend, bringing counts and centres of mass up to date on the way.
  while (nodes[node].first_child != 0) {
    OctreeNode& n = nodes[node];
    int32_t c = n.count;
    n.cm_x = (c * n.cm_x + x) / (c + 1);
    n.cm_y = (c * n.cm_y + y) / (c + 1);
    n.cm_z = (c * n.cm_z + z) / (c + 1);
    n.count = c + 1;
    int o = octant_of(box, x, y, z);
    box = child_box(box, o);
    node = n.first_child + o;
  }
  OctreeNode& leaf = nodes[node];
  if (leaf.count == 0) {
    leaf.cm_x = x;
    leaf.cm_y = y;
    leaf.cm_z = z;
    leaf.vertex = v;
    leaf.count = 1;
    leaf_of[v] = node;
    // A child only ever goes from empty to nonempty: a refusal takes back
    // one vertex from ancestors that hold at least two.
    if (const int32_t p = leaf.parent; p != 0)
      tree.child_mask[p] |= static_cast<uint8_t>(1u << (node - nodes[p].first_child));
    return true;
  }
  const double ox = leaf.cm_x, oy = leaf.cm_y, oz = leaf.cm_z;
  const int32_t u = leaf.vertex;
  bool distinct = std::fabs(x - ox) >= tolerance || std::fabs(y - oy) >= tolerance ||
                  std::fabs(z - oz) >= tolerance;
  if (!distinct || !separable(box, ox, oy, oz, x, y, z)) {
    undo_ancestors(nodes, node, x, y, z);
    return false;
  }
  // Split: a chain of nodes holding both positions at their midpoint, down
  // to the first box whose mid-planes separate them.
  const double mx = (ox + x) * 0.5, my = (oy + y) * 0.5, mz = (oz + z) * 0.5;
  for (;;) {
    OctreeNode& n = nodes[node];
    n.cm_x = mx;
    n.cm_y = my;
    n.cm_z = mz;
    n.count = 2;
    split_box(tree, node, box);
    int o1 = octant_of(box, ox, oy, oz);
    int o2 = octant_of(box, x, y, z);
    int32_t first = nodes[node].first_child;
    tree.child_mask[node] = static_cast<uint8_t>((1u << o1) | (1u << o2));
    if (o1 == o2) {
      box = child_box(box, o1);
      node = first + o1;
      continue;
    }
    OctreeNode& old_leaf = nodes[first + o1];
    old_leaf.vertex = u;
    old_leaf.count = 1;
    old_leaf.cm_x = ox;
    old_leaf.cm_y = oy;
    old_leaf.cm_z = oz;
    leaf_of[u] = first + o1;
    OctreeNode& new_leaf = nodes[first + o2];
    new_leaf.vertex = v;
    new_leaf.count = 1;
    new_leaf.cm_x = x;
    new_leaf.cm_y = y;
    new_leaf.cm_z = z;
    leaf_of[v] = first + o2;
    return true;
  }
}
