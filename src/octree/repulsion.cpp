// The repulsive force: the walk from a vertex's leaf up to the root, summing
// k^2/d over the sibling subtrees met on the way, with well-separated nodes
// taken as a whole at their centre of mass. Three forms give the same bits:
// the reference walk one list item at a time; with AVX2, four items at a
// time (walk_avx2); and four vertices that follow each other in the leaf
// order walking together, each in its own lane, from the lowest common
// ancestor of their leaves up (repulsive_force4).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "octree/octree.h"

// The vector walks load two neighbouring fields with one 16-byte load:
// (cm_x, cm_y) and (cm_z, side).
static_assert(std::is_standard_layout_v<OctreeNode>);
static_assert(offsetof(OctreeNode, cm_y) == offsetof(OctreeNode, cm_x) + sizeof(double));
static_assert(offsetof(OctreeNode, side) == offsetof(OctreeNode, cm_z) + sizeof(double));

namespace {

/// Distances below this are taken as this, so coinciding points stay finite.
constexpr double kDistanceFloor = 1e-6;

// The opening test side / d >= ratio may be decided from squares instead,
// side^2 against ratio^2 * d2 (d2 the squared distance, d its rounded
// root), when the answer cannot differ from the rounded quotient's:
// - Rounding: fl(side / fl(sqrt(d2))) is side / sqrt(d2) within a factor
//   (1 +- 2u), u = 2^-53, so its square is side^2 / d2 within (1 +- 5u);
//   the squares side^2 and ratio^2 (1 +- m) * d2 carry at most 4u more.
//   A margin m of 2^-40 = 8192u is far beyond those 9u: outside it, the
//   squares and the quotient agree; inside it, the quotient decides.
// - Range: with ratio in [1e-50, 1e50] and d2 in (2e-12, 1e100), ratio^2
//   * d2 lies in (2e-112, 1e200), a normal number, so the relative bounds
//   hold. side^2 may overflow (side > 1e154: opened, as the quotient
//   > 1e154 / 1e50 says) or underflow (side < 1e-154: not opened, as the
//   quotient < 1e-148 says), and agrees in both.
// - Floor: d2 > 2e-12 keeps d above kDistanceFloor, so the squares see the
//   distance the quotient uses. Outside these bounds the quotient decides.
/// Relative margin of the test on squares.
constexpr double kQuickMargin = 0x1p-40;
/// Ratios for which the test on squares may be used.
constexpr double kQuickRatioMin = 1e-50;
constexpr double kQuickRatioMax = 1e50;
/// Squared distances for which the test on squares may be used.
constexpr double kQuickD2Min = 2 * kDistanceFloor * kDistanceFloor;
constexpr double kQuickD2Max = 1e100;

/// Slots beyond the capacity, so that up to eight children can be stored
/// at once before the size is cut back to the capacity.
constexpr size_t kListSlack = 8;

}  // namespace

void node_queue_init(NodeQueue& queue, int32_t capacity) {
  if (capacity < 0) capacity = 0;
  queue.items.reset(new int32_t[static_cast<size_t>(capacity) + kListSlack]);
  queue.capacity = capacity;
  queue.size = 0;
  queue.head = 0;
}

void shared_queue_init(SharedQueue& queue, int32_t capacity) {
  if (capacity < 0) capacity = 0;
  const size_t room = 4 * static_cast<size_t>(capacity) + kListSlack;
  queue.items.reset(new int32_t[room]);
  queue.lanes.reset(new uint8_t[room]);
  queue.capacity = capacity;
}

namespace {

/// The work list of one walk. The walk keeps it in a local copy so that
/// size and head stay in registers: stores into the items could otherwise
/// alias them and force a reload after every append.
struct List {
  NodeQueue& queue;
  int32_t* items;
  int32_t capacity;
  int32_t size;
  int32_t head;

  explicit List(NodeQueue& q)
      : queue(q),
        items(q.items.get()),
        capacity(q.capacity),
        size(0),
        head(0) {}

  /// Appends beyond the capacity are dropped: the bound is part of the method.
  void push(int32_t node) {
    if (size < capacity) items[size++] = node;
  }

  /// Appends first + i for every bit i of `bits`, lowest first.
  void push_children(int32_t first, unsigned bits) {
    for (; bits != 0; bits &= bits - 1) push(first + __builtin_ctz(bits));
  }

  void leave() {
    queue.size = size;
    queue.head = head;
  }
};

/// One item at a time: the reference form of the walk.
void walk_generic(const Octree& tree, int32_t cur, double x, double y, double z, double k,
                  double ratio, NodeQueue& queue, double* f) {
  const OctreeNode* nodes = tree.nodes.data();
  const uint8_t* mask = tree.child_mask.data();
  const double kk = k * k;
  double sx = f[0], sy = f[1], sz = f[2];
  List list(queue);
  for (int32_t par = nodes[cur].parent; par != 0; cur = par, par = nodes[par].parent) {
    list.size = 0;
    list.head = 0;
    const int32_t first = nodes[par].first_child;
    list.push_children(first, mask[par] & ~(1u << (cur - first)));
    while (list.head < list.size) {
      const int32_t idx = list.items[list.head++];
      const OctreeNode& n = nodes[idx];
      const double dx = x - n.cm_x;
      const double dy = y - n.cm_y;
      const double dz = z - n.cm_z;
      double d = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (d < kDistanceFloor) d = kDistanceFloor;
      double force;
      if (n.first_child != 0) {
        if (n.side / d >= ratio) {
          list.push_children(n.first_child, mask[idx]);
          continue;
        }
        force = (kk / d) * n.count;
      } else {
        force = kk / d;
      }
      sx = sx + force * dx / d;
      sy = sy + force * dy / d;
      sz = sz + force * dz / d;
    }
  }
  list.leave();
  f[0] = sx;
  f[1] = sy;
  f[2] = sz;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FRLAYOUT_HAVE_AVX2 1

/// For every set of nonempty children (a child mask), their octants in
/// increasing order, and how many there are.
struct OctantLists {
  alignas(8) uint8_t octants[256][8];
  uint8_t count[256];
};

constexpr OctantLists make_octant_lists() {
  OctantLists t{};
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int i = 0; i < 8; ++i)
      if (m >> i & 1) t.octants[m][n++] = static_cast<uint8_t>(i);
    t.count[m] = static_cast<uint8_t>(n);
  }
  return t;
}

constexpr OctantLists kOctantLists = make_octant_lists();

/// Appends first + i for every bit i of `bits`, lowest first, without a
/// branch: all eight candidates are stored and the size advanced by the
/// number kept. Appends beyond the capacity are dropped, as one at a time.
__attribute__((target("avx2"), always_inline)) inline void append_children(List& list,
                                                                           int32_t first,
                                                                           unsigned bits) {
  const __m256i octants = _mm256_cvtepu8_epi32(
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kOctantLists.octants[bits])));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(list.items + list.size),
                      _mm256_add_epi32(_mm256_set1_epi32(first), octants));
  list.size = std::min(list.size + kOctantLists.count[bits], list.capacity);
}

/// The opening test side / d >= ratio on four lanes, mostly decided from
/// squares (see kQuickMargin), which saves the division.
struct OpeningTest {
  __m256d r2_high, r2_low, d2_min, d2_max, ratio;
};

__attribute__((target("avx2"), always_inline)) inline OpeningTest opening_test(double ratio) {
  const bool quick = ratio >= kQuickRatioMin && ratio <= kQuickRatioMax;
  return {_mm256_set1_pd(ratio * ratio * (1 + kQuickMargin)),
          _mm256_set1_pd(ratio * ratio * (1 - kQuickMargin)),
          _mm256_set1_pd(quick ? kQuickD2Min : 0.0), _mm256_set1_pd(quick ? kQuickD2Max : 0.0),
          _mm256_set1_pd(ratio)};
}

/// The lanes (all ones) whose node is opened, for nodes at squared
/// distance d2 and distance d with largest side `side`. The quotient is
/// taken only when some lane of `needed` (a bit per lane) is not decided
/// from the squares; its comparison is the scalar one, false for NaN.
__attribute__((target("avx2"), always_inline)) inline __m256d opened_lanes(const OpeningTest& t,
                                                                           __m256d d2, __m256d d,
                                                                           __m256d side,
                                                                           int needed) {
  const __m256d valid = _mm256_and_pd(_mm256_cmp_pd(d2, t.d2_min, _CMP_GT_OQ),
                                      _mm256_cmp_pd(d2, t.d2_max, _CMP_LT_OQ));
  const __m256d s2 = _mm256_mul_pd(side, side);
  const __m256d above = _mm256_cmp_pd(s2, _mm256_mul_pd(t.r2_high, d2), _CMP_GT_OQ);
  const __m256d below = _mm256_cmp_pd(s2, _mm256_mul_pd(t.r2_low, d2), _CMP_LT_OQ);
  const __m256d decided = _mm256_and_pd(valid, _mm256_or_pd(above, below));
  const __m256d open = _mm256_and_pd(valid, above);
  if ((_mm256_movemask_pd(decided) & needed) == needed) return open;
  return _mm256_blendv_pd(_mm256_cmp_pd(_mm256_div_pd(side, d), t.ratio, _CMP_GE_OQ), open,
                          decided);
}

/// The same walk four list items at a time, up the levels from cur's
/// parent to the level of `stop` (not included; 0: to the root): the four
/// nodes are loaded together and their distances, opening tests and
/// forces computed in one go; then the forces of those not opened are
/// added and the children of those opened appended, both in list order,
/// exactly as one at a time.
/// Square root, division, multiplication and the int-to-double conversion
/// are correctly rounded in either form, a leaf's count is 1 (multiplying
/// by it is exact), and max(floor, d) keeps a NaN d as the scalar
/// comparison does, so every bit of the result is the same. Fewer than
/// four items repeat the last one, whose results are unused.
__attribute__((target("avx2"))) void walk_avx2(const Octree& tree, int32_t cur, double x,
                                                double y, double z, double k, double ratio,
                                                NodeQueue& queue, double* f, int32_t stop) {
  const OctreeNode* nodes = tree.nodes.data();
  const uint8_t* mask = tree.child_mask.data();
  double sx = f[0], sy = f[1], sz = f[2];
  const __m256d vx = _mm256_set1_pd(x), vy = _mm256_set1_pd(y), vz = _mm256_set1_pd(z);
  const __m256d kk = _mm256_set1_pd(k * k), floor = _mm256_set1_pd(kDistanceFloor);
  const OpeningTest test = opening_test(ratio);
  alignas(32) double fx[4], fy[4], fz[4];
  List list(queue);
  for (int32_t par = nodes[cur].parent; par != stop; cur = par, par = nodes[par].parent) {
    list.size = 0;
    list.head = 0;
    const int32_t first = nodes[par].first_child;
    append_children(list, first, mask[par] & ~(1u << (cur - first)));
    while (list.head < list.size) {
      const int32_t* at = list.items + list.head;
      const int32_t lanes = std::min(list.size - list.head, 4);
      const int32_t last = at[lanes - 1];
      const int32_t idx[4] = {at[0], lanes > 1 ? at[1] : last, lanes > 2 ? at[2] : last, last};
      list.head += lanes;
      const OctreeNode& n0 = nodes[idx[0]];
      const OctreeNode& n1 = nodes[idx[1]];
      const OctreeNode& n2 = nodes[idx[2]];
      const OctreeNode& n3 = nodes[idx[3]];
      // [x0 y0 x2 y2] and [x1 y1 x3 y3] give the x and y columns; the same
      // from cm_z and side.
      const __m256d xy02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(&n0.cm_x)),
                                                _mm_loadu_pd(&n2.cm_x), 1);
      const __m256d xy13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(&n1.cm_x)),
                                                _mm_loadu_pd(&n3.cm_x), 1);
      const __m256d zs02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(&n0.cm_z)),
                                                _mm_loadu_pd(&n2.cm_z), 1);
      const __m256d zs13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(&n1.cm_z)),
                                                _mm_loadu_pd(&n3.cm_z), 1);
      const __m256d dx = _mm256_sub_pd(vx, _mm256_unpacklo_pd(xy02, xy13));
      const __m256d dy = _mm256_sub_pd(vy, _mm256_unpackhi_pd(xy02, xy13));
      const __m256d dz = _mm256_sub_pd(vz, _mm256_unpacklo_pd(zs02, zs13));
      const __m256d side = _mm256_unpackhi_pd(zs02, zs13);
      const __m256d count =
          _mm256_cvtepi32_pd(_mm_set_epi32(n3.count, n2.count, n1.count, n0.count));
      const __m256d d2 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)),
                                       _mm256_mul_pd(dz, dz));
      const __m256d d = _mm256_max_pd(floor, _mm256_sqrt_pd(d2));
      const __m256d force = _mm256_mul_pd(_mm256_div_pd(kk, d), count);
      const int open = _mm256_movemask_pd(opened_lanes(test, d2, d, side, 0xf));
      // An opened internal node, and a repeated lane of a short group, adds
      // -0.0: the exact identity of addition, also for a sum of zero.
      const int32_t child[4] = {n0.first_child, n1.first_child, n2.first_child, n3.first_child};
      int internal = 0;
      for (int l = 0; l < 4; ++l) internal |= (child[l] != 0) << l;
      const int present = (1 << lanes) - 1;
      const int opened = open & internal & present;
      const __m256d keep = _mm256_castsi256_pd(_mm256_cmpeq_epi64(
          _mm256_and_si256(_mm256_set1_epi64x(opened | (0xf & ~present)),
                           _mm256_setr_epi64x(1, 2, 4, 8)),
          _mm256_setzero_si256()));
      const __m256d none = _mm256_set1_pd(-0.0);
      _mm256_store_pd(fx, _mm256_blendv_pd(none, _mm256_div_pd(_mm256_mul_pd(force, dx), d), keep));
      _mm256_store_pd(fy, _mm256_blendv_pd(none, _mm256_div_pd(_mm256_mul_pd(force, dy), d), keep));
      _mm256_store_pd(fz, _mm256_blendv_pd(none, _mm256_div_pd(_mm256_mul_pd(force, dz), d), keep));
      sx = (((sx + fx[0]) + fx[1]) + fx[2]) + fx[3];
      sy = (((sy + fy[0]) + fy[1]) + fy[2]) + fy[3];
      sz = (((sz + fz[0]) + fz[1]) + fz[2]) + fz[3];
      for (int bits = opened; bits != 0; bits &= bits - 1) {
        const int l = __builtin_ctz(bits);
        append_children(list, child[l], mask[idx[l]]);
      }
    }
  }
  list.leave();
  f[0] = sx;
  f[1] = sy;
  f[2] = sz;
}

/// Lane masks: lane l of kLaneMasks.m[bits] is all ones when bit l is set.
struct LaneMasks {
  alignas(32) uint64_t m[16][4];
};

constexpr LaneMasks make_lane_masks() {
  LaneMasks t{};
  for (int bits = 0; bits < 16; ++bits)
    for (int l = 0; l < 4; ++l) t.m[bits][l] = (bits >> l & 1) ? ~uint64_t{0} : 0;
  return t;
}

constexpr LaneMasks kLaneMasks = make_lane_masks();

/// Adds `count` to the lanes of `own` whose bit is set in `bits`.
__attribute__((target("avx2"), always_inline)) inline __m128i add_to_lanes(__m128i own,
                                                                           unsigned bits,
                                                                           int32_t count) {
  const __m128i lane_bits = _mm_setr_epi32(1, 2, 4, 8);
  const __m128i in = _mm_cmpeq_epi32(
      _mm_and_si128(_mm_set1_epi32(static_cast<int32_t>(bits)), lane_bits), lane_bits);
  return _mm_add_epi32(own, _mm_and_si128(in, _mm_set1_epi32(count)));
}

/// The walks of four vertices, lane l at (x, y, z)[l], from the level of
/// node `lca` (whose child on lane l's path is skip[l]) up to the root,
/// with one list: an entry holds a node and the lanes whose own list holds
/// it. Each lane takes the entries of its own list in the order that list
/// would have them (children are appended after everything already
/// listed, as in its own list), computes every force as the one-vertex
/// walk does and adds it to its own sums; the other lanes add -0.0. Returns
/// false, with the sums unusable, as soon as some lane's own list would
/// pass `capacity` entries on a level.
__attribute__((target("avx2"))) bool shared_walk_avx2(const Octree& tree, int32_t lca,
                                                       const int32_t* skip, __m256d vx,
                                                       __m256d vy, __m256d vz, double k,
                                                       double ratio, int32_t capacity,
                                                       SharedQueue& queue, __m256d* sums) {
  const OctreeNode* nodes = tree.nodes.data();
  const uint8_t* mask = tree.child_mask.data();
  int32_t* items = queue.items.get();
  uint8_t* lanes = queue.lanes.get();
  const __m256d kk = _mm256_set1_pd(k * k), floor = _mm256_set1_pd(kDistanceFloor);
  const OpeningTest test = opening_test(ratio);
  const __m256d none = _mm256_set1_pd(-0.0);
  const __m128i limit = _mm_set1_epi32(capacity);
  __m256d sx = sums[0], sy = sums[1], sz = sums[2];
  int32_t cur[4] = {skip[0], skip[1], skip[2], skip[3]};
  for (int32_t par = lca; par != 0; par = nodes[par].parent) {
    int64_t size = 0;
    __m128i own = _mm_setzero_si128();  // entries of each lane's own list
    const int32_t first = nodes[par].first_child;
    for (unsigned bits = mask[par]; bits != 0; bits &= bits - 1) {
      const int32_t child = first + __builtin_ctz(bits);
      unsigned in = 0;
      for (int l = 0; l < 4; ++l) in |= static_cast<unsigned>(cur[l] != child) << l;
      if (in == 0) continue;
      items[size] = child;
      lanes[size] = static_cast<uint8_t>(in);
      ++size;
      own = add_to_lanes(own, in, 1);
    }
    if (_mm_movemask_epi8(_mm_cmpgt_epi32(own, limit)) != 0) return false;
    for (int64_t head = 0; head < size; ++head) {
      const int32_t idx = items[head];
      const unsigned in = lanes[head];
      const OctreeNode& n = nodes[idx];
      const __m256d dx = _mm256_sub_pd(vx, _mm256_broadcast_sd(&n.cm_x));
      const __m256d dy = _mm256_sub_pd(vy, _mm256_broadcast_sd(&n.cm_y));
      const __m256d dz = _mm256_sub_pd(vz, _mm256_broadcast_sd(&n.cm_z));
      const __m256d d2 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)),
                                       _mm256_mul_pd(dz, dz));
      const __m256d d = _mm256_max_pd(floor, _mm256_sqrt_pd(d2));
      const __m256d force = _mm256_mul_pd(_mm256_div_pd(kk, d), _mm256_set1_pd(n.count));
      const __m256d active = _mm256_castsi256_pd(
          _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneMasks.m[in])));
      __m256d keep = active;
      if (n.first_child != 0) {
        const __m256d side = _mm256_broadcast_sd(&n.side);
        const __m256d opened = _mm256_and_pd(
            opened_lanes(test, d2, d, side, static_cast<int>(in)), active);
        const unsigned out = static_cast<unsigned>(_mm256_movemask_pd(opened));
        if (out != 0) {
          keep = _mm256_andnot_pd(opened, active);
          const unsigned children = mask[idx];
          const int32_t count = kOctantLists.count[children];
          own = add_to_lanes(own, out, count);
          if (_mm_movemask_epi8(_mm_cmpgt_epi32(own, limit)) != 0) return false;
          const __m256i octants = _mm256_cvtepu8_epi32(
              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kOctantLists.octants[children])));
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(items + size),
                              _mm256_add_epi32(_mm256_set1_epi32(n.first_child), octants));
          const uint64_t spread = out * uint64_t{0x0101010101010101};
          std::memcpy(lanes + size, &spread, sizeof spread);
          size += count;
        }
      }
      const __m256d fx = _mm256_div_pd(_mm256_mul_pd(force, dx), d);
      const __m256d fy = _mm256_div_pd(_mm256_mul_pd(force, dy), d);
      const __m256d fz = _mm256_div_pd(_mm256_mul_pd(force, dz), d);
      sx = _mm256_add_pd(sx, _mm256_blendv_pd(none, fx, keep));
      sy = _mm256_add_pd(sy, _mm256_blendv_pd(none, fy, keep));
      sz = _mm256_add_pd(sz, _mm256_blendv_pd(none, fz, keep));
    }
    cur[0] = cur[1] = cur[2] = cur[3] = par;
  }
  sums[0] = sx;
  sums[1] = sy;
  sums[2] = sz;
  return true;
}

/// repulsive_force4 with the shared walk. Each vertex first walks, on its
/// own, the levels below the lowest common ancestor of the four leaves;
/// from there up the four walk together. False, leaving f unspecified,
/// when the four must be walked one at a time.
__attribute__((target("avx2"))) bool force4_avx2(const Octree& tree, const int32_t* v,
                                                  const double* x, const double* y,
                                                  const double* z, double k,
                                                  const std::vector<int32_t>& leaf_of,
                                                  NodeQueue& queue, SharedQueue& shared,
                                                  double ratio, double (*f)[3]) {
  const OctreeNode* nodes = tree.nodes.data();
  if (shared.capacity < queue.capacity) return false;
  int32_t leaf[4];
  for (int l = 0; l < 4; ++l) {
    leaf[l] = leaf_of[v[l]];
    if (leaf[l] == 0 || nodes[leaf[l]].parent == 0) return false;
    for (int m = 0; m < l; ++m)
      if (leaf[m] == leaf[l]) return false;
  }
  int32_t depth[4];
  for (int l = 0; l < 4; ++l) {
    depth[l] = 0;
    for (int32_t a = leaf[l]; a != 0; a = nodes[a].parent) ++depth[l];
  }
  int32_t lca = leaf[0], lca_depth = depth[0];
  for (int l = 1; l < 4; ++l) {
    int32_t b = leaf[l], b_depth = depth[l];
    for (; lca_depth > b_depth; --lca_depth) lca = nodes[lca].parent;
    for (; b_depth > lca_depth; --b_depth) b = nodes[b].parent;
    for (; lca != b; --lca_depth) {
      lca = nodes[lca].parent;
      b = nodes[b].parent;
    }
  }
  int32_t skip[4];
  alignas(32) double sx[4], sy[4], sz[4];
  for (int l = 0; l < 4; ++l) {
    int32_t c = leaf[l];
    while (nodes[c].parent != lca) c = nodes[c].parent;
    skip[l] = c;
    double own[3] = {0, 0, 0};
    walk_avx2(tree, leaf[l], x[v[l]], y[v[l]], z[v[l]], k, ratio, queue, own, lca);
    sx[l] = own[0];
    sy[l] = own[1];
    sz[l] = own[2];
  }
  __m256d sums[3] = {_mm256_load_pd(sx), _mm256_load_pd(sy), _mm256_load_pd(sz)};
  const __m256d vx = _mm256_setr_pd(x[v[0]], x[v[1]], x[v[2]], x[v[3]]);
  const __m256d vy = _mm256_setr_pd(y[v[0]], y[v[1]], y[v[2]], y[v[3]]);
  const __m256d vz = _mm256_setr_pd(z[v[0]], z[v[1]], z[v[2]], z[v[3]]);
  if (!shared_walk_avx2(tree, lca, skip, vx, vy, vz, k, ratio, queue.capacity, shared, sums))
    return false;
  _mm256_store_pd(sx, sums[0]);
  _mm256_store_pd(sy, sums[1]);
  _mm256_store_pd(sz, sums[2]);
  for (int l = 0; l < 4; ++l) {
    f[l][0] = sx[l];
    f[l][1] = sy[l];
    f[l][2] = sz[l];
  }
  return true;
}

const bool kHaveAvx2 = [] {
  __builtin_cpu_init();  // this may run before the library's own constructors
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif

}  // namespace

void repulsive_force(const Octree& tree, int32_t v, double x, double y, double z, double k,
                     const std::vector<int32_t>& leaf_of, NodeQueue& queue, double& fx,
                     double& fy, double& fz, double ratio) {
  const int32_t cur = leaf_of[v];
  if (cur == 0) return;
  double f[3] = {fx, fy, fz};
#ifdef FRLAYOUT_HAVE_AVX2
  if (tree.vector_walk && kHaveAvx2)
    walk_avx2(tree, cur, x, y, z, k, ratio, queue, f, 0);
  else
#endif
    walk_generic(tree, cur, x, y, z, k, ratio, queue, f);
  fx = f[0];
  fy = f[1];
  fz = f[2];
}

void repulsive_force4(const Octree& tree, const int32_t* v, const double* x, const double* y,
                      const double* z, double k, const std::vector<int32_t>& leaf_of,
                      NodeQueue& queue, SharedQueue& shared, double ratio, double (*f)[3]) {
#ifdef FRLAYOUT_HAVE_AVX2
  if (tree.vector_walk && kHaveAvx2 && force4_avx2(tree, v, x, y, z, k, leaf_of, queue, shared, ratio, f)) return;
#endif
  (void)shared;
  for (int l = 0; l < 4; ++l) {
    f[l][0] = f[l][1] = f[l][2] = 0;
    repulsive_force(tree, v[l], x[v[l]], y[v[l]], z[v[l]], k, leaf_of, queue, f[l][0], f[l][1],
                    f[l][2], ratio);
  }
}

bool vector_walk_available() {
#ifdef FRLAYOUT_HAVE_AVX2
  return kHaveAvx2;
#else
  return false;
#endif
}
