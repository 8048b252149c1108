// read_edge_list: edge-list files, one edge per line as two vertex ids.
// Ids are any non-negative integers, in any order and with gaps; a hash
// table with a random seed (so that no choice of ids makes the lookups
// collide) gives each new id the next number while the file is read, and at
// the end the numbers are relabelled so that vertices 1..nvtxs follow the
// ids in increasing order.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <sys/random.h>

#include "graph/graph_internal.h"
#include "graph/line_reader.h"

namespace {

/// Largest vertex id: ids are kept as signed 64-bit numbers.
constexpr uint64_t kMaxId = 9223372036854775807u;
/// Slots of the id table at first; it doubles when half full.
constexpr size_t kFirstTableSize = size_t{1} << 12;

/// A slot of the id table: an id and its number side by side, so that a
/// lookup costs one cache miss.
struct IdSlot {
  int64_t id;      ///< -1 marks a free slot
  int32_t number;
};

/// 64 random bits from the system, for the seed of the id table.
uint64_t random_seed() {
  uint64_t seed = 0;
  if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != sizeof seed)
    seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
           0x9E3779B97F4A7C15u;
  return seed;
}

/// Open-addressing table (linear probing) from ids to the numbers they
/// were given, 1 for the first id seen, 2 for the next new one, ...
struct IdTable {
  std::vector<IdSlot> slots;
  int shift = 0;             ///< 64 minus log2 of the slot count
  uint64_t seed = 0;         ///< of the hash, random for every file
  std::vector<int64_t> ids;  ///< ids[e]: the id given number e (slot 0 unused)
};

inline size_t slot_of(const IdTable& t, int64_t id) {
  // The id plus a random seed, mixed so that every bit of it moves every
  // bit of the slot: the file's author cannot choose ids that collide.
  uint64_t x = static_cast<uint64_t>(id) + t.seed;
  x = (x ^ (x >> 33)) * 0xFF51AFD7ED558CCDu;
  x = (x ^ (x >> 33)) * 0xC4CEB9FE1A85EC53u;
  return static_cast<size_t>((x ^ (x >> 33)) >> t.shift);
}

void table_resize(IdTable& t, size_t slots) {
  int bits = 0;
  while ((size_t{1} << bits) < slots) ++bits;
  t.shift = 64 - bits;
  t.slots.assign(size_t{1} << bits, IdSlot{-1, 0});
  const size_t mask = t.slots.size() - 1;
  for (size_t e = 1; e < t.ids.size(); ++e) {
    size_t s = slot_of(t, t.ids[e]);
    while (t.slots[s].id != -1) s = (s + 1) & mask;
    t.slots[s] = IdSlot{t.ids[e], static_cast<int32_t>(e)};
  }
}

/// The number of `id`, a new one when the id is new; 0 when there are
/// already as many vertices as 32 bits count.
inline int32_t id_number(IdTable& t, int64_t id) {
  const size_t mask = t.slots.size() - 1;
  size_t s = slot_of(t, id);
  for (;;) {
    if (t.slots[s].id == id) return t.slots[s].number;
    if (t.slots[s].id == -1) break;
    s = (s + 1) & mask;
  }
  const size_t e = t.ids.size();
  if (e > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return 0;
  t.ids.push_back(id);
  t.slots[s] = IdSlot{id, static_cast<int32_t>(e)};
  if (2 * e >= t.slots.size()) table_resize(t, 2 * t.slots.size());
  return static_cast<int32_t>(e);
}

/// Edges whose ids are looked up together: their slots are fetched ahead,
/// so that the cache misses of a batch overlap instead of adding up.
constexpr int kLookupBatch = 16;

struct IdPair {
  int64_t a;
  int64_t b;
};

/// Numbers the ids of a batch of edges and collects the edges, loops
/// counted and left out. False when the ids outnumber 32-bit numbers.
bool number_batch(IdTable& t, const IdPair* batch, int count, EdgeCollector& edges,
                  ReadStatus& status) {
  for (int i = 0; i < count; ++i) {
    __builtin_prefetch(&t.slots[slot_of(t, batch[i].a)]);
    __builtin_prefetch(&t.slots[slot_of(t, batch[i].b)]);
  }
  for (int i = 0; i < count; ++i) {
    const int32_t u = id_number(t, batch[i].a);
    const int32_t w = batch[i].a == batch[i].b ? u : id_number(t, batch[i].b);
    if (u == 0 || w == 0) return false;
    if (u == w) {
      ++status.self_loops_dropped;  // the vertex stays, the loop goes
      continue;
    }
    collect_edge(edges, u, w);
  }
  return true;
}

inline bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }
enum class LineKind { kEdge, kSkip, kError };
enum class IdResult { kOk, kNotAnId, kTooLarge };

/// Reads an id at p: digits ending at a blank, a comma or the line's end.
IdResult read_id(const char*& p, const char* end, int64_t& id) {
  uint64_t value = 0;
  const char* start = p;
  if (!parse_digits(p, end, kMaxId, value)) {
    if (p == start) return IdResult::kNotAnId;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    return IdResult::kTooLarge;
  }
  if (p < end && !is_blank(*p) && *p != ',') return IdResult::kNotAnId;  // "2.5", "2x"
  id = static_cast<int64_t>(value);
  return IdResult::kOk;
}

/// Reads the two ids of an edge line; kSkip for blank and comment lines.
LineKind parse_edge_line(FormatReader& r, const char* line, size_t length, int64_t& a,
                         int64_t& b) {
  const char* end = line + length;
  const char* p = line;
  while (p < end && is_blank(*p)) ++p;
  if (p == end || *p == '#' || *p == '%') return LineKind::kSkip;
  for (int k = 0; k < 2; ++k) {
    if (k == 1) {
      while (p < end && is_separator(*p)) ++p;
      if (p == end || *p == '\r' || *p == '\n') {
        r.fail(r.lines.line_number, "the line holds one vertex id (it reads " +
                                        quote_text(line, length) + "); an edge needs two");
        return LineKind::kError;
      }
    }
    const char* start = p;
    IdResult result = read_id(p, end, k == 0 ? a : b);
    if (result == IdResult::kTooLarge) {
      r.fail(r.lines.line_number, "the vertex id " +
                                      quote_text(start, static_cast<size_t>(p - start)) +
                                      " is larger than " + std::to_string(kMaxId));
      return LineKind::kError;
    }
    if (result == IdResult::kNotAnId) {
      r.fail(r.lines.line_number,
             "an edge line must begin with two vertex ids, non-negative integers apart by "
             "blanks, tabs or commas (it reads " + quote_text(line, length) +
                 "; comment lines begin with \"#\" or \"%\")");
      return LineKind::kError;
    }
  }
  return LineKind::kEdge;
}

}  // namespace

bool read_edge_list(FormatReader& r, GraphHandle& graph, int32_t& nvtxs_out, int32_t& nedges_out) {
  IdTable table;
  table.seed = random_seed();
  table.ids.push_back(-1);  // slot 0 unused
  table_resize(table, kFirstTableSize);
  EdgeCollector edges;
  IdPair batch[kLookupBatch];
  int pending = 0;
  const char* too_many = "more distinct vertex ids than 32-bit vertex numbers allow";

  const char* line = nullptr;
  size_t length = 0;
  int64_t blank_run = 0;  // bytes of blank lines since the last edge
  while (next_line(r.lines, line, length)) {
    skip_byte_order_mark(r.lines, line, length);
    int64_t a = 0, b = 0;
    LineKind kind = parse_edge_line(r, line, length, a, b);
    if (kind == LineKind::kError) return false;
    if (kind == LineKind::kSkip) {
      if (is_blank_line(line, length) && !count_blank_line(r.lines, blank_run, length)) break;
      continue;
    }
    blank_run = 0;
    batch[pending++] = IdPair{a, b};
    if (pending == kLookupBatch) {
      if (!number_batch(table, batch, pending, edges, r.status)) return r.fail_file(too_many);
      pending = 0;
    }
  }
  if (r.lines.error) return r.fail(r.lines.line_number + 1, r.lines.error_text);
  if (!number_batch(table, batch, pending, edges, r.status)) return r.fail_file(too_many);
  std::vector<IdSlot>().swap(table.slots);
  const int32_t nvtxs = static_cast<int32_t>(table.ids.size() - 1);
  if (nvtxs == 0)
    return r.fail_file("the file holds no edge lines; a graph needs at least one vertex");

  // Number the vertices by increasing id. Ids first seen in increasing
  // order (a file sorted by id) already are.
  std::vector<int32_t> relabel;
  std::vector<int64_t>& ids = table.ids;
  if (!std::is_sorted(ids.begin() + 1, ids.end())) {
    std::vector<int32_t> order(static_cast<size_t>(nvtxs));
    for (int32_t e = 1; e <= nvtxs; ++e) order[e - 1] = e;
    std::sort(order.begin(), order.end(),
              [&ids](int32_t x, int32_t y) { return ids[x] < ids[y]; });
    relabel.assign(static_cast<size_t>(nvtxs) + 1, 0);
    r.status.original_ids.assign(static_cast<size_t>(nvtxs) + 1, 0);
    for (int32_t v = 1; v <= nvtxs; ++v) {
      relabel[order[v - 1]] = v;
      r.status.original_ids[v] = ids[order[v - 1]];
    }
    std::vector<int64_t>().swap(ids);
  } else {
    r.status.original_ids = std::move(ids);
    r.status.original_ids[0] = 0;
  }

  std::string error;
  if (!build_graph_from_edges(edges, nvtxs, relabel, graph, nedges_out, error))
    return r.fail_file(error);
  nvtxs_out = nvtxs;
  return true;
}
