// Running the real binary with extra set-up in the child before it starts
// (another user, a file size limit), and small helpers shared by the
// end-to-end tests of hostile input, options and output faults.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "test_support.h"

/// The unprivileged user the tests switch to when they run as root, where
/// permission bits would not stop anything.
inline constexpr uid_t kNobodyUid = 65534;
inline constexpr gid_t kNobodyGid = 65534;

/// Drops root for the rest of the child's life (setup for run_tool_with).
inline void become_nobody() {
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyGid) != 0 || ::setuid(kNobodyUid) != 0)
    ::_exit(127);
}

/// The names in a directory, "." and ".." left out.
inline std::set<std::string> directory_names(const std::string& path) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    ::closedir(d);
  }
  return names;
}

/// Whether `text` begins with `prefix`.
inline bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

/// One vertex line of a written layout.
struct LayoutLine {
  double coord[4] = {0, 0, 0, 0};  ///< x, y, z in slots 1..3
  std::string neighbours;          ///< the neighbour numbers, one space apart
};

/// Reads the body of a .3dlayout file into its counts and vertex lines;
/// false when the body is not in the written format.
inline bool parse_layout_body(const std::string& body, int64_t& nvtxs, int64_t& nedges,
                              std::vector<LayoutLine>& lines) {
  lines.clear();
  size_t pos = body.find('\n');
  if (pos == std::string::npos) return false;
  if (std::sscanf(body.substr(0, pos).c_str(), "%ld %ld", &nvtxs, &nedges) != 2) return false;
  ++pos;
  while (pos < body.size()) {
    size_t nl = body.find('\n', pos);
    if (nl == std::string::npos) return false;  // every line ends in a line feed
    std::string text = body.substr(pos, nl - pos);
    pos = nl + 1;
    LayoutLine line;
    const char* p = text.c_str();
    for (int a = 1; a <= 3; ++a) {
      char* end = nullptr;
      line.coord[a] = std::strtod(p, &end);
      if (end == p) return false;
      p = end;
    }
    std::string rest = p;
    size_t b = rest.find_first_not_of(' ');
    size_t e = rest.find_last_not_of(' ');
    if (b != std::string::npos) line.neighbours = rest.substr(b, e - b + 1);
    lines.push_back(line);
  }
  return static_cast<int64_t>(lines.size()) == nvtxs;
}

/// The drawing area of the last level, from the last progress line on
/// standard output ("... drawing area <X,Y,Z>"); false when there is none.
inline bool final_drawing_area(const std::string& out, double box[4]) {
  size_t at = out.rfind("drawing area <");
  if (at == std::string::npos) return false;
  return std::sscanf(out.c_str() + at, "drawing area <%lf,%lf,%lf>", &box[1], &box[2],
                     &box[3]) == 3;
}

/// Checks a written layout against the box it was fitted to: every
/// coordinate a number in [0, extent] as printed (the box line has five
/// decimals), and every axis stretched from 0 to its extent when its
/// coordinates are not all equal. Returns an empty text when all is well,
/// else what is wrong.
inline std::string check_layout_in_box(const std::vector<LayoutLine>& lines, const double box[4]) {
  const double slack = 1e-5;
  for (int a = 1; a <= 3; ++a) {
    if (!std::isfinite(box[a]) || box[a] <= 0) return "the drawing area is not a positive number";
    double lo = INFINITY, hi = -INFINITY;
    for (size_t v = 0; v < lines.size(); ++v) {
      double c = lines[v].coord[a];
      if (!std::isfinite(c) || c < 0 || c > box[a] + slack)
        return "vertex " + std::to_string(v + 1) + " axis " + std::to_string(a) + " at " +
               std::to_string(c) + " outside [0, " + std::to_string(box[a]) + "]";
      lo = std::fmin(lo, c);
      hi = std::fmax(hi, c);
    }
    if (lo == hi) {
      if (std::fabs(lo - box[a] / 2) > slack) return "an axis without spread is not centred";
    } else if (lo != 0 || std::fabs(hi - box[a]) > slack) {
      return "axis " + std::to_string(a) + " spans " + std::to_string(lo) + ".." +
             std::to_string(hi) + ", not 0.." + std::to_string(box[a]);
    }
  }
  return "";
}
