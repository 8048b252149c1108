// gen_graph: the graphs of the benchmark ladder, written as adjacency-list
// files (header "nvtxs nedges", then one line per vertex with its
// neighbours in increasing order: symmetric, no self-loops, no duplicates).
// It also converts such a file to DOT for the peer tool and checks a file's
// lists. Every random graph comes from its seed alone (splitmix64), so the
// same command writes the same bytes on every machine.
//
//   gen_graph grid A B C OUT          A x B x C grid, six-neighbourhood
//   gen_graph rgg N DEGREE SEED OUT   random geometric graph in the unit cube
//   gen_graph pa N M SEED OUT         preferential attachment, M edges per vertex
//   gen_graph tree N SEED OUT         random recursive tree
//   gen_graph pieces N SEED OUT       a disconnected graph: trees, cycles and
//                                     small geometric graphs of mixed sizes
//   gen_graph dot IN OUT              the graph IN as an undirected DOT graph
//   gen_graph check IN                verifies IN and prints its statistics
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

/// Bytes gathered before one fwrite.
constexpr size_t kWriteChunk = size_t{1} << 22;
/// Pi, for the ball volume that sets the geometric graph's radius.
constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Random numbers: splitmix64, a fixed published algorithm, so outputs do
// not depend on the standard library.

struct SplitMix {
  uint64_t state;
};

inline uint64_t next_u64(SplitMix& r) {
  uint64_t z = (r.state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

/// A double in [0, 1) from the top 53 bits.
inline double next_unit(SplitMix& r) {
  return static_cast<double>(next_u64(r) >> 11) * (1.0 / 9007199254740992.0);
}

/// An integer in [0, n); the modulo bias is below 2^-40 for our sizes.
inline uint64_t next_below(SplitMix& r, uint64_t n) { return next_u64(r) % n; }

// ---------------------------------------------------------------------------
// Graphs in compressed form: the neighbours of v (1-based) are
// nbr[first[v] .. first[v+1]-1].

struct Csr {
  int32_t nvtxs = 0;
  std::vector<int64_t> first;  ///< nvtxs+2 slots, slot 0 unused
  std::vector<int32_t> nbr;
};

int64_t degree(const Csr& g, int32_t v) { return g.first[v + 1] - g.first[v]; }

/// Builds a graph from undirected edges (u, w), u != w, each listed once;
/// every list sorted increasingly.
void csr_from_edges(int32_t nvtxs, const std::vector<int32_t>& ends, Csr& g) {
  g.nvtxs = nvtxs;
  g.first.assign(static_cast<size_t>(nvtxs) + 2, 0);
  for (int32_t e : ends) ++g.first[e + 1];
  g.first[1] = 0;
  for (int32_t v = 2; v <= nvtxs + 1; ++v) g.first[v] += g.first[v - 1];
  g.nbr.assign(ends.size(), 0);
  std::vector<int64_t> fill(g.first.begin(), g.first.end());
  for (size_t i = 0; i + 1 < ends.size(); i += 2) {
    g.nbr[fill[ends[i]]++] = ends[i + 1];
    g.nbr[fill[ends[i + 1]]++] = ends[i];
  }
  for (int32_t v = 1; v <= nvtxs; ++v)
    std::sort(g.nbr.begin() + g.first[v], g.nbr.begin() + g.first[v + 1]);
}

// ---------------------------------------------------------------------------
// Output: a large buffer and a hand-written integer formatter, since the
// largest files have tens of millions of numbers.

struct Writer {
  FILE* file = nullptr;
  std::vector<char> buffer;
  size_t used = 0;
  bool failed = false;
};

bool writer_open(Writer& w, const char* path) {
  w.file = std::fopen(path, "wb");
  if (w.file == nullptr) {
    std::fprintf(stderr, "gen_graph: cannot write %s: %s\n", path, std::strerror(errno));
    return false;
  }
  w.buffer.resize(kWriteChunk + 64);
  w.used = 0;
  return true;
}

void writer_flush(Writer& w) {
  if (w.used > 0 && std::fwrite(w.buffer.data(), 1, w.used, w.file) != w.used) w.failed = true;
  w.used = 0;
}

bool writer_close(Writer& w, const char* path) {
  writer_flush(w);
  if (std::fclose(w.file) != 0) w.failed = true;
  if (w.failed) std::fprintf(stderr, "gen_graph: error while writing %s\n", path);
  return !w.failed;
}

inline void put_char(Writer& w, char c) {
  w.buffer[w.used++] = c;
  if (w.used >= kWriteChunk) writer_flush(w);
}

inline void put_text(Writer& w, const char* s) {
  while (*s) put_char(w, *s++);
}

inline void put_int(Writer& w, int64_t value) {
  char tmp[24];
  int n = 0;
  uint64_t m = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    tmp[n++] = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m != 0);
  if (value < 0) put_char(w, '-');
  while (n > 0) put_char(w, tmp[--n]);
}

bool write_graph(const Csr& g, const char* path) {
  Writer w;
  if (!writer_open(w, path)) return false;
  put_int(w, g.nvtxs);
  put_char(w, ' ');
  put_int(w, static_cast<int64_t>(g.nbr.size() / 2));
  put_char(w, '\n');
  for (int32_t v = 1; v <= g.nvtxs; ++v) {
    for (int64_t e = g.first[v]; e < g.first[v + 1]; ++e) {
      if (e > g.first[v]) put_char(w, ' ');
      put_int(w, g.nbr[e]);
    }
    put_char(w, '\n');
  }
  return writer_close(w, path);
}

// ---------------------------------------------------------------------------
// The generators.

/// An a x b x c grid; vertex (i, j, l) is 1 + i + a*(j + b*l) and its
/// neighbours differ by one in one coordinate. Written directly, in
/// increasing order, without building the lists.
bool write_grid(int32_t a, int32_t b, int32_t c, const char* path) {
  const int64_t n = int64_t{a} * b * c;
  const int64_t edges = int64_t{a - 1} * b * c + int64_t{a} * (b - 1) * c +
                        int64_t{a} * b * (c - 1);
  Writer w;
  if (!writer_open(w, path)) return false;
  put_int(w, n);
  put_char(w, ' ');
  put_int(w, edges);
  put_char(w, '\n');
  const int64_t ab = int64_t{a} * b;
  for (int32_t l = 0; l < c; ++l)
    for (int32_t j = 0; j < b; ++j)
      for (int32_t i = 0; i < a; ++i) {
        const int64_t v = 1 + i + a * (j + int64_t{b} * l);
        int64_t list[6];
        int k = 0;
        if (l > 0) list[k++] = v - ab;
        if (j > 0) list[k++] = v - a;
        if (i > 0) list[k++] = v - 1;
        if (i < a - 1) list[k++] = v + 1;
        if (j < b - 1) list[k++] = v + a;
        if (l < c - 1) list[k++] = v + ab;
        for (int e = 0; e < k; ++e) {
          if (e > 0) put_char(w, ' ');
          put_int(w, list[e]);
        }
        put_char(w, '\n');
      }
  return writer_close(w, path);
}

/// The awkward inputs of the multilevel method: a star (vertex 1 joined
/// to `leaves` others, so a matching removes one vertex per step), `n`
/// vertices without edges, and `count` separate triangles.
bool write_star(int32_t leaves, const char* path) {
  Writer w;
  if (!writer_open(w, path)) return false;
  put_int(w, int64_t{leaves} + 1);
  put_char(w, ' ');
  put_int(w, leaves);
  put_char(w, '\n');
  for (int32_t v = 2; v <= leaves + 1; ++v) {
    if (v > 2) put_char(w, ' ');
    put_int(w, v);
  }
  put_char(w, '\n');
  for (int32_t v = 2; v <= leaves + 1; ++v) put_text(w, "1\n");
  return writer_close(w, path);
}

bool write_isolated(int32_t n, const char* path) {
  Writer w;
  if (!writer_open(w, path)) return false;
  put_int(w, n);
  put_text(w, " 0\n");
  for (int32_t v = 1; v <= n; ++v) put_char(w, '\n');
  return writer_close(w, path);
}

bool write_triangles(int32_t count, const char* path) {
  Writer w;
  if (!writer_open(w, path)) return false;
  put_int(w, int64_t{count} * 3);
  put_char(w, ' ');
  put_int(w, int64_t{count} * 3);
  put_char(w, '\n');
  for (int64_t t = 0; t < count; ++t)
    for (int i = 0; i < 3; ++i) {
      put_int(w, 3 * t + 1 + (i + 1) % 3);
      put_char(w, ' ');
      put_int(w, 3 * t + 1 + (i + 2) % 3);
      put_char(w, '\n');
    }
  return writer_close(w, path);
}

/// n random points of the unit cube joined when at most r apart, with r
/// chosen so that a ball of radius r holds `mean_degree` points on average
/// (vertices near the faces get fewer). Vertices are numbered in the order
/// the points were drawn, so numbers say nothing about places. A grid of
/// cells of side at least r limits the search to 27 cells.
bool write_rgg(int32_t n, double mean_degree, uint64_t seed, const char* path) {
  SplitMix rng{seed};
  std::vector<double> px(static_cast<size_t>(n) + 1), py(px.size()), pz(px.size());
  for (int32_t v = 1; v <= n; ++v) {
    px[v] = next_unit(rng);
    py[v] = next_unit(rng);
    pz[v] = next_unit(rng);
  }
  const double r = std::cbrt(3.0 * mean_degree / (4.0 * kPi * n));
  const double r2 = r * r;
  const int32_t cells = std::max(1, static_cast<int32_t>(std::floor(1.0 / r)));
  auto cell_coord = [cells](double p) {
    return std::min(cells - 1, static_cast<int32_t>(p * cells));
  };
  auto cell_of = [&](int32_t v) {
    return (static_cast<int64_t>(cell_coord(pz[v])) * cells + cell_coord(py[v])) * cells +
           cell_coord(px[v]);
  };
  // Counting sort of the vertices by cell.
  const int64_t ncells = int64_t{cells} * cells * cells;
  std::vector<int64_t> start(static_cast<size_t>(ncells) + 1, 0);
  for (int32_t v = 1; v <= n; ++v) ++start[cell_of(v) + 1];
  for (int64_t c = 1; c <= ncells; ++c) start[c] += start[c - 1];
  std::vector<int32_t> members(static_cast<size_t>(n));
  {
    std::vector<int64_t> fill(start.begin(), start.end() - 1);
    for (int32_t v = 1; v <= n; ++v) members[fill[cell_of(v)]++] = v;
  }
  // Each pair is found from its lower-numbered end only.
  std::vector<int32_t> ends;
  ends.reserve(static_cast<size_t>(n * mean_degree * 1.05));
  for (int32_t v = 1; v <= n; ++v) {
    const int32_t cx = cell_coord(px[v]), cy = cell_coord(py[v]), cz = cell_coord(pz[v]);
    for (int32_t z = std::max(0, cz - 1); z <= std::min(cells - 1, cz + 1); ++z)
      for (int32_t y = std::max(0, cy - 1); y <= std::min(cells - 1, cy + 1); ++y)
        for (int32_t x = std::max(0, cx - 1); x <= std::min(cells - 1, cx + 1); ++x) {
          const int64_t c = (int64_t{z} * cells + y) * cells + x;
          for (int64_t m = start[c]; m < start[c + 1]; ++m) {
            const int32_t u = members[m];
            if (u <= v) continue;
            const double dx = px[u] - px[v], dy = py[u] - py[v], dz = pz[u] - pz[v];
            if (dx * dx + dy * dy + dz * dz <= r2) {
              ends.push_back(v);
              ends.push_back(u);
            }
          }
        }
  }
  Csr g;
  csr_from_edges(n, ends, g);
  return write_graph(g, path);
}

/// Random recursive tree: vertex v > 1 joins a uniformly drawn earlier
/// vertex. Depth about ln n, many leaves, a few vertices of high degree.
bool write_tree(int32_t n, uint64_t seed, const char* path) {
  SplitMix rng{seed};
  std::vector<int32_t> ends;
  ends.reserve(static_cast<size_t>(2) * n);
  for (int32_t v = 2; v <= n; ++v) {
    ends.push_back(v);
    ends.push_back(1 + static_cast<int32_t>(next_below(rng, static_cast<uint64_t>(v - 1))));
  }
  Csr g;
  csr_from_edges(n, ends, g);
  return write_graph(g, path);
}

/// A disconnected graph of about n vertices: pieces of sizes drawn from
/// 2 to n/10 (small ones far more often), each a random recursive tree, a
/// cycle, or a tree with a few extra edges, plus some isolated vertices.
bool write_pieces(int32_t n, uint64_t seed, const char* path) {
  SplitMix rng{seed};
  std::vector<int32_t> ends;
  int32_t next = 1;
  const int32_t largest = std::max(2, n / 10);
  while (next <= n) {
    // Sizes spread over a few orders of magnitude: 2 * (largest/2)^u.
    const double u = next_unit(rng);
    int32_t size = static_cast<int32_t>(2.0 * std::pow(largest / 2.0, u * u));
    size = std::max(1, std::min(size, n - next + 1));
    const uint64_t kind = next_below(rng, 4);
    for (int32_t i = 1; i < size; ++i) {
      const int32_t v = next + i;
      const int32_t to = kind == 1 ? v - 1 : next + static_cast<int32_t>(next_below(rng, i));
      ends.push_back(v);
      ends.push_back(to);
    }
    if (kind == 1 && size > 2) {
      ends.push_back(next);
      ends.push_back(next + size - 1);
    }
    if (kind == 2)
      for (int32_t e = 0; e < size / 10; ++e) {
        const int32_t a = next + static_cast<int32_t>(next_below(rng, size));
        const int32_t b = next + static_cast<int32_t>(next_below(rng, size));
        if (a != b) {
          ends.push_back(a);
          ends.push_back(b);
        }
      }
    next += size;
  }
  // The extra edges may repeat tree edges: keep each pair once.
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (size_t i = 0; i < ends.size(); i += 2)
    pairs.emplace_back(std::min(ends[i], ends[i + 1]), std::max(ends[i], ends[i + 1]));
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  ends.clear();
  for (const auto& [a, b] : pairs) {
    ends.push_back(a);
    ends.push_back(b);
  }
  Csr g;
  csr_from_edges(n, ends, g);
  return write_graph(g, path);
}

/// Preferential attachment: a clique on vertices 1..m+1, then every later
/// vertex joins m distinct earlier ones, each drawn with probability in
/// proportion to its degree (a uniform pick from the list of all edge
/// ends). The oldest vertices become hubs of degree about m*sqrt(n).
bool write_pa(int32_t n, int32_t m, uint64_t seed, const char* path) {
  if (m < 1 || n < m + 1) {
    std::fprintf(stderr, "gen_graph: pa needs 1 <= M < N\n");
    return false;
  }
  SplitMix rng{seed};
  std::vector<int32_t> ends;
  ends.reserve(static_cast<size_t>(2) * m * n + static_cast<size_t>(m) * (m + 1));
  for (int32_t u = 1; u <= m + 1; ++u)
    for (int32_t w = u + 1; w <= m + 1; ++w) {
      ends.push_back(u);
      ends.push_back(w);
    }
  std::vector<int32_t> chosen(static_cast<size_t>(m));
  for (int32_t v = m + 2; v <= n; ++v) {
    // Targets are drawn from the ends as they stood before v arrived.
    const uint64_t pool = ends.size();
    for (int32_t i = 0; i < m; ++i) {
      int32_t t;
      do {
        t = ends[next_below(rng, pool)];
      } while (std::find(chosen.begin(), chosen.begin() + i, t) != chosen.begin() + i);
      chosen[i] = t;
    }
    for (int32_t i = 0; i < m; ++i) {
      ends.push_back(v);
      ends.push_back(chosen[i]);
    }
  }
  Csr g;
  csr_from_edges(n, ends, g);
  return write_graph(g, path);
}

// ---------------------------------------------------------------------------
// Reading a graph file back (for "dot" and "check"): "%" comment lines,
// the header "nvtxs nedges [0]", one line per vertex.

bool read_whole_file(const char* path, std::string& text) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "gen_graph: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  std::vector<char> chunk(kWriteChunk);
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0) text.append(chunk.data(), got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) std::fprintf(stderr, "gen_graph: error while reading %s\n", path);
  return ok;
}

struct ReadInfo {
  int64_t header_edges = 0;
  size_t longest_line = 0;  ///< characters, line end included
};

/// Parses the file into g (lists in file order). False with a message on
/// standard error when the file is not a plain unweighted graph file.
bool read_graph_file(const char* path, Csr& g, ReadInfo& info) {
  std::string text;
  if (!read_whole_file(path, text)) return false;
  const char* p = text.data();
  const char* end = p + text.size();
  int64_t line_no = 0;
  auto next_line = [&](const char*& b, const char*& e) {
    if (p >= end) return false;
    b = p;
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    e = lf ? static_cast<const char*>(lf) : end;
    p = lf ? e + 1 : end;
    info.longest_line = std::max(info.longest_line, static_cast<size_t>(p - b));
    ++line_no;
    return true;
  };
  auto fail = [&](const char* what) {
    std::fprintf(stderr, "gen_graph: %s:%lld: %s\n", path, static_cast<long long>(line_no), what);
    return false;
  };
  const char *b = nullptr, *e = nullptr;
  do {
    if (!next_line(b, e)) return fail("no header line");
  } while (b < e && *b == '%');
  long long header[3] = {0, 0, 0};
  int fields = 0;
  for (const char* q = b; q < e && fields < 3;) {
    while (q < e && (*q == ' ' || *q == '\t' || *q == '\r')) ++q;
    if (q == e) break;
    char* stop = nullptr;
    header[fields++] = std::strtoll(q, &stop, 10);
    if (stop == q) return fail("the header holds something other than numbers");
    q = stop;
  }
  if (fields < 2 || header[0] < 1 || header[0] > INT32_MAX || header[1] < 0)
    return fail("the header must give a vertex count and an edge count");
  if (fields == 3 && header[2] != 0) return fail("weighted graphs are not supported");
  g.nvtxs = static_cast<int32_t>(header[0]);
  info.header_edges = header[1];
  g.first.assign(static_cast<size_t>(g.nvtxs) + 2, 0);
  g.nbr.clear();
  g.nbr.reserve(static_cast<size_t>(2 * header[1]));
  for (int32_t v = 1; v <= g.nvtxs; ++v) {
    g.first[v] = static_cast<int64_t>(g.nbr.size());
    if (!next_line(b, e)) return fail("the file ends before the last vertex line");
    for (const char* q = b; q < e;) {
      if (*q < '0' || *q > '9') {
        if (*q != ' ' && *q != '\t' && *q != '\r') return fail("unexpected character");
        ++q;
        continue;
      }
      int64_t x = 0;
      while (q < e && *q >= '0' && *q <= '9') {
        x = x * 10 + (*q++ - '0');
        if (x > g.nvtxs) return fail("a neighbour number beyond the vertex count");
      }
      if (x < 1) return fail("a neighbour number below 1");
      g.nbr.push_back(static_cast<int32_t>(x));
    }
  }
  g.first[g.nvtxs + 1] = static_cast<int64_t>(g.nbr.size());
  return true;
}

/// Writes the graph as "graph G {", one "u -- w;" per edge from its lower
/// end, and "v;" for every vertex without neighbours, so the peer sees the
/// same vertex set.
bool write_dot(const Csr& g, const char* path) {
  Writer w;
  if (!writer_open(w, path)) return false;
  put_text(w, "graph G {\n");
  for (int32_t v = 1; v <= g.nvtxs; ++v) {
    if (degree(g, v) == 0) {
      put_int(w, v);
      put_text(w, ";\n");
    }
    for (int64_t e = g.first[v]; e < g.first[v + 1]; ++e) {
      if (g.nbr[e] <= v) continue;
      put_int(w, v);
      put_text(w, " -- ");
      put_int(w, g.nbr[e]);
      put_text(w, ";\n");
    }
  }
  put_text(w, "}\n");
  return writer_close(w, path);
}

/// Checks what the ladder promises (no self-loops, no duplicates,
/// symmetric lists, the header's edge count) and prints one line of
/// statistics. False with a message on the first violation.
bool check_graph(const char* path) {
  Csr g;
  ReadInfo info;
  if (!read_graph_file(path, g, info)) return false;
  auto fail = [&](int32_t v, const char* what) {
    std::fprintf(stderr, "gen_graph: %s: vertex %d: %s\n", path, v, what);
    return false;
  };
  Csr sorted = g;
  for (int32_t v = 1; v <= g.nvtxs; ++v)
    std::sort(sorted.nbr.begin() + sorted.first[v], sorted.nbr.begin() + sorted.first[v + 1]);
  int64_t max_degree = 0, isolated = 0;
  for (int32_t v = 1; v <= g.nvtxs; ++v) {
    const int32_t* lo = sorted.nbr.data() + sorted.first[v];
    const int32_t* hi = sorted.nbr.data() + sorted.first[v + 1];
    max_degree = std::max<int64_t>(max_degree, hi - lo);
    if (lo == hi) ++isolated;
    for (const int32_t* q = lo; q < hi; ++q) {
      if (*q == v) return fail(v, "lists itself");
      if (q + 1 < hi && q[0] == q[1]) return fail(v, "lists a neighbour twice");
      const int32_t* ulo = sorted.nbr.data() + sorted.first[*q];
      const int32_t* uhi = sorted.nbr.data() + sorted.first[*q + 1];
      if (!std::binary_search(ulo, uhi, v)) return fail(v, "lists a vertex that does not list it");
    }
  }
  const int64_t entries = static_cast<int64_t>(g.nbr.size());
  if (entries != 2 * info.header_edges) {
    std::fprintf(stderr, "gen_graph: %s: %lld neighbour entries, but the header says %lld edges\n",
                 path, static_cast<long long>(entries), static_cast<long long>(info.header_edges));
    return false;
  }
  std::printf("%s: ok: vertices %d edges %lld mean_degree %.2f max_degree %lld isolated %lld "
              "longest_line %zu\n",
              path, g.nvtxs, static_cast<long long>(info.header_edges),
              static_cast<double>(entries) / g.nvtxs, static_cast<long long>(max_degree),
              static_cast<long long>(isolated), info.longest_line);
  return true;
}

// ---------------------------------------------------------------------------

int usage() {
  std::fputs(
      "usage: gen_graph grid A B C OUT\n"
      "       gen_graph tree N SEED OUT\n"
      "       gen_graph pieces N SEED OUT\n"
      "       gen_graph rgg N DEGREE SEED OUT\n"
      "       gen_graph pa N M SEED OUT\n"
      "       gen_graph star LEAVES OUT\n"
      "       gen_graph isolated N OUT\n"
      "       gen_graph triangles COUNT OUT\n"
      "       gen_graph dot IN OUT\n"
      "       gen_graph check IN\n",
      stderr);
  return 2;
}

/// A positive whole number from the command line, or -1.
int64_t positive(const char* s) {
  char* stop = nullptr;
  long long v = std::strtoll(s, &stop, 10);
  return (stop != s && *stop == '\0' && v > 0) ? v : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string what = argv[1];
  bool ok = false;
  if (what == "grid" && argc == 6) {
    int64_t a = positive(argv[2]), b = positive(argv[3]), c = positive(argv[4]);
    if (a < 0 || b < 0 || c < 0 || a * b * c > INT32_MAX) return usage();
    ok = write_grid(static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c),
                    argv[5]);
  } else if (what == "rgg" && argc == 6) {
    int64_t n = positive(argv[2]);
    double degree = std::strtod(argv[3], nullptr);
    if (n < 0 || n > INT32_MAX || !(degree > 0)) return usage();
    ok = write_rgg(static_cast<int32_t>(n), degree, std::strtoull(argv[4], nullptr, 10), argv[5]);
  } else if (what == "pa" && argc == 6) {
    int64_t n = positive(argv[2]), m = positive(argv[3]);
    if (n < 0 || m < 0 || n > INT32_MAX) return usage();
    ok = write_pa(static_cast<int32_t>(n), static_cast<int32_t>(m),
                  std::strtoull(argv[4], nullptr, 10), argv[5]);
  } else if ((what == "tree" || what == "pieces") && argc == 5) {
    int64_t n = positive(argv[2]);
    const uint64_t seed = std::strtoull(argv[3], nullptr, 10);
    ok = what == "tree" ? write_tree(static_cast<int32_t>(n), seed, argv[4])
                        : write_pieces(static_cast<int32_t>(n), seed, argv[4]);
  } else if ((what == "star" || what == "isolated" || what == "triangles") && argc == 4) {
    int64_t n = positive(argv[2]);
    if (n < 0 || n * 3 > INT32_MAX) return usage();
    const int32_t m = static_cast<int32_t>(n);
    ok = what == "star"       ? write_star(m, argv[3])
         : what == "isolated" ? write_isolated(m, argv[3])
                              : write_triangles(m, argv[3]);
  } else if (what == "dot" && argc == 4) {
    Csr g;
    ReadInfo info;
    ok = read_graph_file(argv[2], g, info) && write_dot(g, argv[3]);
  } else if (what == "check" && argc == 3) {
    ok = check_graph(argv[2]);
  } else {
    return usage();
  }
  return ok ? 0 : 1;
}
