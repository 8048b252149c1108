// Buffered line-by-line reading of a graph file, plain or gzip-compressed,
// with lines of any length. Folder-private: used by the graph file readers.
//
// Compression is recognised by the content, not the name: data that begins
// with the gzip signature (1f 8b) is inflated, one member after another when
// several are concatenated; anything else is read as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ReadStatus;

#ifdef FRLAYOUT_HAVE_ZLIB
/// Whether this build can read gzip-compressed input.
inline constexpr bool kGzipAvailable = true;
#else
inline constexpr bool kGzipAvailable = false;
#endif

/// Longest line of the formats whose lines are short: every line of the
/// Matrix Market and edge-list formats, and the comments and header of the
/// adjacency-list format. It is the size of the text buffer, so these lines
/// never make the buffer grow; a real line of these formats holds a few
/// dozen bytes.
inline constexpr size_t kShortLineLimit = size_t{1} << 20;

/// Blank lines (white space only) in a row that a reader skips before it
/// gives up: 64 MiB of them hold nothing and take well under a second to
/// scan, and no writer of graph files pads its output like that, so such
/// input is refused instead of being read for ever (an endless stream of
/// line feeds).
inline constexpr int64_t kBlankRunLimit = int64_t{1} << 26;

/// The zlib state of a compressed input; defined where zlib is used.
struct Inflater;
struct InflaterDeleter {
  void operator()(Inflater* inflater) const;
};

struct LineReader {
  int fd = -1;
  bool owns_fd = false;    ///< close fd when the reader dies
  int64_t file_size = -1;  ///< bytes of a regular file, -1 for anything else
  bool started = false;    ///< the first bytes have been checked for gzip
  std::unique_ptr<Inflater, InflaterDeleter> inflater;  ///< set for gzip data
  std::vector<char> buffer;
  size_t begin = 0;  ///< start of the unread bytes
  size_t end = 0;    ///< end of the valid bytes
  bool at_eof = false;
  int error = 0;     ///< errno of a failed read (EIO for bad gzip data)
  std::string error_text;   ///< what went wrong, one line, when error != 0
  int64_t line_number = 0;  ///< number of the line last returned (1-based)
  /// Longest line accepted, line end included; a line that grows past it
  /// fails the read as soon as that many bytes of it are in, so that an
  /// endless line (a stream of NUL bytes) costs no more memory than this.
  size_t max_line = kShortLineLimit;

  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
};

/// Starts reading from fd (not owned).
void line_reader_open(LineReader& reader, int fd);

/// Opens the file at `path` and starts reading it; the reader owns the
/// descriptor. On failure returns false with status.cannot_open set and
/// status.error as "cannot open PATH: REASON".
bool line_reader_open_file(LineReader& reader, const std::string& path, ReadStatus& status);

/// Returns the next line (its line end included when present) in
/// line/length, or false at the end of the file or on a read error
/// (reader.error tells which). The line stays valid until the next call.
bool next_line(LineReader& reader, const char*& line, size_t& length);

/// Gives back the line next_line just returned (`length` bytes), so that
/// the next call returns it again.
void unread_line(LineReader& reader, size_t length);

/// An estimate of the bytes of text the file holds, for sizing arrays
/// against a header that may lie: the file size for plain files, the size
/// the gzip trailer records for compressed ones (only a hint: it is modulo
/// 2^32 and covers the last member), -1 when unknown. Valid once the first
/// line has been read.
int64_t text_size_hint(const LineReader& reader);
