// The buffered output file and write_layout, the body of a .3dlayout file.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "graph/graph.h"

namespace {

/// Bytes gathered before one write call.
constexpr size_t kOutBufferSize = size_t{1} << 20;

void write_all(OutFile& out, const char* data, size_t size) {
  while (size > 0 && out.error == 0) {
    ssize_t n = ::write(out.fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      out.error = errno;
      return;
    }
    if (n == 0) {
      out.error = EIO;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

/// Room for one vertex line's coordinates and a few numbers.
constexpr size_t kLineReserve = 4096;

inline char* reserve(OutFile& out, size_t size) {
  if (out.buffer.size() < kOutBufferSize) out.buffer.resize(kOutBufferSize);
  if (out.used + size > out.buffer.size()) out_flush(out);
  if (size > out.buffer.size()) out.buffer.resize(size);
  return out.buffer.data() + out.used;
}

inline size_t format_int(int32_t value, char* dst) {
  char tmp[12];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    tmp[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  size_t out = 0;
  if (value < 0) dst[out++] = '-';
  while (n > 0) dst[out++] = tmp[--n];
  return out;
}

}  // namespace

bool out_flush(OutFile& out) {
  if (out.used > 0) write_all(out, out.buffer.data(), out.used);
  out.used = 0;
  return out.error == 0;
}

void out_write(OutFile& out, const char* data, size_t size) {
  if (size >= kOutBufferSize) {
    out_flush(out);
    write_all(out, data, size);
    return;
  }
  char* dst = reserve(out, size);
  std::memcpy(dst, data, size);
  out.used += size;
}

void out_printf(OutFile& out, const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out_write(out, small, static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  out_write(out, big.data(), static_cast<size_t>(n));
}

void write_layout(OutFile& out, const Graph& graph, int32_t nvtxs, int32_t nedges,
                  const Posn& posn, int32_t dims) {
  char* dst = reserve(out, 32);
  size_t n = format_int(nvtxs, dst);
  dst[n++] = ' ';
  n += format_int(nedges, dst + n);
  dst[n++] = '\n';
  out.used += n;
  for (int32_t v = 1; v <= nvtxs; ++v) {
    dst = reserve(out, kLineReserve);
    n = 0;
    for (int32_t d = 1; d <= dims; ++d) n += format_coordinate(posn[d][v], dst + n);
    out.used += n;
    const AdjacencyList& list = graph.adj[v];
    for (int32_t j = 1; j < list.count; ++j) {
      dst = reserve(out, 16);
      n = format_int(list.entries[j], dst);
      dst[n++] = ' ';
      out.used += n;
    }
    dst = reserve(out, 1);
    *dst = '\n';
    ++out.used;
  }
}
