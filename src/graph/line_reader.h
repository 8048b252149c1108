// Buffered line-by-line reading of a file descriptor, with lines of any
// length. Folder-private: used by the graph file readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LineReader {
  int fd = -1;
  std::vector<char> buffer;
  size_t begin = 0;  ///< start of the unread bytes
  size_t end = 0;    ///< end of the valid bytes
  bool at_eof = false;
  int error = 0;     ///< errno of a failed read
  int64_t line_number = 0;  ///< number of the line last returned (1-based)
};

/// Starts reading from fd (not owned).
void line_reader_open(LineReader& reader, int fd);

/// Returns the next line (its line end included when present) in
/// line/length, or false at the end of the file or on a read error
/// (reader.error tells which). The line stays valid until the next call.
bool next_line(LineReader& reader, const char*& line, size_t& length);
