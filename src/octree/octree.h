// The octree over the drawing area, rebuilt from all positions in every
// force-directed iteration, and the approximate repulsive force read from it.
//
//   Octree::nodes   [0: none][1: root][c c c c c c c c][c c ...] ...
//                                     ^ first_child of a node: its eight
//                                       children, octant i at first_child+i
//
// Nodes live in one pool that octree_clear cuts back to the root, keeping
// its capacity, so refilling the tree allocates nothing once it has grown.
// A node's box is not stored: it follows from the root's box and the
// octants on the path, computed with the same halving as when the node was
// made. Index 0 means "none".
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/parallel.h"

struct OctreeNode {
  double cm_x;          ///< centre of mass: running mean of the positions below
  double cm_y;
  double cm_z;
  double side;          ///< largest side of the box, set when the node is split
  int32_t count;        ///< vertices in the subtree
  int32_t vertex;       ///< the vertex of a leaf with count 1
  int32_t first_child;  ///< index of child 0, or 0 for a leaf
  int32_t parent;       ///< 0 for the root
};

struct Octree {
  std::vector<OctreeNode> nodes;  ///< slot 0 unused, slot 1 the root
  /// Per node, bit i set when child i holds a vertex, so that a walk
  /// visits the nonempty children without loading all eight.
  std::vector<uint8_t> child_mask;
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0, zmin = 0, zmax = 0;
  /// Walks of this tree take four lanes at a time where the processor
  /// has AVX2, else one item at a time; both give the same bits.
  bool vector_walk = true;
};

/// Index of the root node.
inline constexpr int32_t kOctreeRoot = 1;

/// Makes `tree` an empty root over the given box (releasing any old tree).
void octree_create(Octree& tree, double xmin, double xmax, double ymin, double ymax,
                   double zmin, double zmax);

/// Empties the tree: the root keeps its box and becomes an empty leaf.
void octree_clear(Octree& tree);

/// Releases every node.
void octree_free(Octree& tree);

/// Appends the vertices of the tree's leaves to `order` in depth-first
/// order, octant 0 first: neighbours in space end up near each other.
/// `stack` is work space.
void octree_leaf_order(const Octree& tree, std::vector<int32_t>& order,
                       std::vector<int32_t>& stack);

/// Inserts vertex v at (x, y, z) and records its leaf in leaf_of[v].
/// Returns false, leaving the tree as it was (up to the rounding of the
/// undone means), when v's position lies within `tolerance` of a vertex
/// already in the tree on every axis, or when the two positions cannot be
/// told apart by halving boxes in double precision.
bool octree_insert(Octree& tree, int32_t v, double x, double y, double z,
                   std::vector<int32_t>& leaf_of, double tolerance);

/// Reusable storage of octree_build: the vertices grouped by the root's
/// octant, and per thread the subtree being built and the work space of
/// copying it into the tree.
struct OctreeBuildScratch {
  std::vector<uint8_t> octant;     ///< root octant of each vertex, slot 0 unused
  std::vector<int32_t> by_octant;  ///< vertices grouped by octant, increasing in a group
  std::vector<Octree> sub;
  std::vector<std::vector<int32_t>> stack;
  Octree late[8];  ///< subtrees waiting for the pool to grow
};

/// Fills `tree`, emptied first, with vertices 1..nvtxs at (x[v], y[v], z[v]):
/// the tree that inserting them one at a time in order gives, with the
/// subtrees of the root's eight octants built on the given threads.
/// Only node numbers differ (each subtree's nodes lie together, in
/// depth-first order, in an order of subtrees that depends on which thread
/// finished first); every field, child order and leaf is the same. Returns
/// false, leaving the tree and leaf_of unspecified, when some vertex would
/// be refused: the caller then inserts one at a time, so that refusals are
/// met in vertex order.
bool octree_build(Octree& tree, int32_t nvtxs, const double* x, const double* y,
                  const double* z, std::vector<int32_t>& leaf_of, double tolerance,
                  OctreeBuildScratch& scratch, const Threads& threads);

/// Gives the leaf `node`, whose box is the one given, its eight empty
/// children, and records the box's largest side in the node.
void octree_split(Octree& tree, int32_t node, double xmin, double xmax, double ymin,
                  double ymax, double zmin, double zmax);

/// The bounded first-in, first-out work list of the repulsion walk.
/// Appends beyond `capacity` between two resets are dropped: that bound is
/// part of the method and changes forces, so it must stay.
struct NodeQueue {
  /// `capacity` slots and eight more (children are stored eight at a time
  /// before the size is cut back), left uninitialised: the pages a walk
  /// never reaches are, as a rule, never touched, so many threads on a
  /// large level do not each commit nvtxs slots.
  std::unique_ptr<int32_t[]> items;
  int32_t capacity = 0;
  int32_t size = 0;
  int32_t head = 0;
};

/// Sets up a queue with `capacity` slots.
void node_queue_init(NodeQueue& queue, int32_t capacity);

/// The work list of four walks taken together (repulsive_force4): one list
/// holding the entries of the four vertices' own lists, each entry with
/// the lanes (bit l for vertex l) whose own list holds it. Room for four
/// lists of `capacity` entries and eight more, left uninitialised like the
/// NodeQueue's.
struct SharedQueue {
  std::unique_ptr<int32_t[]> items;
  std::unique_ptr<uint8_t[]> lanes;
  int32_t capacity = 0;  ///< the bound of each vertex's own list
};

/// Sets up a shared queue for own lists of `capacity` entries.
void shared_queue_init(SharedQueue& queue, int32_t capacity);

/// Adds to fx, fy, fz the approximate repulsive force on vertex v at
/// (x, y, z): k^2/d from every other vertex, groups of vertices whose node
/// is well separated (largest side / distance < ratio) taken at their
/// centre of mass. A vertex without a leaf (leaf_of[v] == 0) gets nothing.
void repulsive_force(const Octree& tree, int32_t v, double x, double y, double z, double k,
                     const std::vector<int32_t>& leaf_of, NodeQueue& queue, double& fx,
                     double& fy, double& fz, double ratio);

/// Sets f[l] to the repulsive force on the four distinct vertices v[0..3]
/// at (x[v[l]], y[v[l]], z[v[l]]): the bits repulsive_force adds to zeros,
/// with `queue` and the same ratio. With the four-wide walk in use, the
/// levels from the lowest common ancestor of their leaves up are walked
/// once for all four, each vertex in its own lane; any own list that would
/// pass queue.capacity (then some append would be dropped) makes the four
/// walk one at a time instead.
void repulsive_force4(const Octree& tree, const int32_t* v, const double* x, const double* y,
                      const double* z, double k, const std::vector<int32_t>& leaf_of,
                      NodeQueue& queue, SharedQueue& shared, double ratio, double (*f)[3]);

/// Whether this build and processor can walk four lanes at a time.
bool vector_walk_available();
