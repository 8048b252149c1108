// The viewer page of "-html": a self-contained page whose embedded record
// decodes, with a base64 decoder of its own, to the layout's single-precision
// coordinates and to every edge once; names that cannot break out of the
// page; the report rows; and the option end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <unistd.h>

#include "driver/driver.h"
#include "test_support.h"

extern const char kViewerPage[];

namespace {

std::vector<unsigned char> base64_decode(const std::string& text) {
  static const std::string kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<unsigned char> bytes;
  uint32_t bits = 0;
  int nbits = 0;
  for (char c : text) {
    if (c == '=') break;
    const size_t value = kDigits.find(c);
    if (value == std::string::npos) {
      ADD_FAILURE() << "not base64: " << c;
      break;
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
    nbits += 6;
    if (nbits >= 8) {
      nbits -= 8;
      bytes.push_back(static_cast<unsigned char>(bits >> nbits));
    }
  }
  return bytes;
}

uint32_t le32(const std::vector<unsigned char>& bytes, size_t i) {
  return uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 |
         uint32_t{bytes[i + 3]} << 24;
}

/// The text of `"key":` up to the end of its value in the page's record: a
/// string value without its quotes, or a number.
std::string record_field(const std::string& page, const std::string& key) {
  const std::string opener = "\"" + key + "\":";
  size_t at = page.find(opener);
  if (at == std::string::npos) return "<missing>";
  at += opener.size();
  if (page[at] != '"') return page.substr(at, page.find_first_of(",}", at) - at);
  size_t end = at + 1;
  while (page[end] != '"') end += page[end] == '\\' ? 2 : 1;
  return page.substr(at + 1, end - at - 1);
}

std::vector<float> page_positions(const std::string& page) {
  std::vector<unsigned char> bytes = base64_decode(record_field(page, "positions"));
  EXPECT_EQ(bytes.size() % 12, 0u);
  std::vector<float> floats;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    uint32_t word = le32(bytes, i);
    float f;
    std::memcpy(&f, &word, sizeof f);
    floats.push_back(f);
  }
  return floats;
}

std::vector<std::pair<uint32_t, uint32_t>> page_edges(const std::string& page) {
  std::vector<unsigned char> bytes = base64_decode(record_field(page, "edges"));
  EXPECT_EQ(bytes.size() % 8, 0u);
  std::vector<std::pair<uint32_t, uint32_t>> edges;
  for (size_t i = 0; i + 8 <= bytes.size(); i += 8) edges.push_back({le32(bytes, i), le32(bytes, i + 4)});
  return edges;
}

std::string write_page(const ScratchDir& dir, const RunSettings& settings, const Graph& graph,
                       int32_t nvtxs, int32_t nedges, const Posn& posn) {
  OutFile out;
  out.fd = ::open(dir.file("view.html").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  write_html_view(out, settings, RunTimes{1500, 250, 100}, graph, nvtxs, nedges, posn);
  EXPECT_TRUE(out_flush(out));
  ::close(out.fd);
  return read_file(dir.file("view.html"));
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

//   1 --- 2 --- 3      1 lists 2 twice
//   |
//   4          5 alone
struct Sample {
  GraphHandle graph = make_graph({{2, 4, 2}, {1, 3, 1}, {2}, {1}, {}});
  Posn posn;
  Sample() {
    allocate_posn(posn, 5);
    for (int32_t v = 1; v <= 5; ++v) {
      posn[1][v] = 1000.0 / v;   // not exact in single precision
      posn[2][v] = -0.25 * v;
      posn[3][v] = 16777217.0 * v;  // beyond float's integers
    }
  }
};

TEST(ViewerPage, RecordDecodesToTheLayoutAndCarriesTheReport) {
  ScratchDir dir;
  Sample s;
  RunSettings settings;
  settings.graphFilename = "some/dir/sample.graph";
  settings.seed = 7;
  settings.friterations = 12;
  const std::string page = write_page(dir, settings, *s.graph, 5, 3, s.posn);
  EXPECT_EQ(record_field(page, "name"), "sample.graph");
  EXPECT_EQ(record_field(page, "nvtxs"), "5");
  EXPECT_EQ(record_field(page, "nedges"), "3");
  std::vector<float> positions = page_positions(page);
  ASSERT_EQ(positions.size(), 15u);
  for (int32_t v = 1; v <= 5; ++v)
    for (int a = 1; a <= 3; ++a)
      EXPECT_EQ(positions[3 * (v - 1) + (a - 1)], static_cast<float>(s.posn[a][v])) << v << a;
  // 0-based ends, each edge once although 1 and 2 list each other twice.
  EXPECT_EQ(page_edges(page),
            (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {0, 3}, {1, 2}}));
  // The derived times are differences of the three counts given.
  for (const char* row : {"[\"total computation time\",\"1.500000 s\"]",
                          "[\"layout time\",\"1.250000 s\"]", "[\"frlayout_time\",\"1.150000 s\"]",
                          "[\"refine fr iteration\",\"12\"]", "[\"random seed\",\"7\"]",
                          "[\"algorithmname\",\"multi-scale bary-centralized frlayout\"]"})
    EXPECT_NE(page.find(row), std::string::npos) << row;
  // Self-contained: one whole page, nothing loaded from elsewhere.
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(page.substr(page.size() - 8), "</html>\n");
  EXPECT_EQ(count(page, "@LAYOUT_DATA@"), 0u);
  for (const char* outside : {"src=", "href=", "<link", "@import", "url(", "fetch(",
                              "XMLHttpRequest", "//cdn", "https:"})
    EXPECT_EQ(count(page, outside), 0u) << outside;
  EXPECT_EQ(count(page, "<canvas"), 1u);
  EXPECT_NE(page.find("getContext(\"webgl"), std::string::npos);
}

TEST(ViewerPage, NamesCannotBreakOutOfTheRecord) {
  ScratchDir dir;
  Sample s;
  RunSettings settings;
  settings.graphFilename = "d/we<!--\"ird\\\t<script>.graph";
  const std::string page = write_page(dir, settings, *s.graph, 5, 3, s.posn);
  EXPECT_EQ(record_field(page, "name"), "we\\u003c!--\\\"ird\\\\\\u0009\\u003cscript>.graph");
  EXPECT_EQ(count(page, "<script"), count(kViewerPage, "<script"));
  EXPECT_EQ(count(page, "</script>"), count(kViewerPage, "</script>"));
}

TEST(HtmlOption, PageHoldsTheWrittenLayout) {
  ScratchDir dir;
  auto lists = grid_lists(5, 4, 3);
  write_file(dir.file("g.graph"), graph_file_text(lists));
  RunResult r = run_tool({"-in", "g.graph", "-seed", "9", "-html", "g.html"}, dir.path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string page = read_file(dir.file("g.html"));
  std::vector<double> coords = layout_coordinates(read_file(dir.file("gsfrlayout.3dlayout")));
  std::vector<float> positions = page_positions(page);
  ASSERT_EQ(coords.size(), 180u);
  ASSERT_EQ(positions.size(), coords.size());
  // Millionths in the file, single precision in the page.
  for (size_t i = 0; i < coords.size(); ++i)
    EXPECT_NEAR(positions[i], coords[i], 5e-7 + 1e-7 * std::abs(coords[i])) << i;
  std::set<std::pair<uint32_t, uint32_t>> edges;
  for (auto [a, b] : page_edges(page)) {
    EXPECT_LT(a, b);
    edges.insert({a, b});
  }
  EXPECT_EQ(static_cast<int32_t>(edges.size()), graph_nedges(lists));
  for (int32_t v = 1; v <= 60; ++v)
    for (int32_t w : lists[v - 1])
      if (v < w) {
        EXPECT_EQ(edges.count({v - 1, w - 1}), 1u) << v << "-" << w;
      }
  EXPECT_NE(page.find("[\"random seed\",\"9\"]"), std::string::npos);
}

}  // namespace
