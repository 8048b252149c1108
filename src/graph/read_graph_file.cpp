// read_graph_file: the choice of the input format, by "-format" or by the
// file name's ending, and the hand-over to the reader of that format.
#include <cctype>
#include <cstdio>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "graph/graph_internal.h"
#include "graph/line_reader.h"

namespace {

struct FormatName {
  const char* name;
  InputFormat format;
};

/// The "-format" values.
constexpr FormatName kFormatNames[] = {
    {"metis", InputFormat::kMetis}, {"mtx", InputFormat::kMtx}, {"edges", InputFormat::kEdges}};

/// File name endings (lower case) of the formats other than the
/// adjacency-list one, which takes every other name.
constexpr FormatName kEndings[] = {
    {".mtx", InputFormat::kMtx},   {".edges", InputFormat::kEdges}, {".el", InputFormat::kEdges},
    {".txt", InputFormat::kEdges}, {".tsv", InputFormat::kEdges},   {".csv", InputFormat::kEdges},
};

bool ends_with(const std::string& text, const char* ending) {
  const size_t n = std::char_traits<char>::length(ending);
  return text.size() >= n && text.compare(text.size() - n, n, ending) == 0;
}

/// Whether the name ends in ".txt" (or ".txt.gz"), case ignored.
bool ends_with_text(const std::string& path) {
  std::string name;
  for (char c : path) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ends_with(name, ".gz")) name.resize(name.size() - 3);
  return ends_with(name, ".txt");
}

/// Whether the first line begins with the Matrix Market banner, case
/// ignored. The line is read and given back, so the chosen reader reads it
/// again.
bool begins_with_banner(LineReader& lines) {
  const char* line = nullptr;
  size_t length = 0;
  if (!next_line(lines, line, length)) return false;  // the reader sees the end again
  const size_t whole = length;
  skip_byte_order_mark(lines, line, length);
  static const char kBanner[] = "%%matrixmarket";
  bool banner = length >= sizeof kBanner - 1;
  for (size_t i = 0; banner && i < sizeof kBanner - 1; ++i)
    banner = std::tolower(static_cast<unsigned char>(line[i])) == kBanner[i];
  unread_line(lines, whole);
  return banner;
}

}  // namespace

std::string quote_text(const char* text, size_t length, size_t limit) {
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  std::string s = "\"";
  for (size_t i = 0; i < length && i < limit; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      s += "\\\\";
    } else if (c >= 32 && c < 127) {
      s += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    }
  }
  if (length > limit) s += "...";
  return s + "\"";
}

bool input_format_by_name(const std::string& name, InputFormat& format) {
  for (const FormatName& f : kFormatNames) {
    if (name == f.name) {
      format = f.format;
      return true;
    }
  }
  return false;
}

InputFormat input_format_of_path(const std::string& path) {
  std::string name;
  for (char c : path) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ends_with(name, ".gz")) name.resize(name.size() - 3);
  for (const FormatName& f : kEndings)
    if (ends_with(name, f.name)) return f.format;
  return InputFormat::kMetis;
}

bool read_graph_file(const std::string& path, const std::string& format, GraphHandle& graph,
                     int32_t& nvtxs, int32_t& nedges, ReadStatus& status) {
  status = ReadStatus{};
  const bool standard_input = path == kStandardInputPath;
  const std::string name = standard_input ? kStandardInputName : path;
  InputFormat chosen = input_format_of_path(name);
  if (!format.empty() && !input_format_by_name(format, chosen)) {
    status.error = "unknown input format \"" + format + "\" (known: metis, mtx, edges)";
    return false;
  }
  LineReader lines;
  if (standard_input) {
    line_reader_open(lines, STDIN_FILENO);
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) lines.file_size = st.st_size;
  } else if (!line_reader_open_file(lines, path, status)) {
    return false;
  }
  // Where the name does not decide (no ending of its own, as standard
  // input, or the ".txt" of any text), a Matrix Market banner does.
  if (format.empty() && (chosen == InputFormat::kMetis || ends_with_text(name)) &&
      begins_with_banner(lines))
    chosen = InputFormat::kMtx;
  FormatReader r{name, status, lines};
  try {
    if (chosen == InputFormat::kMetis) return read_metis(r, graph, nvtxs, nedges);
    if (chosen == InputFormat::kMtx) return read_mtx(r, graph, nvtxs, nedges);
    return read_edge_list(r, graph, nvtxs, nedges);
  } catch (const std::bad_alloc&) {
    status.error = name + ": out of memory while reading the graph";
    if (chosen == InputFormat::kMetis && lines.file_size >= 0)
      status.error += " (" + std::to_string(lines.file_size) + " bytes of input)";
    return false;
  }
}
