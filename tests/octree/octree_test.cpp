// Octree insertion: running centres of mass, refusal within the tolerance,
// split chains, and soundness outside the insertion contract.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "common/common.h"
#include "common/parallel.h"
#include "octree/octree.h"

namespace {

struct Tree {
  Octree tree;
  std::vector<int32_t> leaf_of = std::vector<int32_t>(64, 0);
  Tree(double x = 1000, double y = 800, double z = 600) { octree_create(tree, 0, x, 0, y, 0, z); }
  bool insert(int32_t v, double x, double y, double z, double tol = 1e-5) {
    return octree_insert(tree, v, x, y, z, leaf_of, tol);
  }
  const OctreeNode& node(int32_t i) const { return tree.nodes[i]; }
  const OctreeNode& root() const { return tree.nodes[kOctreeRoot]; }
};

/// Checks counts, parent links and leaf_of over the whole tree; returns the
/// number of vertices found in leaves.
int32_t check_subtree(const Tree& t, int32_t node, int32_t parent) {
  const OctreeNode& n = t.node(node);
  EXPECT_EQ(n.parent, parent);
  if (n.first_child == 0) {
    EXPECT_LE(n.count, 1);
    if (n.count == 1) {
      EXPECT_EQ(t.leaf_of[n.vertex], node);
    }
    return n.count;
  }
  int32_t total = 0;
  unsigned nonempty = 0;
  for (int i = 0; i < 8; ++i) {
    const int32_t below = check_subtree(t, n.first_child + i, node);
    if (below > 0) nonempty |= 1u << i;
    total += below;
  }
  EXPECT_EQ(t.tree.child_mask[node], nonempty) << "node " << node;
  EXPECT_EQ(total, n.count);
  EXPECT_GE(n.count, 2);
  return total;
}

}  // namespace

TEST(OctreeInsert, FirstVertexFillsTheRoot) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 10, 20, 30));
  EXPECT_EQ(t.root().count, 1);
  EXPECT_EQ(t.root().cm_x, 10);
  EXPECT_EQ(t.leaf_of[1], kOctreeRoot);
}

TEST(OctreeInsert, RefusesWithinTheToleranceAndAcceptsAtExactlyIt) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 100, 100, 100, 0.5));
  EXPECT_FALSE(t.insert(2, 100.25, 99.75, 100.4, 0.5));
  EXPECT_EQ(t.root().count, 1);
  EXPECT_EQ(t.root().first_child, 0);
  EXPECT_TRUE(t.insert(2, 100.5, 100.25, 100.25, 0.5));  // exactly the tolerance on x
  EXPECT_NE(t.root().first_child, 0);
}

TEST(OctreeInsert, OppositeCornersSplitTheRootOnce) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 0, 0, 0));
  ASSERT_TRUE(t.insert(2, 1000, 800, 600));
  const OctreeNode& r = t.root();
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.cm_x, 500);
  EXPECT_EQ(r.cm_y, 400);
  EXPECT_EQ(r.cm_z, 300);
  EXPECT_EQ(r.side, 1000);
  EXPECT_EQ(t.leaf_of[1], r.first_child + 0);
  EXPECT_EQ(t.leaf_of[2], r.first_child + 7);
  for (int i = 1; i < 7; ++i) EXPECT_EQ(t.node(r.first_child + i).count, 0);
  // A point on the mid-planes belongs to the lower halves.
  Tree m;
  ASSERT_TRUE(m.insert(1, 500, 400, 300));
  ASSERT_TRUE(m.insert(2, 900, 700, 500));
  EXPECT_EQ(m.leaf_of[1], m.root().first_child + 0);
  EXPECT_EQ(m.leaf_of[2], m.root().first_child + 7);
}

TEST(OctreeInsert, CloseVerticesMakeAChainWithTheirMidpoint) {
  // Both in octant 0 of the root, of its child and of its grandchild;
  // separated on x at the fourth level (box side 125, mid-plane 62.5).
  Tree t;
  ASSERT_TRUE(t.insert(1, 60, 10, 10));
  ASSERT_TRUE(t.insert(2, 70, 10, 10));
  int32_t node = kOctreeRoot;
  double side = 1000;
  for (int depth = 0; depth < 4; ++depth) {
    const OctreeNode& n = t.node(node);
    EXPECT_EQ(n.count, 2);
    EXPECT_EQ(n.cm_x, 65);
    EXPECT_EQ(n.side, side);
    side /= 2;
    if (depth < 3) node = n.first_child;  // octant 0
  }
  const OctreeNode& last = t.node(node);
  EXPECT_EQ(t.leaf_of[1], last.first_child + 0);
  EXPECT_EQ(t.leaf_of[2], last.first_child + 1);
  check_subtree(t, kOctreeRoot, 0);
}

TEST(OctreeInsert, RefusalDeepInTheTreeRestoresTheAncestors) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 50, 100, 100));
  ASSERT_TRUE(t.insert(2, 150, 100, 100));
  EXPECT_EQ(t.root().cm_x, 100);
  ASSERT_TRUE(t.insert(3, 400, 100, 100));
  EXPECT_EQ(t.root().count, 3);
  EXPECT_EQ(t.root().cm_x, 200);
  // A fourth vertex on top of vertex 3 passes the root and is refused.
  EXPECT_FALSE(t.insert(4, 400, 100, 100));
  EXPECT_EQ(t.root().count, 3);
  EXPECT_DOUBLE_EQ(t.root().cm_x, 200);
  EXPECT_DOUBLE_EQ(t.root().cm_y, 100);
  check_subtree(t, kOctreeRoot, 0);
}

TEST(OctreeInsert, SplitMovesTheOldVertexAndUpdatesItsLeaf) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 900, 100, 100));
  EXPECT_EQ(t.leaf_of[1], kOctreeRoot);
  ASSERT_TRUE(t.insert(2, 100, 100, 100));
  EXPECT_EQ(t.leaf_of[1], t.root().first_child + 1);
  EXPECT_EQ(t.node(t.leaf_of[1]).vertex, 1);
}

TEST(OctreeInsert, InvariantsHoldAfterManySeededInsertions) {
  RunContext rng;
  rng.rand15_state = 99;
  auto rand15 = [&rng] { return ::rand15(rng); };
  Octree tree;
  octree_create(tree, 0, 1000, 0, 800, 0, 600);
  std::vector<int32_t> leaf_of(501, 0);
  for (int round = 0; round < 2; ++round) {
    octree_clear(tree);
    EXPECT_EQ(tree.nodes.size(), 2u);
    double sx = 0;
    int32_t inserted = 0;
    for (int32_t v = 1; v <= 500; ++v) {
      // Coarse coordinates so that some positions coincide and are refused.
      double x = rand15() % 40 * 25.0, y = rand15() % 40 * 20.0, z = rand15() % 40 * 15.0;
      if (octree_insert(tree, v, x, y, z, leaf_of, 1e-5)) {
        ++inserted;
        sx += x;
        const OctreeNode& leaf = tree.nodes[leaf_of[v]];
        EXPECT_EQ(leaf.vertex, v);
        EXPECT_EQ(leaf.cm_x, x);
      }
    }
    Tree view;
    view.tree = tree;
    view.leaf_of = leaf_of;
    EXPECT_EQ(check_subtree(view, kOctreeRoot, 0), inserted);
    EXPECT_NEAR(tree.nodes[kOctreeRoot].cm_x, sx / inserted, 1e-9);
  }
  octree_free(tree);
  EXPECT_TRUE(tree.nodes.empty());
}

TEST(OctreeInsert, OutsideTheContractItRefusesInsteadOfLooping) {
  {
    Tree t;  // tolerance 0: identical positions can never be separated
    ASSERT_TRUE(t.insert(1, 10, 10, 10, 0.0));
    EXPECT_FALSE(t.insert(2, 10, 10, 10, 0.0));
    EXPECT_TRUE(t.insert(3, 10, 10, 11, 0.0));
    check_subtree(t, kOctreeRoot, 0);
  }
  {
    Tree t;  // both beyond the box on the same side
    ASSERT_TRUE(t.insert(1, 2000, 10, 10));
    EXPECT_FALSE(t.insert(2, 3000, 10, 10));
    EXPECT_EQ(t.root().count, 1);
  }
  {
    Tree t;  // not a number
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(t.insert(1, 10, 10, 10));
    EXPECT_FALSE(t.insert(2, nan, nan, nan));
    EXPECT_FALSE(t.insert(3, nan, 10, 10));
    EXPECT_EQ(t.root().count, 1);
  }
}

TEST(OctreeClear, KeepsTheBoxAndEmptiesTheRoot) {
  Tree t;
  ASSERT_TRUE(t.insert(1, 1, 1, 1));
  ASSERT_TRUE(t.insert(2, 999, 799, 599));
  octree_clear(t.tree);
  EXPECT_EQ(t.root().count, 0);
  EXPECT_EQ(t.root().first_child, 0);
  EXPECT_EQ(t.tree.xmax, 1000);
  ASSERT_TRUE(t.insert(3, 5, 5, 5));
  EXPECT_EQ(t.leaf_of[3], kOctreeRoot);
}

namespace {

/// Compares two trees node by node in octant order: every field but the
/// node numbers, and the leaves recorded for each vertex.
void expect_same_tree(const Octree& a, const std::vector<int32_t>& leaf_a, int32_t na,
                      const Octree& b, const std::vector<int32_t>& leaf_b, int32_t nb) {
  const OctreeNode& x = a.nodes[na];
  const OctreeNode& y = b.nodes[nb];
  ASSERT_EQ(x.count, y.count);
  ASSERT_EQ(x.first_child == 0, y.first_child == 0);
  // Bits, not values: a -0.0 or a NaN must be reproduced too.
  EXPECT_EQ(std::memcmp(&x.cm_x, &y.cm_x, 4 * sizeof(double)), 0) << "node " << na;
  EXPECT_EQ(a.child_mask[na], b.child_mask[nb]);
  if (x.first_child == 0) {
    if (x.count == 1) {
      EXPECT_EQ(x.vertex, y.vertex);
      EXPECT_EQ(leaf_a[x.vertex], na);
      EXPECT_EQ(leaf_b[y.vertex], nb);
    }
    return;
  }
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(b.nodes[y.first_child + i].parent, nb);
    expect_same_tree(a, leaf_a, x.first_child + i, b, leaf_b, y.first_child + i);
  }
}

struct Points {
  std::vector<double> x, y, z;
  explicit Points(int32_t n) : x(n + 1), y(n + 1), z(n + 1) {}
};

/// Builds the tree of `p` one vertex at a time and by octants on `threads`
/// threads; expects the same tree, or a refusal reported by both.
void expect_builds_agree(const Points& p, double tolerance, int threads) {
  const int32_t n = static_cast<int32_t>(p.x.size()) - 1;
  Octree one, many;
  octree_create(one, 0, 1000, 0, 800, 0, 600);
  octree_create(many, 0, 1000, 0, 800, 0, 600);
  std::vector<int32_t> leaf_one(n + 1, 0), leaf_many(n + 1, 0);
  bool refused = false;
  for (int32_t v = 1; v <= n; ++v)
    refused |= !octree_insert(one, v, p.x[v], p.y[v], p.z[v], leaf_one, tolerance);
  const Threads pool = start_threads(threads);
  OctreeBuildScratch scratch;
  for (int round = 0; round < 2; ++round) {  // the second reuses the scratch
    const bool built = octree_build(many, n, p.x.data(), p.y.data(), p.z.data(), leaf_many,
                                    tolerance, scratch, pool);
    ASSERT_EQ(built, !refused) << "n " << n << ", threads " << threads;
    if (built) expect_same_tree(one, leaf_one, kOctreeRoot, many, leaf_many, kOctreeRoot);
  }
}

}  // namespace

TEST(OctreeBuild, ByOctantsGivesTheOneAtATimeTree) {
  RunContext rng;
  rng.rand15_state = 7;
  auto rand15 = [&rng] { return ::rand15(rng); };
  for (int threads : {1, 2, 5}) {
    for (int32_t n : {1, 2, 3, 9, 700}) {
      Points p(n);  // spread over the box
      for (int32_t v = 1; v <= n; ++v) {
        p.x[v] = rand15() / 32768.0 * 1000;
        p.y[v] = rand15() / 32768.0 * 800;
        p.z[v] = rand15() / 32768.0 * 600;
      }
      expect_builds_agree(p, 1e-5, threads);
    }
    Points corner(300);  // all in one octant, in long split chains
    for (int32_t v = 1; v <= 300; ++v) {
      corner.x[v] = 1 + rand15() / 32768.0 * 1e-3;
      corner.y[v] = 2 + rand15() % 16 * 1e-4;
      corner.z[v] = v == 1 ? -0.0 : 3;
    }
    expect_builds_agree(corner, 1e-9, threads);
  }
}

TEST(OctreeBuild, GivesUpWhereOneAtATimeRefuses) {
  for (int threads : {1, 2}) {
    Points across(3);  // the first two straddle the middle, closer than the tolerance
    across.x = {0, 500 - 1e-7, 500 + 1e-7, 10};
    across.y = {0, 400, 400, 10};
    across.z = {0, 300, 300, 10};
    expect_builds_agree(across, 1e-5, threads);
    Points apart = across;  // at the tolerance they are told apart
    apart.x[2] = apart.x[1] + 1e-5;
    expect_builds_agree(apart, 1e-5, threads);
    Points deep(400);  // a late vertex on an earlier one's place, deep in one octant
    for (int32_t v = 1; v <= 400; ++v) {
      deep.x[v] = 10 + v % 37 * 0.5;
      deep.y[v] = 20 + v % 41 * 0.5;
      deep.z[v] = 30 + v * 0.25;
    }
    deep.x[399] = deep.x[5];
    deep.y[399] = deep.y[5];
    deep.z[399] = deep.z[5];
    expect_builds_agree(deep, 1e-5, threads);
  }
}
