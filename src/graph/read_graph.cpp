// read_graph: the adjacency-list graph file reader, and free_graph.
// Files within the format's limits are read token by token exactly as the
// format says; everything beyond them (missing lines, bad numbers,
// asymmetric lists, ...) is refused with the file name, the line and the
// reason, instead of being misread.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "graph/graph.h"
#include "graph/line_reader.h"

void line_reader_open(LineReader& reader, int fd) {
  reader.fd = fd;
  reader.buffer.assign(size_t{1} << 20, '\0');
  reader.begin = reader.end = 0;
  reader.at_eof = false;
  reader.error = 0;
  reader.line_number = 0;
}

bool next_line(LineReader& reader, const char*& line, size_t& length) {
  size_t scanned = reader.begin;  // bytes before this hold no line feed
  for (;;) {
    const char* base = reader.buffer.data();
    const void* lf = std::memchr(base + scanned, '\n', reader.end - scanned);
    if (lf != nullptr) {
      size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - base) + 1;
      line = base + reader.begin;
      length = stop - reader.begin;
      reader.begin = stop;
      ++reader.line_number;
      return true;
    }
    if (reader.at_eof) {
      if (reader.begin == reader.end) return false;
      line = base + reader.begin;
      length = reader.end - reader.begin;
      reader.begin = reader.end;
      ++reader.line_number;
      return true;
    }
    // Keep the partial line, make room and read more.
    size_t pending = reader.end - reader.begin;
    if (reader.begin > 0) {
      std::memmove(reader.buffer.data(), base + reader.begin, pending);
      reader.begin = 0;
      reader.end = pending;
    }
    scanned = pending;
    if (reader.end == reader.buffer.size()) reader.buffer.resize(reader.buffer.size() * 2);
    ssize_t got;
    do {
      got = ::read(reader.fd, reader.buffer.data() + reader.end,
                   reader.buffer.size() - reader.end);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      reader.error = errno;
      return false;
    }
    if (got == 0) reader.at_eof = true;
    reader.end += static_cast<size_t>(got);
  }
}

void allocate_posn(Posn& posn, int32_t nvtxs) {
  posn[0].clear();
  for (int a = 1; a <= 3; ++a) posn[a].assign(static_cast<size_t>(nvtxs) + 1, 0.0);
}

void rebuild_entry_pointers(Graph& graph, int32_t nvtxs) {
  int32_t* next = graph.block.data();
  for (int32_t v = 1; v <= nvtxs; ++v) {
    graph.adj[v].entries = next;
    next += graph.adj[v].count;
  }
}

void free_graph(GraphHandle& graph) { graph.reset(); }

namespace {

inline bool is_separator(unsigned char c) { return c == ',' || c == ' ' || c == '\t'; }

/// White space as the "%s" and "%d" conversions see it.
inline bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class NumberResult { kOk, kNoDigits, kTooLarge };

/// Reads a decimal integer the way "%d" does: optional sign, then digits,
/// ending at the first other character. Values beyond 32 bits are refused.
NumberResult parse_int32(const char*& p, const char* end, int32_t& value) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || *p < '0' || *p > '9') return NumberResult::kNoDigits;
  int64_t magnitude = 0;
  const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) return NumberResult::kTooLarge;
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return NumberResult::kOk;
}

std::string quote_token(const char* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && i < 40; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 32 && c < 127) {
      s += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    }
  }
  if (n > 40) s += "...";
  return "\"" + s + "\"";
}

struct Reader {
  const std::string& path;
  ReadStatus& status;
  bool saw_lone_cr = false;

  bool fail(int64_t line, const std::string& what) {
    status.error = path + ":" + std::to_string(line) + ": " + what;
    return false;
  }
};

/// Length of a line as the string functions see it: up to the first NUL.
inline size_t visible_length(const char* line, size_t length) {
  const void* nul = std::memchr(line, '\0', length);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - line) : length;
}

bool parse_header(Reader& r, const char* line, size_t len, int64_t line_no,
                  int32_t& nvtxs, int32_t& nedges) {
  const char* p = line;
  const char* end = line + len;
  int32_t values[2];
  for (int i = 0; i < 2; ++i) {
    while (p < end && is_space(static_cast<unsigned char>(*p))) ++p;
    NumberResult res = parse_int32(p, end, values[i]);
    if (res == NumberResult::kNoDigits)
      return r.fail(line_no, "the header line must begin with two integers, the vertex "
                             "and edge counts");
    if (res == NumberResult::kTooLarge)
      return r.fail(line_no, std::string("the header's ") +
                                 (i == 0 ? "vertex" : "edge") +
                                 " count does not fit in 32 bits");
  }
  nvtxs = values[0];
  nedges = values[1];
  if (nvtxs < 1)
    return r.fail(line_no, "the vertex count is " + std::to_string(nvtxs) +
                               "; a graph needs at least one vertex");
  if (nedges < 0)
    return r.fail(line_no, "the edge count is " + std::to_string(nedges) +
                               "; it cannot be negative");
  return true;
}

/// Checks that every neighbour relation is listed at both ends, as sets.
bool check_symmetry(Reader& r, const Graph& g, const std::vector<int64_t>& offset,
                    int32_t nvtxs, int64_t header_line) {
  std::vector<int32_t> sorted(g.block);
  for (int32_t v = 1; v <= nvtxs; ++v)
    std::sort(sorted.begin() + offset[v] + 1, sorted.begin() + offset[v] + g.adj[v].count);
  for (int32_t v = 1; v <= nvtxs; ++v) {
    const int32_t* first = sorted.data() + offset[v] + 1;
    const int32_t* last = sorted.data() + offset[v] + g.adj[v].count;
    for (const int32_t* p = first; p < last; ++p) {
      int32_t w = *p;
      const int32_t* wf = sorted.data() + offset[w] + 1;
      const int32_t* wl = sorted.data() + offset[w] + g.adj[w].count;
      if (!std::binary_search(wf, wl, v))
        return r.fail(header_line + v, "vertex " + std::to_string(v) + " lists " +
                                           std::to_string(w) + ", but the line of vertex " +
                                           std::to_string(w) + " (line " +
                                           std::to_string(header_line + w) +
                                           ") does not list " + std::to_string(v));
    }
  }
  return true;
}

bool read_body(Reader& r, LineReader& lines, int64_t file_size, GraphHandle& graph,
               int32_t& nvtxs_out, int32_t& nedges_out) {
  const char* line = nullptr;
  size_t length = 0;
  bool first = true;
  // Comment lines, then the header.
  for (;;) {
    if (!next_line(lines, line, length)) {
      if (lines.error) return r.fail(lines.line_number + 1, std::strerror(lines.error));
      return r.fail(lines.line_number,
                    "the file ends before the header line (vertex and edge counts)");
    }
    if (first) {
      first = false;
      // A UTF-8 byte-order mark is not part of the text.
      if (length >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
        line += 3;
        length -= 3;
      }
    }
    if (length == 0 || line[0] != '%') break;
  }
  const int64_t header_line = lines.line_number;
  int32_t nvtxs = 0, nedges = 0;
  size_t hlen = visible_length(line, length);
  if (!parse_header(r, line, hlen, header_line, nvtxs, nedges)) return false;
  if (std::memchr(line, '\r', hlen) && line[length - 1] != '\n') r.saw_lone_cr = true;

  const int64_t max_neighbours = 2 * int64_t{nedges};
  // A lying header must not make us allocate far beyond what the file holds:
  // every entry takes at least two bytes of the file.
  int64_t expected = int64_t{nvtxs} + max_neighbours;
  if (file_size >= 0) expected = std::min(expected, int64_t{nvtxs} + file_size / 2 + 2);

  GraphHandle g(new Graph);
  std::vector<int64_t> offset;
  g->adj.assign(static_cast<size_t>(nvtxs) + 1, AdjacencyList{0, nullptr});
  offset.assign(static_cast<size_t>(nvtxs) + 1, 0);
  g->block.reserve(static_cast<size_t>(expected));

  int64_t neighbours = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    if (!next_line(lines, line, length)) {
      if (lines.error) return r.fail(lines.line_number + 1, std::strerror(lines.error));
      std::string what = "the file ends before the line of vertex " + std::to_string(v) +
                         " (the header announces " + std::to_string(nvtxs) + " vertices)";
      if (r.saw_lone_cr) what += "; its lines seem to end in a bare carriage return";
      return r.fail(lines.line_number, what);
    }
    const int64_t line_no = lines.line_number;
    size_t len = visible_length(line, length);
    offset[v] = static_cast<int64_t>(g->block.size());
    g->block.push_back(v);
    int32_t count = 1;
    size_t p = 0;
    while (p < len && is_separator(static_cast<unsigned char>(line[p]))) ++p;
    while (p < len) {
      unsigned char c = static_cast<unsigned char>(line[p]);
      if (c < 32 || c >= 128) break;
      size_t n = 0;
      while (p + n < len && !is_space(static_cast<unsigned char>(line[p + n]))) ++n;
      // The number is at the start of the first piece of the token, the
      // pieces being cut at spaces, backslashes and slashes.
      const char* piece = line + p;
      const char* tend = line + p + n;
      while (piece < tend && (*piece == '\\' || *piece == '/')) ++piece;
      const char* pend = piece;
      while (pend < tend && *pend != '\\' && *pend != '/') ++pend;
      int32_t w = 0;
      const char* digits = piece;
      NumberResult res = parse_int32(digits, pend, w);
      if (res == NumberResult::kNoDigits)
        return r.fail(line_no, "the token " + quote_token(line + p, n) +
                                   " in the line of vertex " + std::to_string(v) +
                                   " does not begin with a vertex number");
      if (res == NumberResult::kTooLarge || w < 1 || w > nvtxs)
        return r.fail(line_no, "vertex " + std::to_string(v) + " lists the neighbour " +
                                   std::string(piece, static_cast<size_t>(
                                                          std::min<ptrdiff_t>(pend - piece, 40))) +
                                   ", outside 1.." + std::to_string(nvtxs));
      if (w == v) {
        ++r.status.self_loops_dropped;
      } else {
        if (++neighbours > max_neighbours)
          return r.fail(line_no, "more neighbour entries than twice the edge count of the "
                                 "header (" + std::to_string(nedges) + ")");
        g->block.push_back(w);
        if (count == std::numeric_limits<int32_t>::max())
          return r.fail(line_no, "too many neighbours on one line");
        ++count;
      }
      p += n;
      while (p < len && is_separator(static_cast<unsigned char>(line[p]))) ++p;
    }
    g->adj[v].count = count;
  }
  rebuild_entry_pointers(*g, nvtxs);
  if (!check_symmetry(r, *g, offset, nvtxs, header_line)) return false;
  graph = std::move(g);
  nvtxs_out = nvtxs;
  nedges_out = nedges;
  return true;
}

}  // namespace

bool read_graph(const std::string& path, GraphHandle& graph, int32_t& nvtxs, int32_t& nedges,
                ReadStatus& status) {
  status = ReadStatus{};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    status.cannot_open = true;
    status.error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  int64_t file_size = -1;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      status.cannot_open = true;
      status.error = "cannot open " + path + ": it is a directory";
      return false;
    }
    if (S_ISREG(st.st_mode)) file_size = st.st_size;
  }
  Reader r{path, status};
  LineReader lines;
  bool ok = false;
  try {
    line_reader_open(lines, fd);
    ok = read_body(r, lines, file_size, graph, nvtxs, nedges);
  } catch (const std::bad_alloc&) {
    status.error = path + ": out of memory while reading the graph (" +
                   std::to_string(file_size) + " bytes of input)";
    ok = false;
  }
  ::close(fd);
  return ok;
}
