// The live progress line of long runs. When standard error is a terminal,
// one line there shows the level, the iteration within it and the elapsed
// time, rewritten in place and erased at the end; when it is not, nothing
// is written. Standard output is never touched.
#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "common/common.h"
#include "driver/driver.h"

namespace {

/// Least milliseconds between two rewrites of the line within a level.
constexpr uint32_t kRefreshMs = 100;

struct Progress {
  bool active = false;
  uint32_t started_ms = 0;
  uint32_t shown_ms = 0;     ///< when the line was last written
  int32_t deepest_step = -1; ///< step of the coarsest level, the first laid out
  int32_t step = 0;
  int32_t nvtxs = 0;
  size_t shown = 0;          ///< characters of the line on screen, 0 for none
};

Progress g_progress;

void write_stderr(const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(STDERR_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

/// Puts `text` in place of the line on screen (blanks cover a longer old
/// one) and returns the cursor to the start of the line, so that a line
/// printed on standard output meanwhile writes over it rather than after it.
void show(const std::string& text) {
  std::string line = "\r" + text;
  if (text.size() < g_progress.shown) line.append(g_progress.shown - text.size(), ' ');
  line += '\r';
  write_stderr(line.data(), line.size());
  g_progress.shown = text.size();
  g_progress.shown_ms = clock_ms();
}

void erase() {
  if (g_progress.shown > 0) show("");
}

void show_iteration(int32_t done, int32_t iterations) {
  const Progress& p = g_progress;
  char text[160];
  std::snprintf(text, sizeof text, "level %d of %d (%d vertices): iteration %d/%d, %.1f s",
                p.deepest_step - p.step + 1, p.deepest_step + 1, p.nvtxs, done, iterations,
                static_cast<double>(clock_ms() - p.started_ms) / 1000.0);
  show(text);
}

void level_started(int32_t step, int32_t nvtxs, int32_t iterations) {
  if (g_progress.deepest_step < 0) g_progress.deepest_step = step;
  g_progress.step = step;
  g_progress.nvtxs = nvtxs;
  if (iterations > 0) show_iteration(0, iterations);
  else erase();
}

void iteration_started(int32_t iteration, int32_t iterations) {
  // The level's closing line follows its last iteration on standard output:
  // leave the terminal line to it.
  if (iteration + 1 == iterations) erase();
  else if (clock_ms() - g_progress.shown_ms >= kRefreshMs) show_iteration(iteration + 1, iterations);
}

}  // namespace

void start_progress() {
  if (!::isatty(STDERR_FILENO)) return;
  g_progress = Progress{};
  g_progress.active = true;
  g_progress.started_ms = clock_ms();
  on_level_start = level_started;
  on_iteration = iteration_started;
}

void finish_progress() {
  if (!g_progress.active) return;
  erase();
  on_level_start = nullptr;
  on_iteration = nullptr;
  g_progress.active = false;
}
