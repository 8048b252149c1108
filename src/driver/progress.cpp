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
void show(ProgressLine& p, const std::string& text) {
  std::string line = "\r" + text;
  if (text.size() < p.shown) line.append(p.shown - text.size(), ' ');
  line += '\r';
  write_stderr(line.data(), line.size());
  p.shown = text.size();
  p.shown_ms = clock_ms();
}

void erase(ProgressLine& p) {
  if (p.shown > 0) show(p, "");
}

void show_iteration(ProgressLine& p, int32_t done, int32_t iterations) {
  char text[160];
  std::snprintf(text, sizeof text, "level %d of %d (%d vertices): iteration %d/%d, %.1f s",
                p.deepest_step - p.step + 1, p.deepest_step + 1, p.nvtxs, done, iterations,
                static_cast<double>(clock_ms() - p.started_ms) / 1000.0);
  show(p, text);
}

void level_started(void* user, int32_t step, int32_t nvtxs, int32_t iterations) {
  ProgressLine& p = *static_cast<ProgressLine*>(user);
  if (!p.active) return;
  if (p.deepest_step < 0) p.deepest_step = step;
  p.step = step;
  p.nvtxs = nvtxs;
  if (iterations > 0) show_iteration(p, 0, iterations);
  else erase(p);
}

void iteration_started(void* user, int32_t iteration, int32_t iterations) {
  ProgressLine& p = *static_cast<ProgressLine*>(user);
  if (!p.active) return;
  // The level's closing line follows its last iteration on standard output:
  // leave the terminal line to it.
  if (iteration + 1 == iterations) erase(p);
  else if (clock_ms() - p.shown_ms >= kRefreshMs) show_iteration(p, iteration + 1, iterations);
}

}  // namespace

void start_progress(ProgressLine& line, RunContext& run) {
  if (!::isatty(STDERR_FILENO)) return;
  line = ProgressLine{};
  line.active = true;
  line.started_ms = clock_ms();
  run.progress = ProgressHooks{&line, level_started, iteration_started};
}

void finish_progress(ProgressLine& line) {
  if (!line.active) return;
  erase(line);
  line.active = false;
}
