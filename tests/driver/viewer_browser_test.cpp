// The viewer page in a real browser. Headless Chromium opens the page of a
// small star laid out by the tool and takes a screenshot of its front
// orthographic view: every vertex standing clear of the others must show
// its degree colour where the view projects it, edges must show between
// them, and most of the rest must be background; the legend is folded on
// a small window only. Skipped where no Chromium is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "test_support.h"

#ifdef FRLAYOUT3D_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

/// Colours the page promises: the ends of the degree scale and the background.
constexpr int kLowDegree[3] = {69, 117, 180};
constexpr int kHighDegree[3] = {215, 48, 39};
constexpr int kBackground[3] = {16, 19, 26};
/// Point size requested from the page, in pixels.
constexpr double kPointSize = 15;
/// In the initial view, half the screen's smaller side spans this many times
/// half the drawing's longest side.
constexpr double kFit = 1.1;

/// Runs headless Chromium on `url` with `extra` options, output to `out`.
int run_chromium(const ScratchDir& dir, const std::string& extra, const std::string& url,
                 const std::string& out) {
  const std::string command =
      "timeout 180 chromium --headless --no-sandbox --disable-gpu --use-angle=swiftshader"
      " --enable-unsafe-swiftshader --disable-background-networking --disable-component-update"
      " --disable-sync --no-first-run --hide-scrollbars --force-device-scale-factor=1"
      " --window-size=640,480 --user-data-dir=" + dir.file("profile") + " " + extra + " '" + url +
      "' > " + out + " 2> " + dir.file("chromium.log");
  return std::system(command.c_str());
}

struct Image {
  int width = 0, height = 0, channels = 0;
  std::vector<unsigned char> px;  ///< unfiltered rows, `channels` bytes per pixel
  const unsigned char* at(int x, int y) const {
    return &px[(static_cast<size_t>(y) * width + x) * channels];
  }
};

/// Decodes an 8-bit RGB or RGBA PNG without interlacing (what Chromium
/// writes); false on anything else.
bool decode_png(const std::string& png, Image& im) {
#ifdef FRLAYOUT3D_HAVE_ZLIB
  auto be32 = [&](size_t i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(png[i + k]);
    return v;
  };
  std::string idat;
  for (size_t at = 8; at + 12 <= png.size(); at += 12 + be32(at)) {
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      im.width = static_cast<int>(be32(at + 8));
      im.height = static_cast<int>(be32(at + 12));
      im.channels = png[at + 17] == 2 ? 3 : png[at + 17] == 6 ? 4 : 0;
      if (png[at + 16] != 8 || png[at + 20] != 0) im.channels = 0;
    } else if (type == "IDAT") {
      idat += png.substr(at + 8, be32(at));
    }
  }
  const size_t stride = static_cast<size_t>(im.width) * im.channels, ch = im.channels;
  std::vector<unsigned char> raw((stride + 1) * im.height);
  uLongf size = raw.size();
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || ch == 0 ||
      uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) !=
          Z_OK || size != raw.size())
    return false;
  // Undo the per-row filters (none, sub, up, average, Paeth).
  im.px.assign(stride * im.height, 0);
  for (size_t y = 0; y < static_cast<size_t>(im.height); ++y) {
    const unsigned char filter = raw[y * (stride + 1)];
    unsigned char* row = &im.px[y * stride];
    const unsigned char* up = y > 0 ? row - stride : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= ch ? row[i - ch] : 0, b = up ? up[i] : 0,
                c = up && i >= ch ? up[i - ch] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      const int predictor[5] = {0, a, b, (a + b) / 2, paeth};
      row[i] = static_cast<unsigned char>(raw[y * (stride + 1) + 1 + i] + predictor[filter % 5]);
    }
  }
  return true;
#else
  (void)png;
  (void)im;
  return false;
#endif
}

bool near_colour(const unsigned char* pixel, const int* colour, int tolerance) {
  for (int k = 0; k < 3; ++k)
    if (std::abs(pixel[k] - colour[k]) > tolerance) return false;
  return true;
}

TEST(ViewerInBrowser, ScreenshotShowsTheVerticesWhereTheViewPutsThem) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no chromium installed: the viewer page was not checked in a browser";
#ifndef FRLAYOUT3D_HAVE_ZLIB
  GTEST_SKIP() << "built without zlib: the screenshot cannot be decoded";
#endif
  ScratchDir dir;
  // A star: the centre (vertex 1) has the greatest degree, the leaves the least.
  const int32_t n = 7;
  write_file(dir.file("star.graph"), graph_file_text(star_lists(n)));
  RunResult run = run_tool({"-in", "star.graph", "-seed", "3", "-html", "star.html"}, dir.path);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string url = "file://" + dir.file("star.html");
  ASSERT_EQ(run_chromium(dir, "--screenshot=" + dir.file("shot.png"),
                         url + "#ortho&points=15&legend=0", dir.file("out.txt")),
            0)
      << read_file(dir.file("chromium.log"));
  Image image;
  ASSERT_TRUE(decode_png(read_file(dir.file("shot.png")), image));
  ASSERT_GT(image.width, 100);
  ASSERT_GT(image.height, 100);

  // Where the front orthographic view puts each vertex: the bounding box's
  // centre in the middle, half its longest side at 1/kFit of half the
  // screen's smaller side, x to the right and y up, in single precision.
  std::vector<double> c = layout_coordinates(read_file(dir.file("starsfrlayout.3dlayout")));
  ASSERT_EQ(c.size(), 3u * n);
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (size_t i = 0; i < c.size(); ++i) {
    c[i] = static_cast<float>(c[i]);
    lo[i % 3] = std::fmin(lo[i % 3], c[i]);
    hi[i % 3] = std::fmax(hi[i % 3], c[i]);
  }
  const double radius = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}) / 2;
  const double scale = std::min(image.width, image.height) / (2 * kFit * radius);
  std::vector<double> sx(n + 1), sy(n + 1);
  for (int32_t v = 1; v <= n; ++v) {
    sx[v] = image.width / 2.0 + (c[3 * (v - 1)] - (lo[0] + hi[0]) / 2) * scale;
    sy[v] = image.height / 2.0 - (c[3 * (v - 1) + 1] - (lo[1] + hi[1]) / 2) * scale;
  }
  auto nearest_vertex = [&](double x, double y, int32_t except) {
    double best = 1e300;
    for (int32_t w = 1; w <= n; ++w)
      if (w != except) best = std::fmin(best, std::hypot(x - sx[w], y - sy[w]));
    return best;
  };

  // Vertices clear of every other point show their own colour at their centre.
  int checked = 0;
  for (int32_t v = 1; v <= n; ++v) {
    if (nearest_vertex(sx[v], sy[v], v) < kPointSize + 2) {
      EXPECT_NE(v, 1) << "the centre must stand clear";
      continue;
    }
    const unsigned char* p = image.at(static_cast<int>(sx[v]), static_cast<int>(sy[v]));
    EXPECT_TRUE(near_colour(p, v == 1 ? kHighDegree : kLowDegree, 8))
        << "vertex " << v << " shows " << +p[0] << "," << +p[1] << "," << +p[2];
    ++checked;
  }
  EXPECT_GE(checked, 4);
  // Edge midpoints clear of the points are drawn over the background.
  int edges_checked = 0;
  for (int32_t v = 2; v <= n; ++v) {
    const double mx = (sx[1] + sx[v]) / 2, my = (sy[1] + sy[v]) / 2;
    if (nearest_vertex(mx, my, 0) < kPointSize) continue;
    bool drawn = false;
    for (int d = 0; d < 25; ++d)
      drawn = drawn || !near_colour(image.at(static_cast<int>(mx) + d % 5 - 2,
                                             static_cast<int>(my) + d / 5 - 2),
                                    kBackground, 20);
    EXPECT_TRUE(drawn) << "no edge at the middle of 1-" << v;
    ++edges_checked;
  }
  EXPECT_GE(edges_checked, 2);
  // Seven points and six thin lines cover under 3% of the screen: the rest,
  // corners included, is background.
  size_t background = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) background += near_colour(image.at(x, y), kBackground, 3);
  EXPECT_GT(background, size_t(image.width) * image.height * 97 / 100);
  for (int y : {2, image.height - 3})
    for (int x : {2, image.width - 3}) EXPECT_TRUE(near_colour(image.at(x, y), kBackground, 3));

  // The page's own view of itself: the legend filled in and no error shown.
  ASSERT_EQ(run_chromium(dir, "--dump-dom", url, dir.file("dom.html")), 0)
      << read_file(dir.file("chromium.log"));
  const std::string page = read_file(dir.file("dom.html"));
  for (const char* part : {"<h1 id=\"name\">star.graph</h1>", "7 vertices, 6 edges",
                           "<td>random seed</td><td>3</td>", "opened in ",
                           "<div id=\"message\"></div>"})
    EXPECT_NE(page.find(part), std::string::npos) << part << "\n" << page;
  // The legend would cover more than a quarter of this small window: it
  // starts folded, and open on a large one.
  EXPECT_NE(page.find("<div id=\"legend\" class=\"folded\">"), std::string::npos) << page;
  ASSERT_EQ(run_chromium(dir, "--window-size=1280,800 --dump-dom", url, dir.file("large.html")), 0)
      << read_file(dir.file("chromium.log"));
  EXPECT_NE(read_file(dir.file("large.html")).find("<div id=\"legend\">"), std::string::npos);
}

}  // namespace
