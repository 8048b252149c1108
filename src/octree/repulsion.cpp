// repulsive_force: the walk from a vertex's leaf up to the root, summing
// k^2/d over the sibling subtrees met on the way, with well-separated
// nodes taken as a whole at their centre of mass.
#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "octree/octree.h"

namespace {

/// Distances below this are taken as this, so coinciding points stay finite.
constexpr double kDistanceFloor = 1e-6;

/// Relative margin of the opening test made on squares, far above its
/// rounding errors (a few units of 2^-53): a decision it makes is the one
/// the rounded quotient would make.
constexpr double kQuickMargin = 0x1p-40;

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

/// The same walk four list items at a time: the four nodes are loaded
/// together and their distances, opening tests and forces computed in one
/// go; then the forces of those not opened are added and the children of
/// those opened appended, both in list order, exactly as one at a time.
/// Square root, division, multiplication and the int-to-double conversion
/// are correctly rounded in either form, a leaf's count is 1 (multiplying
/// by it is exact), and max(floor, d) keeps a NaN d as the scalar
/// comparison does, so every bit of the result is the same. Fewer than
/// four items repeat the last one, whose results are unused.
__attribute__((target("avx2"))) void walk_avx2(const Octree& tree, int32_t cur, double x,
                                                double y, double z, double k, double ratio,
                                                NodeQueue& queue, double* f) {
  const OctreeNode* nodes = tree.nodes.data();
  const uint8_t* mask = tree.child_mask.data();
  double sx = f[0], sy = f[1], sz = f[2];
  const __m256d vx = _mm256_set1_pd(x), vy = _mm256_set1_pd(y), vz = _mm256_set1_pd(z);
  const __m256d kk = _mm256_set1_pd(k * k), floor = _mm256_set1_pd(kDistanceFloor);
  // The opening test side / d >= ratio is mostly decided from squares,
  // side^2 against ratio^2 d^2 outside a thin margin, which saves the
  // division. Within these bounds the squares and products are normal
  // numbers (or, for a side below 1e-154, decide "not opened", as the
  // quotient would) and the distance is above its floor.
  const bool quick = ratio >= 1e-50 && ratio <= 1e50;
  const __m256d r2_high = _mm256_set1_pd(ratio * ratio * (1 + kQuickMargin));
  const __m256d r2_low = _mm256_set1_pd(ratio * ratio * (1 - kQuickMargin));
  const __m256d d2_min = _mm256_set1_pd(2e-12), d2_max = _mm256_set1_pd(1e100);
  alignas(32) double fx[4], fy[4], fz[4], q[4];
  List list(queue);
  for (int32_t par = nodes[cur].parent; par != 0; cur = par, par = nodes[par].parent) {
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
      int open = 0, decided = 0;
      if (quick) {
        const __m256d valid = _mm256_and_pd(_mm256_cmp_pd(d2, d2_min, _CMP_GT_OQ),
                                            _mm256_cmp_pd(d2, d2_max, _CMP_LT_OQ));
        const __m256d s2 = _mm256_mul_pd(side, side);
        const __m256d above = _mm256_cmp_pd(s2, _mm256_mul_pd(r2_high, d2), _CMP_GT_OQ);
        const __m256d below = _mm256_cmp_pd(s2, _mm256_mul_pd(r2_low, d2), _CMP_LT_OQ);
        open = _mm256_movemask_pd(_mm256_and_pd(valid, above));
        decided = _mm256_movemask_pd(_mm256_and_pd(valid, _mm256_or_pd(above, below)));
      }
      if (decided != 0xf) {
        _mm256_store_pd(q, _mm256_div_pd(side, d));
        for (int l = 0; l < 4; ++l)
          if (!(decided >> l & 1) && q[l] >= ratio) open |= 1 << l;
      }
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

const bool kHaveAvx2 = [] {
  __builtin_cpu_init();  // this may run before the library's own constructors
  return __builtin_cpu_supports("avx2") != 0;
}();
bool g_use_avx2 = kHaveAvx2;
#endif

}  // namespace

void repulsive_force(const Octree& tree, int32_t v, double x, double y, double z, double k,
                     const std::vector<int32_t>& leaf_of, NodeQueue& queue, double& fx,
                     double& fy, double& fz, double ratio) {
  const int32_t cur = leaf_of[v];
  if (cur == 0) return;
  double f[3] = {fx, fy, fz};
#ifdef FRLAYOUT_HAVE_AVX2
  if (g_use_avx2)
    walk_avx2(tree, cur, x, y, z, k, ratio, queue, f);
  else
#endif
    walk_generic(tree, cur, x, y, z, k, ratio, queue, f);
  fx = f[0];
  fy = f[1];
  fz = f[2];
}

bool set_vector_walk(bool enabled) {
#ifdef FRLAYOUT_HAVE_AVX2
  g_use_avx2 = enabled && kHaveAvx2;
  return g_use_avx2;
#else
  (void)enabled;
  return false;
#endif
}
