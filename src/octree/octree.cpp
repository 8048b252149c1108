// Octree construction: create, clear, insert with running centres of mass,
// refusal of coinciding positions and the split chain that separates two
// vertices sharing a leaf; the depth-first leaf order; and the build by the
// root's eight octants on several threads, each subtree copied into the
// pool in depth-first order, which gives the one-at-a-time tree.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "common/parallel.h"
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

/// Copies subtree `sub` into `tree` as the root's child `root_child`, with
/// its other nodes from `base` on in depth-first order of child groups
/// (a node's eight children together, then the subtree of each child in
/// turn), so that every subtree lies in one stretch of memory; records
/// the leaves of its vertices. `stack` is work space.
void place_subtree(Octree& tree, const Octree& sub, int32_t root_child, int32_t base,
                   std::vector<int32_t>& leaf_of, std::vector<int32_t>& stack) {
  const OctreeNode* from = sub.nodes.data();
  const uint8_t* from_mask = sub.child_mask.data();
  OctreeNode* to = tree.nodes.data();
  uint8_t* to_mask = tree.child_mask.data();
  to[root_child] = from[kOctreeRoot];
  to[root_child].parent = kOctreeRoot;
  to_mask[root_child] = from_mask[kOctreeRoot];
  if (from[kOctreeRoot].first_child == 0) {
    if (from[kOctreeRoot].count == 1) leaf_of[from[kOctreeRoot].vertex] = root_child;
    return;
  }
  int32_t next = base;
  // Internal nodes placed without their children: pairs (node in sub,
  // node in tree).
  stack.clear();
  stack.push_back(kOctreeRoot);
  stack.push_back(root_child);
  while (!stack.empty()) {
    const int32_t at = stack.back();
    stack.pop_back();
    const int32_t i = stack.back();
    stack.pop_back();
    const int32_t from_first = from[i].first_child;
    const int32_t first = next;
    next += 8;
    to[at].first_child = first;
    for (int32_t c = 0; c < 8; ++c) {
      OctreeNode n = from[from_first + c];
      n.parent = at;
      to[first + c] = n;
      to_mask[first + c] = from_mask[from_first + c];
      if (n.first_child == 0 && n.count == 1) leaf_of[n.vertex] = first + c;
    }
    for (int32_t c = 7; c >= 0; --c) {
      if (from[from_first + c].first_child == 0) continue;
      stack.push_back(from_first + c);
      stack.push_back(first + c);
    }
  }
}

/// The root's centre of mass after vertices 1..nvtxs (at least two): the
/// first fills it as a leaf, the second splits it at the midpoint, each
/// later one updates the running mean on its way down.
void root_mean(int32_t nvtxs, const double* x, const double* y, const double* z, double& cx,
               double& cy, double& cz) {
  cx = (x[1] + x[2]) * 0.5;
  cy = (y[1] + y[2]) * 0.5;
  cz = (z[1] + z[2]) * 0.5;
  for (int32_t v = 3; v <= nvtxs; ++v) {
    const int32_t c = v - 1;
    cx = (c * cx + x[v]) / (c + 1);
    cy = (c * cy + y[v]) / (c + 1);
    cz = (c * cz + z[v]) / (c + 1);
  }
}

/// The vertices grouped by the root's octant: group o is
/// scratch.by_octant[start[o] .. start[o+1]-1], in increasing order.
struct OctantGroups {
  int32_t count[8] = {0};
  int32_t start[9] = {0};
  int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};  ///< the largest group first
};

void group_by_octant(const Box& root, int32_t nvtxs, const double* x, const double* y,
                     const double* z, OctreeBuildScratch& scratch, OctantGroups& g) {
  scratch.octant.resize(static_cast<size_t>(nvtxs) + 1);
  uint8_t* octant = scratch.octant.data();
  for (int32_t v = 1; v <= nvtxs; ++v) {
    const int o = octant_of(root, x[v], y[v], z[v]);
    octant[v] = static_cast<uint8_t>(o);
    ++g.count[o];
  }
  for (int o = 0; o < 8; ++o) g.start[o + 1] = g.start[o] + g.count[o];
  scratch.by_octant.resize(static_cast<size_t>(nvtxs));
  int32_t next[8];
  std::copy(g.start, g.start + 8, next);
  for (int32_t v = 1; v <= nvtxs; ++v) scratch.by_octant[next[octant[v]]++] = v;
  // The largest octants first, so that the threads finish together; the
  // root's own centre of mass is one more task.
  std::stable_sort(g.order, g.order + 8, [&](int a, int b) { return g.count[a] > g.count[b]; });
}

/// What the threads of one octant build share.
struct SubtreeBuild {
  Octree& tree;
  const Box root;
  const OctantGroups& groups;
  const double *x, *y, *z;
  std::vector<int32_t>& leaf_of;
  const double tolerance;
  OctreeBuildScratch& scratch;
  const int32_t reserved;                 ///< nodes set aside for the subtrees
  std::atomic<bool> refused{false};
  std::atomic<int32_t> next{0};          ///< first free node of the tree
  int32_t late_base[8] = {0};
  bool late[8] = {false};                 ///< kept whole until the pool has grown
};

/// Builds octant o's subtree on `thread`'s work tree, one vertex at a time
/// in vertex order, and copies it into the tree, or keeps it aside when
/// the room set aside is used up. Stops at the first refusal anywhere.
void build_octant(SubtreeBuild& b, int o, int thread) {
  Octree& sub = b.scratch.sub[static_cast<size_t>(thread)];
  const Box box = child_box(b.root, o);
  sub.xmin = box.xmin;
  sub.xmax = box.xmax;
  sub.ymin = box.ymin;
  sub.ymax = box.ymax;
  sub.zmin = box.zmin;
  sub.zmax = box.zmax;
  octree_clear(sub);
  for (int32_t i = b.groups.start[o]; i < b.groups.start[o + 1]; ++i) {
    if (b.refused.load(std::memory_order_relaxed)) return;
    const int32_t v = b.scratch.by_octant[i];
    if (!octree_insert(sub, v, b.x[v], b.y[v], b.z[v], b.leaf_of, b.tolerance)) {
      b.refused.store(true, std::memory_order_relaxed);
      return;
    }
  }
  const int32_t first = b.tree.nodes[kOctreeRoot].first_child;
  const int32_t size = static_cast<int32_t>(sub.nodes.size()) - (kOctreeRoot + 1);
  const int32_t base = b.next.fetch_add(size, std::memory_order_relaxed);
  if (base <= b.reserved - size) {
    place_subtree(b.tree, sub, first + o, base, b.leaf_of,
                  b.scratch.stack[static_cast<size_t>(thread)]);
  } else {
    b.late[o] = true;
    b.late_base[o] = base;
    std::swap(b.scratch.late[o], sub);
  }
}

/// Places the subtrees kept aside and gives the root its mean, count and
/// child mask.
void finish_root(SubtreeBuild& b, int32_t nvtxs, double cx, double cy, double cz) {
  Octree& tree = b.tree;
  const int32_t first = tree.nodes[kOctreeRoot].first_child;
  tree.nodes.resize(static_cast<size_t>(b.next.load()));
  tree.child_mask.resize(static_cast<size_t>(b.next.load()));
  for (int o = 0; o < 8; ++o) {
    if (!b.late[o]) continue;
    place_subtree(tree, b.scratch.late[o], first + o, b.late_base[o], b.leaf_of,
                  b.scratch.stack[0]);
    octree_free(b.scratch.late[o]);
  }
  OctreeNode& r = tree.nodes[kOctreeRoot];
  r.cm_x = cx;
  r.cm_y = cy;
  r.cm_z = cz;
  r.count = nvtxs;
  uint8_t mask = 0;
  for (int o = 0; o < 8; ++o)
    if (b.groups.count[o] > 0) mask = static_cast<uint8_t>(mask | 1u << o);
  tree.child_mask[kOctreeRoot] = mask;
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

void octree_leaf_order(const Octree& tree, std::vector<int32_t>& order,
                       std::vector<int32_t>& stack) {
  const std::vector<OctreeNode>& nodes = tree.nodes;
  stack.clear();
  stack.push_back(kOctreeRoot);
  while (!stack.empty()) {
    const OctreeNode& n = nodes[stack.back()];
    stack.pop_back();
    if (n.first_child == 0) {
      if (n.count == 1) order.push_back(n.vertex);
      continue;
    }
    for (int32_t i = 7; i >= 0; --i)
      if (nodes[n.first_child + i].count > 0) stack.push_back(n.first_child + i);
  }
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
    {  // no reference into the pool may live across split_box, which grows it
      OctreeNode& n = nodes[node];
      n.cm_x = mx;
      n.cm_y = my;
      n.cm_z = mz;
      n.count = 2;
    }
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

bool octree_build(Octree& tree, int32_t nvtxs, const double* x, const double* y,
                  const double* z, std::vector<int32_t>& leaf_of, double tolerance,
                  OctreeBuildScratch& scratch, const Threads& threads) {
  // Room for the subtrees: the last tree's size and a margin, so that most
  // are copied by the thread that built them while their nodes are cached.
  const size_t last = tree.nodes.size();
  const size_t room = last + last / 8 + 64;
  octree_clear(tree);
  if (nvtxs < 2) {  // a lone vertex fills the root leaf and is never refused
    return nvtxs < 1 || octree_insert(tree, 1, x[1], y[1], z[1], leaf_of, tolerance);
  }
  OctantGroups groups;
  const Box root{tree.xmin, tree.xmax, tree.ymin, tree.ymax, tree.zmin, tree.zmax};
  group_by_octant(root, nvtxs, x, y, z, scratch, groups);
  // While the root is a leaf, the second vertex is compared with the first
  // whatever their octants; within one octant its subtree compares them.
  if (scratch.octant[1] != scratch.octant[2] &&
      !(std::fabs(x[2] - x[1]) >= tolerance || std::fabs(y[2] - y[1]) >= tolerance ||
        std::fabs(z[2] - z[1]) >= tolerance))
    return false;

  split_box(tree, kOctreeRoot, root);
  const int32_t reserved = static_cast<int32_t>(std::max(room, tree.nodes.size()));
  tree.nodes.resize(static_cast<size_t>(reserved));
  tree.child_mask.resize(static_cast<size_t>(reserved));
  const size_t nthreads = static_cast<size_t>(threads.count);
  if (scratch.sub.size() < nthreads) scratch.sub.resize(nthreads);
  if (scratch.stack.size() < nthreads) scratch.stack.resize(nthreads);

  SubtreeBuild build{tree, root, groups, x, y, z, leaf_of, tolerance, scratch, reserved};
  build.next = tree.nodes[kOctreeRoot].first_child + 8;
  double cx = 0, cy = 0, cz = 0;
  parallel_for(threads, 0, 9, 1, [&](int thread, int64_t b, int64_t e) {
    for (int64_t t = b; t < e; ++t) {
      if (t == 8) root_mean(nvtxs, x, y, z, cx, cy, cz);
      else build_octant(build, groups.order[t], thread);
    }
  });
  if (build.refused.load()) {
    for (int o = 0; o < 8; ++o)
      if (build.late[o]) octree_free(scratch.late[o]);
    return false;
  }
  finish_root(build, nvtxs, cx, cy, cz);
  return true;
}
