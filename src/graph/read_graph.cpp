// read_graph: the adjacency-list graph file reader, and free_graph.
// Files within the format's limits are read token by token exactly as the
// format says; everything beyond them (missing lines, bad numbers,
// asymmetric lists, ...) is refused with the file name, the line and the
// reason, instead of being misread. Weighted files, marked by a format code
// in the header, are read with their weights skipped.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "common/common.h"
#include "graph/graph.h"
#include "graph/graph_internal.h"
#include "graph/line_reader.h"

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

namespace {

/// Entries reserved ahead when the input's size is unknown (a pipe); the
/// arrays grow beyond it as lines arrive.
constexpr int64_t kUnknownSizeReserve = int64_t{1} << 20;

inline bool is_separator(char c) { return c == ',' || c == ' ' || c == '\t'; }

/// Length of a line as the string functions see it: up to the first NUL.
inline size_t visible_length(const char* line, size_t length) {
  const void* nul = std::memchr(line, '\0', length);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - line) : length;
}

/// What the vertex lines of a weighted file hold besides the neighbours,
/// as the header's third field (the format code) and fourth field say.
struct LineFormat {
  std::string code;           ///< the format code as written; empty: none
  int64_t leading = 0;        ///< numbers before the neighbours: size, weights
  bool edge_weights = false;  ///< a weight follows every neighbour
};

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

/// Whether a weight token begins with a number (sign, digits, a point).
inline bool begins_with_number(const char* p, const char* end) {
  if (p < end && (*p == '+' || *p == '-')) ++p;
  if (p < end && *p == '.') ++p;
  return p < end && is_digit(*p);
}

/// The header's fields after the two counts. A third field that begins
/// with a digit is a format code of up to three digits 0/1, read from the
/// right: edge weights, vertex weights, vertex sizes. 0, and a field that
/// is no number at all, leave the vertex lines plain neighbour lists.
bool parse_line_format(FormatReader& r, const char* p, const char* end, int64_t line_no,
                       LineFormat& format) {
  // The fields end with the line: at a carriage return too, since a file
  // whose lines end in bare carriage returns is all one line.
  if (const void* cr = std::memchr(p, '\r', static_cast<size_t>(end - p)))
    end = static_cast<const char*>(cr);
  while (p < end && is_blank(*p)) ++p;
  const char* code = p;
  while (p < end && !is_blank(*p)) ++p;
  if (code == p || !is_digit(*code)) return true;
  format.code.assign(code, p);
  const std::string quoted = quote_text(code, static_cast<size_t>(p - code));
  if (format.code.size() > 3 || format.code.find_first_not_of("01") != std::string::npos)
    return r.fail(line_no, "the header's third field " + quoted +
                               " is not a format code: up to three digits 0 or 1 that mark "
                               "vertex sizes, vertex weights and edge weights (as in 1, 10, "
                               "11, 100, 111)");
  const std::string digits = std::string(3 - format.code.size(), '0') + format.code;
  const bool sizes = digits[0] == '1', weights = digits[1] == '1';
  format.edge_weights = digits[2] == '1';
  if (!sizes && !weights && !format.edge_weights) {
    format.code.clear();  // an unweighted file, read as always
    return true;
  }
  // The fourth field: how many weights each vertex has (1 when absent).
  while (p < end && is_blank(*p)) ++p;
  int32_t count = weights ? 1 : 0;
  if (p < end && is_digit(*p)) {
    const char* field = p;
    NumberResult res = parse_int32(p, end, count);
    if (res != NumberResult::kOk || (weights && count < 1) || (!weights && count != 0))
      return r.fail(line_no, "the header's fourth field " +
                                 quote_text(field, static_cast<size_t>(p - field)) +
                                 (weights ? " must be the number of vertex weights, at least 1"
                                          : " gives vertex weights, but the format code " +
                                                quoted + " marks none"));
  }
  format.leading = (sizes ? 1 : 0) + int64_t{count};
  return true;
}

/// Longest vertex line read: a hub may list every neighbour entry the
/// header allows, each with its weight, at up to kBytesPerToken bytes a
/// number (long enough for any integer or weight written with padding).
/// Beyond that a line (an endless one of NUL bytes, say) is refused.
size_t vertex_line_limit(const LineFormat& format, int64_t max_neighbours) {
  constexpr int64_t kBytesPerToken = 64;
  const int64_t tokens =
      format.leading + max_neighbours * (format.edge_weights ? 2 : 1) + 1;
  return static_cast<size_t>(std::max<int64_t>(kShortLineLimit, tokens * kBytesPerToken));
}

bool parse_header(FormatReader& r, const char* line, size_t len, int64_t line_no,
                  int32_t& nvtxs, int32_t& nedges, LineFormat& format) {
  const char* p = line;
  const char* end = line + len;
  int32_t values[2];
  for (int i = 0; i < 2; ++i) {
    while (p < end && is_blank(*p)) ++p;
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
  return parse_line_format(r, p, end, line_no, format);
}

/// Checks that every neighbour relation is listed at both ends, as sets.
bool check_symmetry(FormatReader& r, const Graph& g, const std::vector<int64_t>& offset,
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

/// Reads the comment lines and the header line; on success `line` and
/// `length` hold the header, its byte-order mark left out.
bool read_header_line(FormatReader& r, const char*& line, size_t& length) {
  do {
    if (!next_line(r.lines, line, length))
      return r.fail_at_end("the file ends before the header line (vertex and edge counts)");
    skip_byte_order_mark(r.lines, line, length);
  } while (length > 0 && line[0] == '%');
  return true;
}

/// The graph as its vertex lines are read: each list starts with the
/// vertex itself; offset[v] is where the list of v starts in the block.
struct ListBuilder {
  GraphHandle g{new Graph};
  std::vector<int64_t> offset;
  int64_t neighbours = 0;  ///< entries other than self-loops so far
  int64_t max_neighbours = 0;
};

/// Sizes the arrays for the vertex lines. A lying header must not make us
/// allocate far beyond what the file holds: every vertex line takes at
/// least one byte of the file and every entry at least two. The arrays
/// grow line by line past that.
void reserve_lists(ListBuilder& b, int32_t nvtxs, int64_t file_size) {
  int64_t lines_room = std::min<int64_t>(nvtxs, kUnknownSizeReserve);
  int64_t expected = lines_room + std::min<int64_t>(b.max_neighbours, kUnknownSizeReserve);
  if (file_size >= 0) {
    lines_room = std::min<int64_t>(nvtxs, file_size);
    expected = std::min(lines_room + b.max_neighbours, lines_room + file_size / 2 + 2);
  }
  b.g->adj.reserve(static_cast<size_t>(lines_room) + 1);
  b.offset.reserve(static_cast<size_t>(lines_room) + 1);
  b.g->adj.push_back(AdjacencyList{0, nullptr});
  b.offset.push_back(0);
  b.g->block.reserve(static_cast<size_t>(expected));
}

/// One vertex line as it is read.
struct VertexLine {
  int32_t v;
  int64_t line_no;
  const char* text;
  int32_t count = 1;         ///< entries so far, the vertex itself included
  int64_t token_index = 0;   ///< tokens so far, weights included
  int32_t last_neighbour = 0;
};

/// Adds the neighbour token [piece, pend) (the number at the start of the
/// token [token, token + n)) to the list of the line's vertex.
bool add_neighbour(FormatReader& r, ListBuilder& b, VertexLine& l, int32_t nvtxs,
                   int32_t nedges, const char* token, size_t n, const char* piece,
                   const char* pend) {
  int32_t w = 0;
  const char* digits = piece;
  NumberResult res = parse_int32(digits, pend, w);
  if (res == NumberResult::kNoDigits)
    return r.fail(l.line_no, "the token " + quote_text(token, n) + " in the line of vertex " +
                                 std::to_string(l.v) + " does not begin with a vertex number");
  if (res == NumberResult::kTooLarge || w < 1 || w > nvtxs)
    return r.fail(l.line_no, "vertex " + std::to_string(l.v) + " lists the neighbour " +
                                 quote_text(piece, static_cast<size_t>(pend - piece)) +
                                 ", outside 1.." + std::to_string(nvtxs));
  l.last_neighbour = w;
  if (w == l.v) {
    ++r.status.self_loops_dropped;
    return true;
  }
  if (++b.neighbours > b.max_neighbours)
    return r.fail(l.line_no, "more neighbour entries than twice the edge count of the "
                             "header (" + std::to_string(nedges) + ")");
  b.g->block.push_back(w);
  if (l.count == std::numeric_limits<int32_t>::max())
    return r.fail(l.line_no, "too many neighbours on one line");
  ++l.count;
  return true;
}

/// Reads the tokens of the line of vertex l.v. Each number is at the start
/// of the first piece of its token, the pieces being cut at spaces,
/// backslashes and slashes; a weight (by the format code) is checked to be
/// a number and skipped.
bool read_vertex_tokens(FormatReader& r, ListBuilder& b, VertexLine& l, size_t len,
                        const LineFormat& format, int32_t nvtxs, int32_t nedges) {
  const char* line = l.text;
  size_t p = 0;
  while (p < len && is_separator(line[p])) ++p;
  while (p < len) {
    unsigned char c = static_cast<unsigned char>(line[p]);
    if (c < 32 || c >= 128) break;
    size_t n = 0;
    while (p + n < len && !is_blank(line[p + n])) ++n;
    const char* piece = line + p;
    const char* tend = line + p + n;
    while (piece < tend && (*piece == '\\' || *piece == '/')) ++piece;
    const char* pend = piece;
    while (pend < tend && *pend != '\\' && *pend != '/') ++pend;
    const int64_t k = l.token_index++;
    const bool is_weight = !format.code.empty() &&
                           (k < format.leading ||
                            (format.edge_weights && (k - format.leading) % 2 == 1));
    if (is_weight && !begins_with_number(piece, pend))
      return r.fail(l.line_no, "the token " + quote_text(line + p, n) +
                                   " in the line of vertex " + std::to_string(l.v) +
                                   " is not a number, but the header's format code " +
                                   format.code + " puts a weight there");
    if (!is_weight && !add_neighbour(r, b, l, nvtxs, nedges, line + p, n, piece, pend))
      return false;
    p += n;
    while (p < len && is_separator(line[p])) ++p;
  }
  return true;
}

/// Checks that a weighted line ends where its format code says it can.
bool check_line_end(FormatReader& r, const VertexLine& l, const LineFormat& format) {
  if (format.code.empty()) return true;
  if (l.token_index < format.leading)
    return r.fail(l.line_no, "the line of vertex " + std::to_string(l.v) + " ends before its " +
                                 std::to_string(format.leading) +
                                 " leading numbers (vertex size and weights) that the header's "
                                 "format code " + format.code + " calls for");
  if (format.edge_weights && (l.token_index - format.leading) % 2 == 1)
    return r.fail(l.line_no, "the line of vertex " + std::to_string(l.v) +
                                 " ends after the neighbour " + std::to_string(l.last_neighbour) +
                                 " without its edge weight");
  return true;
}

/// Reads the lines of vertices 1..nvtxs into the builder.
bool read_vertex_lines(FormatReader& r, ListBuilder& b, const LineFormat& format,
                       int32_t nvtxs, int32_t nedges, bool saw_lone_cr) {
  const char* line = nullptr;
  size_t length = 0;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    if (!next_line(r.lines, line, length)) {
      std::string what = "the file ends before the line of vertex " + std::to_string(v) +
                         " (the header announces " + std::to_string(nvtxs) + " vertices)";
      if (saw_lone_cr) what += "; its lines seem to end in a bare carriage return";
      return r.fail_at_end(what);
    }
    VertexLine l{v, r.lines.line_number, line};
    b.g->adj.push_back(AdjacencyList{0, nullptr});
    b.offset.push_back(static_cast<int64_t>(b.g->block.size()));
    b.g->block.push_back(v);
    if (!read_vertex_tokens(r, b, l, visible_length(line, length), format, nvtxs, nedges) ||
        !check_line_end(r, l, format))
      return false;
    b.g->adj[v].count = l.count;
  }
  return true;
}

}  // namespace

bool read_metis(FormatReader& r, GraphHandle& graph, int32_t& nvtxs_out, int32_t& nedges_out) {
  const char* line = nullptr;
  size_t length = 0;
  if (!read_header_line(r, line, length)) return false;
  const int64_t header_line = r.lines.line_number;
  int32_t nvtxs = 0, nedges = 0;
  LineFormat format;
  size_t hlen = visible_length(line, length);
  if (!parse_header(r, line, hlen, header_line, nvtxs, nedges, format)) return false;
  if (std::string refusal = vertex_count_refusal(nvtxs); !refusal.empty())
    return r.fail(header_line, refusal);
  const bool saw_lone_cr = std::memchr(line, '\r', hlen) && line[length - 1] != '\n';

  ListBuilder b;
  b.max_neighbours = 2 * int64_t{nedges};
  r.lines.max_line = vertex_line_limit(format, b.max_neighbours);
  reserve_lists(b, nvtxs, text_size_hint(r.lines));
  if (!read_vertex_lines(r, b, format, nvtxs, nedges, saw_lone_cr)) return false;
  rebuild_entry_pointers(*b.g, nvtxs);
  if (!check_symmetry(r, *b.g, b.offset, nvtxs, header_line)) return false;
  graph = std::move(b.g);
  nvtxs_out = nvtxs;
  nedges_out = nedges;
  return true;
}

bool read_graph(const std::string& path, GraphHandle& graph, int32_t& nvtxs, int32_t& nedges,
                ReadStatus& status) {
  status = ReadStatus{};
  LineReader lines;
  if (!line_reader_open_file(lines, path, status)) return false;
  FormatReader r{path, status, lines};
  try {
    return read_metis(r, graph, nvtxs, nedges);
  } catch (const std::bad_alloc&) {
    status.error = path + ": out of memory while reading the graph (" +
                   std::to_string(lines.file_size) + " bytes of input)";
    return false;
  }
}
