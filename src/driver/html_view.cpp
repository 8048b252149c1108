// write_html_view: the viewer page of "-html". The page itself is
// viewer.html, embedded at build time; this file puts the layout into it as
// a JSON record, the coordinates and edges as base64 of little-endian
// 32-bit numbers, so that a large graph stays a few bytes per number.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/common.h"
#include "driver/driver.h"

/// The viewer page, viewer.html byte for byte (generated source).
extern const char kViewerPage[];

namespace {

/// Stands in viewer.html where the layout record goes.
constexpr char kDataMarker[] = "@LAYOUT_DATA@";

void put(OutFile& out, const char* text) { out_write(out, text, std::strlen(text)); }

/// `text` as a JSON string that may also stand inside a <script> element:
/// quotes, backslashes and control characters escaped, and "<" written as
/// \u003c so that no "</script>" can appear.
void put_json_string(OutFile& out, const std::string& text) {
  std::string s = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += static_cast<char>(c);
    } else if (c < 0x20 || c == '<') {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      s += esc;
    } else {
      s += static_cast<char>(c);
    }
  }
  s += '"';
  out_write(out, s.data(), s.size());
}

/// Appends `bytes` in base64 (standard alphabet, "=" padding).
void put_base64(OutFile& out, const std::vector<unsigned char>& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  char chunk[4096];
  size_t used = 0;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (left > 1) group |= uint32_t{bytes[i + 1]} << 8;
    if (left > 2) group |= bytes[i + 2];
    chunk[used++] = kAlphabet[(group >> 18) & 63];
    chunk[used++] = kAlphabet[(group >> 12) & 63];
    chunk[used++] = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    chunk[used++] = left > 2 ? kAlphabet[group & 63] : '=';
    if (used + 4 > sizeof chunk) {
      out_write(out, chunk, used);
      used = 0;
    }
  }
  out_write(out, chunk, used);
}

void push_le32(std::vector<unsigned char>& bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<unsigned char>(word >> shift));
}

/// x, y, z of vertices 1..nvtxs as single-precision numbers.
std::vector<unsigned char> position_bytes(int32_t nvtxs, const Posn& posn) {
  std::vector<unsigned char> bytes;
  bytes.reserve(static_cast<size_t>(nvtxs) * 12);
  for (int32_t v = 1; v <= nvtxs; ++v)
    for (int a = 1; a <= 3; ++a) {
      const float f = static_cast<float>(posn[a][v]);
      uint32_t word;
      std::memcpy(&word, &f, sizeof word);
      push_le32(bytes, word);
    }
  return bytes;
}

/// The distinct edges as pairs of 0-based vertex indices, as WebGL takes them.
std::vector<unsigned char> edge_bytes(const Graph& graph, int32_t nvtxs) {
  std::vector<int32_t> edges = distinct_edges(graph, nvtxs);
  std::vector<unsigned char> bytes;
  bytes.reserve(edges.size() * 4);
  for (int32_t v : edges) push_le32(bytes, static_cast<uint32_t>(v - 1));
  return bytes;
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// The report's rows after the file name, which the page shows as its
/// title, as [label, value] pairs; times in " s".
void put_report(OutFile& out, const RunSettings& s, const RunTimes& times) {
  const std::vector<ReportRow> rows = report_rows(s, times);
  put(out, "[");
  for (size_t i = 1; i < rows.size(); ++i) {
    put(out, i == 1 ? "[" : ",[");
    put_json_string(out, rows[i].label);
    put(out, ",");
    put_json_string(out, rows[i].value + (rows[i].seconds ? " s" : ""));
    put(out, "]");
  }
  put(out, "]");
}

}  // namespace

void write_html_view(OutFile& out, const RunSettings& settings, const RunTimes& times,
                     const Graph& graph, int32_t nvtxs, int32_t nedges, const Posn& posn) {
  const char* marker = std::strstr(kViewerPage, kDataMarker);
  out_write(out, kViewerPage, static_cast<size_t>(marker - kViewerPage));
  put(out, "{\"name\":");
  put_json_string(out, base_name(settings.graphFilename));
  out_printf(out, ",\"nvtxs\":%d,\"nedges\":%d,\"report\":", nvtxs, nedges);
  put_report(out, settings, times);
  put(out, ",\n\"positions\":\"");
  put_base64(out, position_bytes(nvtxs, posn));
  put(out, "\",\n\"edges\":\"");
  put_base64(out, edge_bytes(graph, nvtxs));
  put(out, "\"}");
  put(out, marker + std::strlen(kDataMarker));
}
