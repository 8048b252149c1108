// read_mtx: Matrix Market coordinate files read as graphs. The banner
// line, comment lines, the size line "rows columns entries", then one
// entry "row column [value...]" per line, numbered from 1. A square matrix
// is the adjacency matrix of a graph: every entry off the diagonal is an
// edge, whatever its value and whichever triangle it lies in.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>

#include "common/common.h"
#include "graph/graph_internal.h"
#include "graph/line_reader.h"

namespace {

/// Largest row or column count: vertex numbers are 32-bit.
constexpr uint64_t kMaxOrder = 2147483647;
/// Largest entry count read from the size line.
constexpr uint64_t kMaxEntries = uint64_t{1} << 62;

inline const char* skip_blanks(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  return p;
}

/// The next line that is neither blank nor a "%" comment.
bool next_content_line(LineReader& lines, const char*& line, size_t& length) {
  int64_t blank_run = 0;
  while (next_line(lines, line, length)) {
    const char* p = skip_blanks(line, line + length);
    if (p < line + length && *p != '%') return true;
    if (p == line + length && !count_blank_line(lines, blank_run, length)) return false;
  }
  return false;
}

/// The white-space separated words of a line, in lower case.
std::vector<std::string> lower_words(const char* line, size_t length) {
  std::vector<std::string> words;
  const char* end = line + length;
  for (const char* p = skip_blanks(line, end); p < end; p = skip_blanks(p, end)) {
    std::string word;
    for (; p < end && !is_blank(*p); ++p)
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    words.push_back(word);
  }
  return words;
}

bool is_one_of(const std::string& word, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (word == name) return true;
  return false;
}

bool check_banner(FormatReader& r, const char* line, size_t length) {
  skip_byte_order_mark(r.lines, line, length);
  const std::vector<std::string> w = lower_words(line, length);
  if (w.empty() || w[0] != "%%matrixmarket")
    return r.fail(1, "a Matrix Market file begins with the line \"%%MatrixMarket matrix "
                     "coordinate FIELD SYMMETRY\"");
  if (w.size() < 5)
    return r.fail(1, "the banner line must name the object, format, field and symmetry, as in "
                     "\"%%MatrixMarket matrix coordinate real general\"");
  if (w[1] != "matrix")
    return r.fail(1, "the file holds a " + quote_text(w[1].data(), w[1].size()) +
                         ", not a matrix");
  if (w[2] == "array")
    return r.fail(1, "the matrix is stored in the dense \"array\" format; only \"coordinate\" "
                     "(sparse) matrices are read as graphs");
  if (w[2] != "coordinate")
    return r.fail(1, "unknown matrix format " + quote_text(w[2].data(), w[2].size()) +
                         " (expected \"coordinate\")");
  if (!is_one_of(w[3], {"pattern", "real", "integer", "double", "complex"}))
    return r.fail(1, "unknown field " + quote_text(w[3].data(), w[3].size()) +
                         " (expected pattern, real, integer or complex)");
  if (!is_one_of(w[4], {"general", "symmetric", "skew-symmetric", "hermitian"}))
    return r.fail(1, "unknown symmetry " + quote_text(w[4].data(), w[4].size()) +
                         " (expected general, symmetric, skew-symmetric or hermitian)");
  return true;
}

bool parse_size_line(FormatReader& r, const char* line, size_t length, int32_t& order,
                     int64_t& entries) {
  const char* end = line + length;
  const char* p = line;
  uint64_t values[3];
  const uint64_t limits[3] = {UINT64_MAX / 2, UINT64_MAX / 2, kMaxEntries};
  for (int i = 0; i < 3; ++i) {
    p = skip_blanks(p, end);
    if (!parse_digits(p, end, limits[i], values[i]) || (p < end && !is_blank(*p)))
      return r.fail(r.lines.line_number,
                    "the size line must hold three non-negative integers: rows, columns and "
                    "entries (it reads " +
                        quote_text(line, length) + ")");
  }
  if (values[0] != values[1])
    return r.fail(r.lines.line_number,
                  "the matrix has " + std::to_string(values[0]) + " rows and " +
                      std::to_string(values[1]) +
                      " columns; only a square matrix describes a graph");
  if (values[0] == 0)
    return r.fail(r.lines.line_number, "the matrix has no rows; a graph needs at least one vertex");
  if (values[0] > kMaxOrder)
    return r.fail(r.lines.line_number, "the matrix has " + std::to_string(values[0]) +
                                           " rows, more than 32-bit vertex numbers allow");
  if (std::string refusal = vertex_count_refusal(static_cast<int64_t>(values[0]));
      !refusal.empty())
    return r.fail(r.lines.line_number, refusal);
  order = static_cast<int32_t>(values[0]);
  entries = static_cast<int64_t>(values[2]);
  return true;
}

/// The next white-space separated word from p, which moves past it.
inline void next_word(const char*& p, const char* end, const char*& word, size_t& size) {
  p = skip_blanks(p, end);
  word = p;
  while (p < end && !is_blank(*p)) ++p;
  size = static_cast<size_t>(p - word);
}

/// A word of digits only as a number, UINT64_MAX when it is larger; false
/// when the word holds anything but digits.
bool word_index(const char* word, size_t size, uint64_t& value) {
  if (size == 0) return false;
  const char* p = word;
  for (const char* q = word; q < word + size; ++q)
    if (*q < '0' || *q > '9') return false;
  if (!parse_digits(p, word + size, UINT64_MAX - 1, value)) value = UINT64_MAX;
  return true;
}

/// Reads "row column" at the start of an entry line.
bool parse_entry(FormatReader& r, const char* line, size_t length, int32_t order, int32_t& i,
                 int32_t& j) {
  const char* p = line;
  const char* end = line + length;
  const char* word[2];
  size_t size[2];
  uint64_t index[2];
  for (int k = 0; k < 2; ++k) {
    next_word(p, end, word[k], size[k]);
    if (!word_index(word[k], size[k], index[k]))
      return r.fail(r.lines.line_number,
                    "an entry must begin with its row and column, two positive integers (the "
                    "line reads " + quote_text(line, length) + ")");
  }
  const uint64_t n = static_cast<uint64_t>(order);
  if (index[0] < 1 || index[0] > n || index[1] < 1 || index[1] > n)
    return r.fail(r.lines.line_number,
                  "the entry (" + std::string(word[0], std::min<size_t>(size[0], 40)) + ", " +
                      std::string(word[1], std::min<size_t>(size[1], 40)) +
                      ") lies outside the " + std::to_string(order) + " x " +
                      std::to_string(order) + " matrix (rows and columns are numbered from 1)");
  i = static_cast<int32_t>(index[0]);
  j = static_cast<int32_t>(index[1]);
  return true;
}

}  // namespace

bool read_mtx(FormatReader& r, GraphHandle& graph, int32_t& nvtxs_out, int32_t& nedges_out) {
  const char* line = nullptr;
  size_t length = 0;
  if (!next_line(r.lines, line, length))
    return r.fail_at_end("the file is empty; a Matrix Market file begins with the line "
                         "\"%%MatrixMarket matrix coordinate FIELD SYMMETRY\"");
  if (!check_banner(r, line, length)) return false;
  if (!next_content_line(r.lines, line, length))
    return r.fail_at_end("the file ends before the size line (rows, columns, entries)");
  int32_t order = 0;
  int64_t announced = 0;
  if (!parse_size_line(r, line, length, order, announced)) return false;

  EdgeCollector edges;
  for (int64_t e = 0; e < announced; ++e) {
    if (!next_content_line(r.lines, line, length))
      return r.fail_at_end("the file ends after " + std::to_string(e) + " of the " +
                           std::to_string(announced) + " entries its size line announces");
    int32_t i = 0, j = 0;
    if (!parse_entry(r, line, length, order, i, j)) return false;
    if (i != j) collect_edge(edges, i, j);  // the diagonal is no edge
  }
  if (next_content_line(r.lines, line, length))
    return r.fail(r.lines.line_number, "more entries than the " + std::to_string(announced) +
                                           " its size line announces");
  if (r.lines.error) return r.fail(r.lines.line_number + 1, r.lines.error_text);

  std::string error;
  if (!build_graph_from_edges(edges, order, {}, graph, nedges_out, error)) {
    r.status.error = r.path + ": " + error;
    return false;
  }
  nvtxs_out = order;
  return true;
}
