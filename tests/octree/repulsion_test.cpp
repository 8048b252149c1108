// The repulsive force read from the octree: magnitude k^2/d, direction away
// from the others, the opening test and the bounded work list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "common/common.h"
#include "octree/octree.h"

namespace {

struct Scene {
  Octree tree;
  std::vector<int32_t> leaf_of;
  std::vector<std::array<double, 3>> p;  // p[v-1]
  NodeQueue queue;
  SharedQueue shared;
  std::vector<double> x, y, z;  // by vertex, for repulsive_force4

  Scene(const std::vector<std::array<double, 3>>& points, int32_t capacity) : p(points) {
    octree_create(tree, 0, 1000, 0, 800, 0, 600);
    leaf_of.assign(points.size() + 1, 0);
    for (size_t v = 1; v <= points.size(); ++v)
      EXPECT_TRUE(octree_insert(tree, static_cast<int32_t>(v), p[v - 1][0], p[v - 1][1],
                                p[v - 1][2], leaf_of, 1e-5));
    node_queue_init(queue, capacity);
    shared_queue_init(shared, capacity);
    x.assign(1, 0);
    y.assign(1, 0);
    z.assign(1, 0);
    for (const auto& q : points) {
      x.push_back(q[0]);
      y.push_back(q[1]);
      z.push_back(q[2]);
    }
  }

  /// The forces on v[0..3], taken together.
  std::array<std::array<double, 3>, 4> force4(const int32_t* v, double k, double ratio) {
    double f[4][3];
    repulsive_force4(tree, v, x.data(), y.data(), z.data(), k, leaf_of, queue, shared, ratio, f);
    std::array<std::array<double, 3>, 4> out;
    for (int l = 0; l < 4; ++l) out[l] = {f[l][0], f[l][1], f[l][2]};
    return out;
  }

  /// The vertices in depth-first order of their leaves, as the layout
  /// walks them: neighbours in space, sharing most of their walks.
  std::vector<int32_t> leaf_order() const {
    std::vector<int32_t> order, stack;
    octree_leaf_order(tree, order, stack);
    return order;
  }

  std::array<double, 3> force(int32_t v, double k, double ratio) {
    double f[3] = {0, 0, 0};
    repulsive_force(tree, v, p[v - 1][0], p[v - 1][1], p[v - 1][2], k, leaf_of, queue, f[0],
                    f[1], f[2], ratio);
    return {f[0], f[1], f[2]};
  }
};

double length(const std::array<double, 3>& f) {
  return std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
}

}  // namespace

TEST(RepulsiveForce, TwoVerticesPushApartWithKSquaredOverD) {
  // On each axis in turn, so that a swapped axis or sign shows.
  for (int axis = 0; axis < 3; ++axis) {
    std::array<double, 3> a = {100, 100, 100}, b = a;
    b[axis] += 5;
    Scene s({a, b}, 2);
    std::array<double, 3> fa = s.force(1, 10, 0.6), fb = s.force(2, 10, 0.6);
    for (int c = 0; c < 3; ++c) {
      EXPECT_DOUBLE_EQ(fa[c], c == axis ? -20.0 : 0.0) << axis;
      EXPECT_DOUBLE_EQ(fb[c], c == axis ? 20.0 : 0.0) << axis;
    }
  }
}

TEST(RepulsiveForce, FullWorkListDropsNodes) {
  // Vertices 2 and 3 share a chain of four nodes below the root; for vertex
  // 1 the fourth append overflows a list of 3 slots.
  const std::vector<std::array<double, 3>> pts = {
      {450, 350, 250}, {520, 420, 320}, {530, 430, 330}};
  const double k = 10;
  Scene small(pts, 3);
  std::array<double, 3> f1 = small.force(1, k, 0.6);
  EXPECT_EQ(length(f1), 0.0);
  // Vertices 2 and 3 are each repelled by both others.
  std::array<double, 3> f2 = small.force(2, k, 0.6);
  double d12 = std::sqrt(3 * 70.0 * 70.0), d23 = std::sqrt(3.0 * 100.0);
  std::array<double, 3> expect2;
  for (int c = 0; c < 3; ++c)
    expect2[c] = k * k / d12 * (70 / d12) + k * k / d23 * (-10 / d23);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(f2[c], expect2[c], 1e-12);

  Scene big(pts, 4);
  f1 = big.force(1, k, 0.6);
  // Taken as a whole: 2 k^2/d from the midpoint (525, 425, 325).
  double d = std::sqrt(3 * 75.0 * 75.0);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(f1[c], 2 * k * k / d * (-75 / d), 1e-12);
}

TEST(RepulsiveForce, RatioDecidesBetweenExactSumAndCentreOfMass) {
  const std::vector<std::array<double, 3>> pts = {
      {100, 100, 100}, {900, 700, 500}, {950, 750, 550}, {880, 650, 580}};
  const double k = 30;
  // Ratio 0 opens every node: the exact sum over the other vertices.
  Scene exact(pts, 64);
  std::array<double, 3> f = exact.force(1, k, 0.0);
  std::array<double, 3> want = {0, 0, 0};
  for (int v = 2; v <= 4; ++v) {
    double dx = pts[0][0] - pts[v - 1][0], dy = pts[0][1] - pts[v - 1][1],
           dz = pts[0][2] - pts[v - 1][2];
    double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    want[0] += k * k / d * dx / d;
    want[1] += k * k / d * dy / d;
    want[2] += k * k / d * dz / d;
  }
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(f[c], want[c], 1e-12);
  // A huge ratio opens nothing: the three count once, at their centre.
  Scene whole(pts, 64);
  f = whole.force(1, k, 1e300);
  double cx = (900 + 950 + 880) / 3.0, cy = (700 + 750 + 650) / 3.0, cz = (500 + 550 + 580) / 3.0;
  double dx = 100 - cx, dy = 100 - cy, dz = 100 - cz, d = std::sqrt(dx * dx + dy * dy + dz * dz);
  EXPECT_NEAR(f[0], 3 * k * k / d * dx / d, 1e-9);
  EXPECT_NEAR(f[2], 3 * k * k / d * dz / d, 1e-9);
}

TEST(RepulsiveForce, AddsToTheOutValuesAndSkipsLoneOrMissingVertices) {
  Scene s({{100, 100, 100}, {105, 100, 100}}, 2);
  double fx = 1, fy = 2, fz = 3;
  repulsive_force(s.tree, 1, 100, 100, 100, 10, s.leaf_of, s.queue, fx, fy, fz, 0.6);
  EXPECT_DOUBLE_EQ(fx, 1 - 20);
  EXPECT_DOUBLE_EQ(fy, 2);
  EXPECT_DOUBLE_EQ(fz, 3);
  s.leaf_of[1] = 0;  // left out of the tree
  EXPECT_EQ(length(s.force(1, 10, 0.6)), 0.0);
  Scene lone({{5, 5, 5}}, 1);
  EXPECT_EQ(length(lone.force(1, 10, 0.6)), 0.0);
  // Four together: a vertex without a leaf gets nothing, the others what
  // they get one at a time.
  Scene four({{100, 100, 100}, {105, 100, 100}, {300, 400, 500}, {310, 400, 500}, {900, 9, 9}},
             5);
  four.leaf_of[3] = 0;
  const int32_t group[4] = {1, 2, 3, 4};
  const auto got = four.force4(group, 10, 0.6);
  EXPECT_EQ(length(got[2]), 0.0);
  for (int l : {0, 1, 3}) EXPECT_EQ(got[l], four.force(group[l], 10, 0.6)) << l;
}

namespace {

/// The walk written plainly: a first-in, first-out list bounded by
/// `capacity`, children found by their counts.
std::array<double, 3> plain_walk(const Octree& tree, int32_t leaf, double x, double y, double z,
                                 double k, double ratio, size_t capacity) {
  const std::vector<OctreeNode>& nodes = tree.nodes;
  std::vector<int32_t> list;
  double f[3] = {0, 0, 0};
  for (int32_t cur = leaf, par = nodes[leaf].parent; par != 0; cur = par, par = nodes[par].parent) {
    list.clear();
    auto add = [&](int32_t first, int32_t skip) {
      for (int32_t c = first; c < first + 8; ++c)
        if (c != skip && nodes[c].count > 0 && list.size() < capacity) list.push_back(c);
    };
    add(nodes[par].first_child, cur);
    for (size_t head = 0; head < list.size(); ++head) {
      const OctreeNode& n = nodes[list[head]];
      const double d3[3] = {x - n.cm_x, y - n.cm_y, z - n.cm_z};
      double d = std::sqrt(d3[0] * d3[0] + d3[1] * d3[1] + d3[2] * d3[2]);
      if (d < 1e-6) d = 1e-6;
      if (n.first_child != 0 && n.side / d >= ratio) {
        add(n.first_child, 0);
        continue;
      }
      const double force = n.first_child != 0 ? (k * k / d) * n.count : k * k / d;
      for (int a = 0; a < 3; ++a) f[a] = f[a] + force * d3[a] / d;
    }
  }
  return {f[0], f[1], f[2]};
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(RepulsiveForce, EveryWalkGivesThePlainWalksBits) {
  // Scattered vertices, and tight clusters that make deep split chains;
  // ratios that open everything, nothing, or some; lists that overflow;
  // one vertex at a time and four together.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double ratios[] = {0.0, 0.35, 0.6, 1.3, 1e300, -1.0, nan};
  // Where the processor cannot take four lanes, only the one-item walk is
  // compared: say so rather than pass for a walk that never ran.
  if (!vector_walk_available()) std::puts("note: no AVX2 here; the vector walks are not tested");
  RunContext rng;
  rng.rand15_state = 7;
  auto rand15 = [&rng] { return ::rand15(rng); };
  for (int scene = 0; scene < 2; ++scene) {
    std::vector<std::array<double, 3>> pts;
    for (int i = 0; i < 240; ++i) {
      if (scene == 0) {
        pts.push_back({rand15() * (1000.0 / 32768), rand15() * (800.0 / 32768),
                       rand15() * (600.0 / 32768)});
      } else {
        const double c = 100.0 + 200 * (i % 4);
        pts.push_back({c + rand15() * 1e-7, c * 0.7 + rand15() * 1e-3, 300 + rand15() * 1e-4});
      }
    }
    for (size_t capacity : {size_t{3}, size_t{17}, pts.size()}) {
      Scene s(pts, static_cast<int32_t>(capacity));
      for (double ratio : ratios) {
        std::vector<std::array<double, 3>> want(pts.size() + 1);
        for (int32_t v = 1; v <= static_cast<int32_t>(pts.size()); ++v) {
          const std::array<double, 3> plain =
              plain_walk(s.tree, s.leaf_of[v], pts[v - 1][0], pts[v - 1][1], pts[v - 1][2], 37.5,
                         ratio, capacity);
          want[v] = plain;
          for (bool vector_walk : {true, false}) {
            s.tree.vector_walk = vector_walk;
            const std::array<double, 3> got = s.force(v, 37.5, ratio);
            for (int a = 0; a < 3; ++a)
              ASSERT_TRUE(same_bits(got[a], plain[a]))
                  << "scene " << scene << " capacity " << capacity << " ratio " << ratio
                  << " vertex " << v << " axis " << a << " vector " << vector_walk << ": "
                  << got[a] << " != " << plain[a];
          }
        }
        // Four at a time: neighbours in leaf order (walks shared from a low
        // common ancestor), vertex numbers in a row (spread over the tree),
        // and a group with the same vertex twice.
        std::vector<int32_t> groups = s.leaf_order();
        for (int32_t v = 1; v <= static_cast<int32_t>(pts.size()); ++v) groups.push_back(v);
        groups.insert(groups.end(), {5, 9, 5, 200});
        for (bool vector_walk : {true, false}) {
          s.tree.vector_walk = vector_walk;
          for (size_t g = 0; g + 4 <= groups.size(); g += 4) {
            const auto got = s.force4(&groups[g], 37.5, ratio);
            for (int l = 0; l < 4; ++l)
              for (int a = 0; a < 3; ++a)
                ASSERT_TRUE(same_bits(got[l][a], want[groups[g + l]][a]))
                    << "scene " << scene << " capacity " << capacity << " ratio " << ratio
                    << " group at " << g << " vertex " << groups[g + l] << " axis " << a
                    << " vector " << vector_walk << ": " << got[l][a]
                    << " != " << want[groups[g + l]][a];
          }
        }
      }
    }
  }
}

TEST(RepulsiveForce, QuotientEqualToTheRatioOpensTheNode) {
  // Vertices 2 and 3 share the root's octant 4 (largest side 500), whose
  // centre of mass lies 350 from vertex 1: side / d equals the ratio.
  Scene s({{100, 100, 100}, {100, 100, 400}, {100, 100, 500}}, 8);
  const double k = 10, ratio = 500.0 / 350.0;
  for (bool vector_walk : {true, false}) {
    s.tree.vector_walk = vector_walk;
    const std::array<double, 3> f = s.force(1, k, ratio);
    EXPECT_EQ(f[2], -k * k / 300 - k * k / 400) << vector_walk;  // opened: one by one
  }
}
