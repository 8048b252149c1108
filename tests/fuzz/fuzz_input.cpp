// libFuzzer target for the two places where outside text enters the tool:
// the graph file readers and the option scanner. One input is used twice:
// cut at white space, as a command line, and as the content of a graph file
// in the format that command line's "-format" names (adjacency lists when
// it names none).
// When both are accepted and the graph is small, the graph is laid out and
// written too, and every coordinate is checked to be finite and in the box.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "coarsen/coarsen.h"
#include "common/common.h"
#include "common/parallel.h"
#include "driver/driver.h"
#include "graph/graph.h"

namespace {

/// Graphs up to this size are also laid out.
constexpr int32_t kMaxLaidOutVertices = 400;
/// Refinement iterations are capped so that one input stays fast.
constexpr int32_t kMaxRefinementIterations = 20;
/// Arguments taken from one input.
constexpr size_t kMaxArguments = 64;

int g_null_fd = -1;

std::vector<std::string> split_words(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"frlayout3d"};
  std::string word;
  for (size_t i = 0; i < size && words.size() < kMaxArguments; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == ' ' || c == '\n' || c == '\t' || c == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty() && words.size() < kMaxArguments) words.push_back(word);
  return words;
}

void check_layout(const Posn& posn, int32_t nvtxs, double X, double Y, double Z) {
  const double extent[4] = {0, X, Y, Z};
  for (int a = 1; a <= 3; ++a) {
    if (!std::isfinite(extent[a]) || extent[a] <= 0) std::abort();
    for (int32_t v = 1; v <= nvtxs; ++v) {
      double c = posn[a][v];
      // The fit forms (p - min) * extent before dividing by the range, so
      // the greatest coordinate may exceed the extent by a rounding step;
      // it still prints as the extent.
      if (!std::isfinite(c) || c < 0 || c > extent[a] * (1 + 1e-15)) {
        std::fprintf(stderr, "vertex %d axis %d at %g outside [0, %g]\n", v, a, c, extent[a]);
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The layout prints progress lines on standard output; keep them out of
  // the fuzzer's log.
  g_null_fd = ::open("/dev/null", O_WRONLY);
  ::dup2(g_null_fd, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = split_words(data, size);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  RunSettings settings;
  std::string error;
  std::vector<std::string> warnings;
  ParseOutcome outcome =
      parse_options(static_cast<int>(argv.size()), argv.data(), settings, error, warnings);
  if (outcome == ParseOutcome::kError && error.empty()) std::abort();
  if (outcome == ParseOutcome::kRun && settings.layoutFilename.empty()) std::abort();

  int fd = ::memfd_create("graph", 0);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  GraphHandle graph;
  int32_t nvtxs = 0, nedges = 0;
  ReadStatus status;
  // The reader the scanned "-format" names, else the adjacency-list one.
  InputFormat named;
  const std::string format = input_format_by_name(settings.format, named) ? settings.format : "";
  bool ok = read_graph_file(path, format, graph, nvtxs, nedges, status);
  ::close(fd);
  if (!ok) {
    // A refusal always says why, on one line.
    if (status.error.empty() || status.error.find('\n') != std::string::npos) std::abort();
    if (graph) std::abort();
    return 0;
  }
  if (!graph || nvtxs < 1 || nedges < 0 || !status.error.empty()) std::abort();
  // Every accepted graph is symmetric with neighbours inside 1..nvtxs.
  for (int32_t v = 1; v <= nvtxs; ++v) {
    const AdjacencyList& list = graph->adj[v];
    if (list.entries[0] != v) std::abort();
    for (int32_t j = 1; j < list.count; ++j) {
      int32_t w = list.entries[j];
      if (w < 1 || w > nvtxs || w == v) std::abort();
    }
  }
  if (outcome != ParseOutcome::kRun || nvtxs > kMaxLaidOutVertices) return 0;

  RunContext run;
  run.rand15_state = settings.seed;
  Posn posn;
  allocate_posn(posn, nvtxs);
  double X = 1000, Y = 800, Z = 600, k = 0;
  int32_t iterations = settings.friterations < kMaxRefinementIterations
                           ? settings.friterations
                           : kMaxRefinementIterations;
  coarsen_multilevel(LayoutLevel{graph.get(), nvtxs, nedges, &X, &Y, &Z, &k, iterations,
                                 settings.wellseparatedratio, settings.frepsilon, &posn, 50,
                                 0, &run});
  check_layout(posn, nvtxs, X, Y, Z);
  OutFile out;
  out.fd = g_null_fd;
  write_layout(out, *graph, nvtxs, nedges, posn, 3);
  if (!out_flush(out)) std::abort();
  return 0;
}
