// The viewer page in a real browser. Headless Chromium opens the page of a
// small star laid out by the tool and takes a screenshot of its front
// orthographic view: every vertex standing clear of the others must show
// its degree colour where the view projects it, edges must show between
// them, and everything else must be background. Skipped where no Chromium
// is installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

std::string find_chromium() {
  for (const char* name : {"chromium", "chromium-browser"})
    if (std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0)
      return name;
  return "";
}

/// Runs headless Chromium on `url` with `extra` options; its standard
/// output goes to `out`, its chatter to `log`.
int run_chromium(const std::string& chromium, const ScratchDir& dir, const std::string& extra,
                 const std::string& url, const std::string& out, const std::string& log) {
  const std::string command =
      "timeout 180 " + chromium +
      " --headless --no-sandbox --disable-gpu --use-angle=swiftshader --enable-unsafe-swiftshader"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --no-first-run --hide-scrollbars --force-device-scale-factor=1 --user-data-dir=" +
      dir.file("profile") + " " + extra + " '" + url + "' > " + out + " 2> " + log;
  return std::system(command.c_str());
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * width + x)]; }
};

uint32_t be32(const std::string& s, size_t i) {
  return uint32_t{static_cast<unsigned char>(s[i])} << 24 |
         uint32_t{static_cast<unsigned char>(s[i + 1])} << 16 |
         uint32_t{static_cast<unsigned char>(s[i + 2])} << 8 | static_cast<unsigned char>(s[i + 3]);
}

/// Decodes an 8-bit RGB or RGBA PNG without interlacing (what Chromium writes).
bool decode_png(const std::string& png, Image& image, std::string& error) {
#ifdef FRLAYOUT3D_HAVE_ZLIB
  if (png.size() < 8 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
    error = "not a PNG file";
    return false;
  }
  std::string idat;
  int channels = 0;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = be32(png, at);
    const std::string type = png.substr(at + 4, 4);
    const size_t data = at + 8;
    if (type == "IHDR") {
      image.width = static_cast<int>(be32(png, data));
      image.height = static_cast<int>(be32(png, data + 4));
      const int depth = png[data + 8], colour = png[data + 9], interlace = png[data + 12];
      channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
      if (depth != 8 || channels == 0 || interlace != 0) {
        error = "unexpected PNG kind";
        return false;
      }
    } else if (type == "IDAT") {
      idat += png.substr(data, length);
    }
    at = data + length + 4;
  }
  const size_t stride = static_cast<size_t>(image.width) * channels;
  std::vector<unsigned char> raw((stride + 1) * image.height);
  uLongf size = raw.size();
  if (channels == 0 || uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()),
                                  idat.size()) != Z_OK || size != raw.size()) {
    error = "cannot inflate the PNG data";
    return false;
  }
  // Undo the per-row filters (none, sub, up, average, Paeth).
  std::vector<unsigned char> pixels(stride * image.height);
  for (int y = 0; y < image.height; ++y) {
    const unsigned char filter = raw[y * (stride + 1)];
    const unsigned char* in = &raw[y * (stride + 1) + 1];
    unsigned char* row = &pixels[y * stride];
    const unsigned char* up = y > 0 ? row - stride : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? row[i - channels] : 0;
      const int b = up ? up[i] : 0;
      const int c = up && i >= static_cast<size_t>(channels) ? up[i - channels] : 0;
      int predictor = 0;
      if (filter == 1) predictor = a;
      else if (filter == 2) predictor = b;
      else if (filter == 3) predictor = (a + b) / 2;
      else if (filter == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      row[i] = static_cast<unsigned char>(in[i] + predictor);
    }
  }
  image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
  for (size_t p = 0; p < static_cast<size_t>(image.width) * image.height; ++p)
    for (int k = 0; k < 3; ++k) image.rgb[3 * p + k] = pixels[p * channels + k];
  return true;
#else
  (void)png;
  (void)image;
  error = "built without zlib";
  return false;
#endif
}

bool near_colour(const unsigned char* pixel, const int* colour, int tolerance) {
  for (int k = 0; k < 3; ++k)
    if (std::abs(pixel[k] - colour[k]) > tolerance) return false;
  return true;
}

std::string describe(const unsigned char* pixel) {
  return "rgb(" + std::to_string(pixel[0]) + "," + std::to_string(pixel[1]) + "," +
         std::to_string(pixel[2]) + ")";
}

/// Distance from p to the segment a-b.
double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0;
  t = std::fmin(1, std::fmax(0, t));
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

TEST(ViewerInBrowser, ScreenshotShowsTheVerticesWhereTheViewPutsThem) {
  const std::string chromium = find_chromium();
  if (chromium.empty())
    GTEST_SKIP() << "no chromium installed: the viewer page was not checked in a browser "
                    "(apt-get install chromium)";
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
  const int shot = run_chromium(chromium, dir, "--window-size=640,480 --screenshot=" + dir.file("shot.png"),
                                url + "#ortho&points=15&legend=0", dir.file("out.txt"),
                                dir.file("chromium.log"));
  ASSERT_EQ(shot, 0) << read_file(dir.file("chromium.log"));
  Image image;
  std::string error;
  ASSERT_TRUE(decode_png(read_file(dir.file("shot.png")), image, error)) << error;
  ASSERT_GT(image.width, 100);
  ASSERT_GT(image.height, 100);

  // Where the front orthographic view puts each vertex: the bounding box's
  // centre in the middle, half its longest side at 1/kFit of half the
  // screen's smaller side, x to the right and y up. The page works in
  // single precision.
  std::istringstream body(layout_body(read_file(dir.file("starsfrlayout.3dlayout"))));
  std::string line;
  std::getline(body, line);
  std::vector<std::array<double, 3>> p(n + 1);
  double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
  for (int32_t v = 1; v <= n; ++v) {
    for (int a = 0; a < 3; ++a) {
      body >> p[v][a];
      p[v][a] = static_cast<float>(p[v][a]);
      lo[a] = std::fmin(lo[a], p[v][a]);
      hi[a] = std::fmax(hi[a], p[v][a]);
    }
    std::getline(body, line);
  }
  const double radius = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}) / 2;
  const double scale = std::min(image.width, image.height) / (2 * kFit * radius);
  std::vector<double> sx(n + 1), sy(n + 1);
  for (int32_t v = 1; v <= n; ++v) {
    sx[v] = image.width / 2.0 + (p[v][0] - (lo[0] + hi[0]) / 2) * scale;
    sy[v] = image.height / 2.0 - (p[v][1] - (lo[1] + hi[1]) / 2) * scale;
  }
  auto nearest_vertex = [&](double x, double y, int32_t except) {
    double best = 1e300;
    for (int32_t w = 1; w <= n; ++w)
      if (w != except) best = std::fmin(best, std::hypot(x - sx[w], y - sy[w]));
    return best;
  };

  // Vertices clear of every other point show their own colour at their centre.
  int checked = 0;
  bool centre_checked = false;
  for (int32_t v = 1; v <= n; ++v) {
    if (nearest_vertex(sx[v], sy[v], v) < kPointSize + 2) continue;
    const unsigned char* pixel = image.at(static_cast<int>(sx[v]), static_cast<int>(sy[v]));
    const int* expected = v == 1 ? kHighDegree : kLowDegree;
    EXPECT_TRUE(near_colour(pixel, expected, 8))
        << "vertex " << v << " at (" << sx[v] << ", " << sy[v] << ") shows " << describe(pixel);
    ++checked;
    centre_checked = centre_checked || v == 1;
  }
  EXPECT_GE(checked, 4);
  EXPECT_TRUE(centre_checked);

  // Edge midpoints clear of the points are drawn over the background.
  int edges_checked = 0;
  for (int32_t v = 2; v <= n; ++v) {
    const double mx = (sx[1] + sx[v]) / 2, my = (sy[1] + sy[v]) / 2;
    if (nearest_vertex(mx, my, 0) < kPointSize) continue;
    bool drawn = false;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        drawn = drawn || !near_colour(image.at(static_cast<int>(mx) + dx, static_cast<int>(my) + dy),
                                      kBackground, 20);
    EXPECT_TRUE(drawn) << "no edge at the middle of 1-" << v;
    ++edges_checked;
  }
  EXPECT_GE(edges_checked, 2);

  // Everywhere away from points and edges: the background.
  int background = 0;
  for (int y = 2; y < image.height - 2; y += 6)
    for (int x = 2; x < image.width - 2; x += 6) {
      if (nearest_vertex(x, y, 0) < kPointSize) continue;
      bool near_edge = false;
      for (int32_t v = 2; v <= n; ++v)
        near_edge = near_edge || segment_distance(x, y, sx[1], sy[1], sx[v], sy[v]) < 4;
      if (near_edge) continue;
      ++background;
      const unsigned char* pixel = image.at(x, y);
      ASSERT_TRUE(near_colour(pixel, kBackground, 3)) << "(" << x << ", " << y << ") shows "
                                                       << describe(pixel);
    }
  EXPECT_GT(background, 5000);

  // The page's own view of itself: the legend filled in and no error shown.
  const int dom = run_chromium(chromium, dir, "--window-size=640,480 --dump-dom", url,
                               dir.file("dom.html"), dir.file("chromium.log"));
  ASSERT_EQ(dom, 0) << read_file(dir.file("chromium.log"));
  const std::string page = read_file(dir.file("dom.html"));
  EXPECT_NE(page.find("<h1 id=\"name\">star.graph</h1>"), std::string::npos) << page;
  EXPECT_NE(page.find("7 vertices, 6 edges"), std::string::npos);
  EXPECT_NE(page.find("<td>random seed</td><td>3</td>"), std::string::npos);
  EXPECT_NE(page.find("opened in "), std::string::npos);
  EXPECT_NE(page.find("<div id=\"message\"></div>"), std::string::npos) << "the page reports a fault";
}

}  // namespace
