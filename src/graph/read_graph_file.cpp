// read_graph_file: the choice of the input format, by "-format" or by the
// file name's ending, and the hand-over to the reader of that format.
#include <cctype>
#include <cstdio>
#include <new>

#include "graph/graph_internal.h"

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
  InputFormat chosen = input_format_of_path(path);
  if (!format.empty() && !input_format_by_name(format, chosen)) {
    status = ReadStatus{};
    status.error = "unknown input format \"" + format + "\" (known: metis, mtx, edges)";
    return false;
  }
  if (chosen == InputFormat::kMetis) return read_graph(path, graph, nvtxs, nedges, status);
  try {
    if (chosen == InputFormat::kMtx) return read_mtx(path, graph, nvtxs, nedges, status);
    return read_edge_list(path, graph, nvtxs, nedges, status);
  } catch (const std::bad_alloc&) {
    status.error = path + ": out of memory while reading the graph";
    return false;
  }
}
