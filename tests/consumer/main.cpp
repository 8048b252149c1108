// Lays out a 3 x 3 grid through the installed library; exit status 0 when
// every vertex got a position inside the drawing area.
#include <cstdio>
#include <vector>

#include <frlayout3d/frlayout3d.h>

int main() {
  // Vertex 3 * row + column, joined to its right and lower neighbours.
  std::vector<std::vector<int32_t>> lists(9);
  for (int32_t v = 0; v < 9; ++v) {
    if (v % 3 < 2) { lists[v].push_back(v + 1); lists[v + 1].push_back(v); }
    if (v < 6) { lists[v].push_back(v + 3); lists[v + 3].push_back(v); }
  }
  std::vector<int64_t> xadj{0};
  std::vector<int32_t> adjncy;
  for (const auto& list : lists) {
    adjncy.insert(adjncy.end(), list.begin(), list.end());
    xadj.push_back(static_cast<int64_t>(adjncy.size()));
  }
  frlayout3d::Options options;
  options.seed = 1;
  options.seed_given = true;
  const frlayout3d::Result r = frlayout3d::layout(9, xadj.data(), adjncy.data(), options);
  if (!r.ok || r.xyz.size() != 27) {
    std::fprintf(stderr, "consumer: layout failed: %s\n", r.error.c_str());
    return 1;
  }
  for (size_t i = 0; i < r.xyz.size(); ++i)
    if (!(r.xyz[i] >= 0 && r.xyz[i] <= r.extent[i % 3])) return 1;
  std::printf("frlayout3d %s laid out 9 vertices in %d levels\n", frlayout3d::version(),
              r.levels);
  return 0;
}
