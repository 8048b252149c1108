// Shared helpers for the tests.
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

GraphHandle make_graph(const std::vector<std::vector<int32_t>>& lists) {
  GraphHandle g(new Graph);
  const int32_t n = static_cast<int32_t>(lists.size());
  g->adj.assign(static_cast<size_t>(n) + 1, AdjacencyList{0, nullptr});
  for (int32_t v = 1; v <= n; ++v) {
    g->block.push_back(v);
    for (int32_t w : lists[v - 1]) g->block.push_back(w);
    g->adj[v].count = static_cast<int32_t>(lists[v - 1].size()) + 1;
  }
  rebuild_entry_pointers(*g, n);
  return g;
}

int32_t graph_nedges(const std::vector<std::vector<int32_t>>& lists) {
  size_t entries = 0;
  for (const auto& l : lists) entries += l.size();
  return static_cast<int32_t>(entries / 2);
}

std::vector<int32_t> neighbours_of(const Graph& g, int32_t v) {
  return std::vector<int32_t>(g.adj[v].entries + 1, g.adj[v].entries + g.adj[v].count);
}

std::vector<std::vector<int32_t>> path_lists(int32_t n) {
  std::vector<std::vector<int32_t>> l(n);
  for (int32_t v = 1; v <= n; ++v) {
    if (v > 1) l[v - 1].push_back(v - 1);
    if (v < n) l[v - 1].push_back(v + 1);
  }
  return l;
}

bool axis_range(const Posn& posn, int32_t nvtxs, int a, double& lo, double& hi) {
  lo = hi = posn[a][1];
  bool finite = true;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    finite = finite && std::isfinite(posn[a][v]);
    lo = std::min(lo, posn[a][v]);
    hi = std::max(hi, posn[a][v]);
  }
  return finite;
}

std::vector<std::vector<int32_t>> cycle_lists(int32_t n) {
  std::vector<std::vector<int32_t>> l(n);
  for (int32_t v = 1; v <= n; ++v) {
    l[v - 1].push_back(v == 1 ? n : v - 1);
    l[v - 1].push_back(v == n ? 1 : v + 1);
  }
  return l;
}

std::vector<std::vector<int32_t>> star_lists(int32_t n) {
  std::vector<std::vector<int32_t>> l(n);
  for (int32_t v = 2; v <= n; ++v) {
    l[0].push_back(v);
    l[v - 1].push_back(1);
  }
  return l;
}

std::vector<std::vector<int32_t>> grid_lists(int32_t a, int32_t b, int32_t c) {
  std::vector<std::vector<int32_t>> l(static_cast<size_t>(a) * b * c);
  auto id = [&](int32_t i, int32_t j, int32_t k) { return 1 + i + a * (j + b * k); };
  for (int32_t k = 0; k < c; ++k)
    for (int32_t j = 0; j < b; ++j)
      for (int32_t i = 0; i < a; ++i) {
        auto& list = l[id(i, j, k) - 1];
        if (i > 0) list.push_back(id(i - 1, j, k));
        if (i + 1 < a) list.push_back(id(i + 1, j, k));
        if (j > 0) list.push_back(id(i, j - 1, k));
        if (j + 1 < b) list.push_back(id(i, j + 1, k));
        if (k > 0) list.push_back(id(i, j, k - 1));
        if (k + 1 < c) list.push_back(id(i, j, k + 1));
      }
  return l;
}

std::string graph_file_text(const std::vector<std::vector<int32_t>>& lists) {
  std::ostringstream s;
  s << lists.size() << " " << graph_nedges(lists) << "\n";
  for (const auto& l : lists) {
    for (size_t i = 0; i < l.size(); ++i) s << (i ? " " : "") << l[i];
    s << "\n";
  }
  return s.str();
}

ScratchDir::ScratchDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "frl-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) std::abort();
  path = buf.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Restore write permission on anything a test made read-only.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path, ec);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const std::string& dir, const std::function<void()>& setup) {
  ScratchDir io;
  const std::string out_path = io.file("stdout"), err_path = io.file("stderr");
  std::vector<std::string> copy = args;
  std::string binary = program;
  std::vector<char*> argv{binary.data()};
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    setup();
    ::execvp(binary.c_str(), argv.data());
    ::_exit(127);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

RunResult run_tool_with(const std::vector<std::string>& args, const std::string& dir,
                        const std::function<void()>& setup) {
  return run_program(FRLAYOUT3D_BINARY, args, dir, setup);
}

RunResult run_tool(const std::vector<std::string>& args, const std::string& dir) {
  return run_tool_with(args, dir, [] {});
}

std::string layout_body(const std::string& content) {
  size_t pos = 0;
  while (pos < content.size() && content[pos] == '%') {
    size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) return "";
    pos = nl + 1;
  }
  return content.substr(pos);
}

std::string without_times(const std::string& text) {
  std::string kept;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    if (line.find("sec ") == std::string::npos) kept += line;
    at = end;
  }
  return kept;
}

std::vector<double> layout_coordinates(const std::string& content) {
  std::istringstream in(layout_body(content));
  std::string line;
  std::getline(in, line);  // nvtxs nedges
  std::vector<double> coords;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    double c[3];
    fields >> c[0] >> c[1] >> c[2];
    coords.insert(coords.end(), c, c + 3);
  }
  return coords;
}

std::string test_data(const std::string& relative) {
  return std::string(FRLAYOUT3D_TEST_DATA) + "/" + relative;
}
