// Octree insertion: running centres of mass, refusal within the tolerance,
// split chains, and soundness outside the insertion contract.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/common.h"
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
  seed_rand15(99);
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
