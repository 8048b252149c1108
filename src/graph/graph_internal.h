// Folder-private parts of the graph readers: the readers of the formats
// other than the adjacency-list one, the edge collector they share, and
// the graph built from it.
//
//   EdgeCollector                          Graph (built at the end)
//   chunks[0]: (u,w) (u,w) ... 1M pairs    counts -> offsets -> scatter
//   chunks[1]: (u,w) ...                   both ends, then sort and
//   ...        chunks freed as scattered   dedupe each list in place
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "graph/line_reader.h"

/// A reader of one text format: the file's path, where a failure is
/// reported as "PATH:LINE: what", and its lines.
struct FormatReader {
  const std::string& path;
  ReadStatus& status;
  LineReader& lines;

  bool fail(int64_t line, const std::string& what) {
    status.error = path + ":" + std::to_string(line) + ": " + what;
    return false;
  }
  /// A failure of the whole file rather than of one line.
  bool fail_file(const std::string& what) {
    status.error = path + ": " + what;
    return false;
  }
  /// The failure of next_line: a read error, or else the end of the file.
  bool fail_at_end(const std::string& what) {
    if (lines.error) return fail(lines.line_number + 1, lines.error_text);
    return fail(lines.line_number, what);
  }
};

/// White space within a line of the text formats, as "%d" and "%s" skip it.
inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/// Skips a UTF-8 byte-order mark at the start of the first line: it is not
/// part of the text.
inline void skip_byte_order_mark(const LineReader& lines, const char*& line, size_t& length) {
  if (lines.line_number == 1 && length >= 3 && line[0] == '\xEF' && line[1] == '\xBB' &&
      line[2] == '\xBF') {
    line += 3;
    length -= 3;
  }
}

/// Whether a line holds white space only.
inline bool is_blank_line(const char* line, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!is_blank(line[i])) return false;
  return true;
}

/// Adds a skipped blank line of `length` bytes to the run of them; past
/// kBlankRunLimit bytes in a row it fails the read (lines.error set) and
/// returns false.
inline bool count_blank_line(LineReader& lines, int64_t& run, size_t length) {
  run += static_cast<int64_t>(length);
  if (run <= kBlankRunLimit) return true;
  lines.error = EFBIG;
  lines.error_text = "more than " + std::to_string(kBlankRunLimit) +
                     " bytes of blank lines in a row and nothing else (is this a graph file?)";
  return false;
}

/// One edge as read: two endpoint numbers from 1 on.
struct EdgePair {
  int32_t u;
  int32_t w;
};

/// Edges gathered while reading, in chunks of fixed capacity so that
/// growing never copies (or doubles the memory of) what is already held.
struct EdgeCollector {
  std::vector<std::vector<EdgePair>> chunks;
  int64_t count = 0;
};

/// Pairs per chunk of an EdgeCollector.
inline constexpr size_t kEdgeChunk = size_t{1} << 20;

inline void collect_edge(EdgeCollector& edges, int32_t u, int32_t w) {
  if (edges.chunks.empty() || edges.chunks.back().size() == kEdgeChunk) {
    edges.chunks.emplace_back();
    edges.chunks.back().reserve(kEdgeChunk);
  }
  edges.chunks.back().push_back(EdgePair{u, w});
  ++edges.count;
}

/// Builds the graph of the collected edges on vertices 1..nvtxs: every edge
/// at both ends, every list in increasing order, repeats once. When
/// `relabel` is not empty, endpoint number e stands for vertex relabel[e].
/// The chunks are released on the way. Returns false with `error` set when
/// the graph has more edges than 32 bits count.
bool build_graph_from_edges(EdgeCollector& edges, int32_t nvtxs,
                            const std::vector<int32_t>& relabel, GraphHandle& graph,
                            int32_t& nedges, std::string& error);

/// The readers of the three formats, each on an opened file: the
/// contract of read_graph. Matrix Market: entry (i, j) off the diagonal is
/// the edge {i, j}; values are ignored. Edge list: one edge per line as two
/// non-negative integer ids; vertices are numbered by increasing id and
/// status.original_ids keeps the ids.
bool read_metis(FormatReader& r, GraphHandle& graph, int32_t& nvtxs, int32_t& nedges);
bool read_mtx(FormatReader& r, GraphHandle& graph, int32_t& nvtxs, int32_t& nedges);
bool read_edge_list(FormatReader& r, GraphHandle& graph, int32_t& nvtxs, int32_t& nedges);

/// Reads the digits at p as an unsigned number, advancing p past them.
/// False when there is no digit or the number exceeds `limit`.
inline bool parse_digits(const char*& p, const char* end, uint64_t limit, uint64_t& value) {
  if (p == end || *p < '0' || *p > '9') return false;
  while (p < end && *p == '0') ++p;
  // Up to 19 significant digits cannot overflow 64 bits; more are refused
  // below, whatever the sum wrapped to.
  const char* first = p;
  uint64_t v = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<unsigned>(*p - '0');
  if (p - first > 19 || v > limit) return false;
  value = v;
  return true;
}
