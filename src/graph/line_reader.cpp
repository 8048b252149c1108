// LineReader: lines of any length from a file descriptor, with gzip data
// inflated on the way when the build has zlib. The first read looks at two
// bytes for the gzip signature; the rest of the reader does not care where
// its text comes from.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "graph/graph.h"
#include "graph/line_reader.h"

#ifdef FRLAYOUT_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

/// Bytes of text held at first; the buffer doubles for longer lines, up
/// to the reader's max_line.
constexpr size_t kTextBufferSize = kShortLineLimit;
/// Bytes of compressed input read at a time.
constexpr size_t kCompressedChunk = size_t{1} << 18;

/// read() that retries after signals.
ssize_t read_raw(int fd, void* dst, size_t room) {
  ssize_t got;
  do {
    got = ::read(fd, dst, room);
  } while (got < 0 && errno == EINTR);
  return got;
}

ssize_t fail_read(LineReader& r, int error, const std::string& text) {
  r.error = error;
  r.error_text = text;
  return -1;
}

ssize_t fail_errno(LineReader& r) {
  int error = errno;
  return fail_read(r, error, std::strerror(error));
}

}  // namespace

#ifdef FRLAYOUT_HAVE_ZLIB
struct Inflater {
  z_stream stream{};
  bool initialised = false;
  bool member_done = false;  ///< the last member's trailer has been read
  std::vector<unsigned char> input;
};

void InflaterDeleter::operator()(Inflater* inflater) const {
  if (inflater->initialised) inflateEnd(&inflater->stream);
  delete inflater;
}
#else
struct Inflater {};

void InflaterDeleter::operator()(Inflater* inflater) const { delete inflater; }
#endif

namespace {

#ifdef FRLAYOUT_HAVE_ZLIB
/// Sets up inflating, with the bytes already read as the first input.
ssize_t start_inflating(LineReader& r, const unsigned char* head, size_t count) {
  r.inflater.reset(new Inflater);
  Inflater& z = *r.inflater;
  z.input.resize(kCompressedChunk);
  std::memcpy(z.input.data(), head, count);
  z.stream.next_in = z.input.data();
  z.stream.avail_in = static_cast<uInt>(count);
  // 16 + window bits: gzip wrapper only.
  if (inflateInit2(&z.stream, 16 + MAX_WBITS) != Z_OK)
    return fail_read(r, ENOMEM, "cannot start decompressing the gzip data");
  z.initialised = true;
  return 0;
}

/// Inflates up to `room` bytes into dst; 0 at the end of the last member.
ssize_t inflate_text(LineReader& r, char* dst, size_t room) {
  Inflater& z = *r.inflater;
  const uInt want = room > UINT_MAX ? UINT_MAX : static_cast<uInt>(room);
  z.stream.next_out = reinterpret_cast<Bytef*>(dst);
  z.stream.avail_out = want;
  while (z.stream.avail_out == want) {
    if (z.stream.avail_in == 0) {
      ssize_t got = read_raw(r.fd, z.input.data(), z.input.size());
      if (got < 0) return fail_errno(r);
      if (got == 0) {
        if (z.member_done) return 0;
        return fail_read(r, EIO, "the gzip data ends early (is the file truncated?)");
      }
      z.stream.next_in = z.input.data();
      z.stream.avail_in = static_cast<uInt>(got);
    }
    if (z.member_done) {
      // Another member follows (files joined with cat); bytes that are no
      // gzip member, such as zero padding, end the data as gzip does.
      if (z.stream.next_in[0] != 0x1f) {
        z.stream.avail_in = 0;
        return 0;
      }
      inflateReset(&z.stream);
      z.member_done = false;
    }
    int rc = inflate(&z.stream, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      z.member_done = true;
    } else if (rc == Z_BUF_ERROR && z.stream.avail_in == 0) {
      continue;  // needs more input
    } else if (rc != Z_OK) {
      std::string what = "the gzip data is corrupt";
      if (z.stream.msg != nullptr) what += std::string(" (") + z.stream.msg + ")";
      return fail_read(r, EIO, what);
    }
  }
  return static_cast<ssize_t>(want - z.stream.avail_out);
}
#endif

/// First read of a file: checks for the gzip signature. Plain bytes are
/// left in the text buffer; gzip bytes start the inflater.
ssize_t start_reading(LineReader& r) {
  r.started = true;
  unsigned char head[2];
  size_t count = 0;
  while (count < 2) {  // a pipe may deliver one byte at a time
    ssize_t got = read_raw(r.fd, head + count, 2 - count);
    if (got < 0) return fail_errno(r);
    if (got == 0) break;
    count += static_cast<size_t>(got);
  }
  if (count == 2 && head[0] == 0x1f && head[1] == 0x8b) {
#ifdef FRLAYOUT_HAVE_ZLIB
    return start_inflating(r, head, count);
#else
    return fail_read(r, ENOTSUP,
                     "the file is gzip-compressed, and this build of frlayout3d reads no "
                     "compressed input (it was built without zlib); decompress it first");
#endif
  }
  for (size_t i = 0; i < count; ++i) r.buffer[r.end + i] = static_cast<char>(head[i]);
  if (count < 2) r.at_eof = true;
  return static_cast<ssize_t>(count);
}

/// Reads more text into the buffer after r.end; 0 at the end of the file.
ssize_t read_text(LineReader& r) {
  if (!r.started) {
    ssize_t got = start_reading(r);
    if (got != 0 || r.at_eof) return got;
  }
  char* dst = r.buffer.data() + r.end;
  size_t room = r.buffer.size() - r.end;
#ifdef FRLAYOUT_HAVE_ZLIB
  if (r.inflater) return inflate_text(r, dst, room);
#endif
  ssize_t got = read_raw(r.fd, dst, room);
  if (got < 0) return fail_errno(r);
  return got;
}

}  // namespace

LineReader::~LineReader() {
  if (owns_fd && fd >= 0) ::close(fd);
}

void line_reader_open(LineReader& reader, int fd) {
  reader.fd = fd;
  reader.owns_fd = false;
  reader.file_size = -1;
  reader.started = false;
  reader.inflater.reset();
  reader.buffer.assign(kTextBufferSize, '\0');
  reader.begin = reader.end = 0;
  reader.at_eof = false;
  reader.error = 0;
  reader.error_text.clear();
  reader.line_number = 0;
  reader.max_line = kShortLineLimit;
}

bool line_reader_open_file(LineReader& reader, const std::string& path, ReadStatus& status) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    status.cannot_open = true;
    status.error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  int64_t file_size = -1;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      status.cannot_open = true;
      status.error = "cannot open " + path + ": it is a directory";
      return false;
    }
    if (S_ISREG(st.st_mode)) file_size = st.st_size;
  }
  line_reader_open(reader, fd);
  reader.owns_fd = true;
  reader.file_size = file_size;
  return true;
}

bool next_line(LineReader& reader, const char*& line, size_t& length) {
  if (reader.error != 0) return false;  // a failed read stays failed
  size_t scanned = reader.begin;  // bytes before this hold no line feed
  for (;;) {
    const char* base = reader.buffer.data();
    const void* lf = std::memchr(base + scanned, '\n', reader.end - scanned);
    if (lf != nullptr) {
      size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - base) + 1;
      line = base + reader.begin;
      length = stop - reader.begin;
      reader.begin = stop;
      ++reader.line_number;
      return true;
    }
    if (reader.at_eof) {
      if (reader.begin == reader.end) return false;
      line = base + reader.begin;
      length = reader.end - reader.begin;
      reader.begin = reader.end;
      ++reader.line_number;
      return true;
    }
    // Keep the partial line, make room and read more.
    size_t pending = reader.end - reader.begin;
    if (reader.begin > 0) {
      std::memmove(reader.buffer.data(), base + reader.begin, pending);
      reader.begin = 0;
      reader.end = pending;
    }
    scanned = pending;
    if (pending >= reader.max_line) {
      fail_read(reader, EFBIG,
                "the line is longer than " + std::to_string(reader.max_line) +
                    " bytes and still has no line end (is this a graph file?)");
      return false;
    }
    if (reader.end == reader.buffer.size())
      reader.buffer.resize(std::min(reader.buffer.size() * 2, reader.max_line + 1));
    ssize_t got = read_text(reader);
    if (got < 0) return false;
    if (got == 0) reader.at_eof = true;
    reader.end += static_cast<size_t>(got);
  }
}

void unread_line(LineReader& reader, size_t length) {
  reader.begin -= length;
  --reader.line_number;
}

int64_t text_size_hint(const LineReader& reader) {
  if (reader.file_size < 0) return -1;
  if (!reader.inflater) return reader.file_size;
  // The last four bytes of a gzip member: the text size modulo 2^32.
  unsigned char trailer[4];
  if (reader.file_size < 18 ||
      ::pread(reader.fd, trailer, 4, static_cast<off_t>(reader.file_size - 4)) != 4)
    return -1;
  const int64_t recorded = int64_t{trailer[0]} | int64_t{trailer[1]} << 8 |
                          int64_t{trailer[2]} << 16 | int64_t{trailer[3]} << 24;
  // A forged trailer must not make the reader reserve more than deflate
  // can expand the file to (at most 1032 to 1).
  return std::min(recorded, reader.file_size * 1032);
}
