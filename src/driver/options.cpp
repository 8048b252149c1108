// parse_options: the option table with prefix matching, value reading, and
// the derivation of the output name.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "driver/driver.h"
#include "graph/graph.h"

namespace {

enum class Kind { kWord, kInt, kDouble, kSeed, kThreads, kFlag };

struct OptionSpec {
  const char* text;
  Kind kind;
};

/// Matched in this order; an argument matches when it begins with the text.
/// No option may begin with the text of an earlier one.
constexpr OptionSpec kOptions[] = {
    {"-in", Kind::kWord},           {"-out", Kind::kWord},
    {"-friterations", Kind::kInt},  {"-bciterations", Kind::kInt},
    {"-wellseparatedratio", Kind::kDouble}, {"-frepsilon", Kind::kDouble},
    {"-seed", Kind::kSeed},         {"-threads", Kind::kThreads},
    {"-timings", Kind::kFlag},      {"-format", Kind::kWord},
    {"-html", Kind::kWord},         {"-export", Kind::kWord},
};

/// Largest frlayout epsilon: a sixth of the smallest side of the initial
/// drawing area, so that a nudge of less than three epsilon towards the
/// middle never leaves the box.
constexpr double kMaxEpsilon = 100.0;
/// Most threads accepted.
constexpr int kMaxThreads = 1024;

inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// The first word of the value, as "%s" reads it; false when there is none.
bool first_word(const char* value, std::string& word) {
  while (is_space(*value)) ++value;
  const char* end = value;
  while (*end != '\0' && !is_space(*end)) ++end;
  if (end == value) return false;
  word.assign(value, end);
  return true;
}

/// A decimal integer as "%d" reads it: 0 when there are no digits, the
/// leading number when other characters follow. False when it does not fit.
bool read_int(const char* value, int32_t& out) {
  while (is_space(*value)) ++value;
  bool negative = false;
  if (*value == '+' || *value == '-') negative = *value++ == '-';
  int64_t magnitude = 0;
  for (; *value >= '0' && *value <= '9'; ++value) {
    magnitude = magnitude * 10 + (*value - '0');
    if (magnitude > int64_t{2147483648}) return false;
  }
  if (!negative && magnitude > int64_t{2147483647}) return false;
  out = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

/// A floating-point number: optional sign, digits with an optional point,
/// an optional exponent; 0 when there is no number. False on overflow.
bool read_double(const char* value, double& out) {
  while (is_space(*value)) ++value;
  const char* p = value;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  bool any = p > digits;
  if (*p == '.') {
    ++p;
    const char* frac = p;
    while (*p >= '0' && *p <= '9') ++p;
    any = any || p > frac;
  }
  if (!any) {
    out = 0.0;
    return true;
  }
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (*q >= '0' && *q <= '9') {
      while (*q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  std::string number(value, p);
  errno = 0;
  double parsed = std::strtod(number.c_str(), nullptr);
  if (errno == ERANGE && std::fabs(parsed) > 1.0) return false;
  out = parsed;
  return true;
}

/// A decimal integer of any size, reduced modulo 2^32; nothing else may
/// stand in the value but white space around it.
bool read_seed(const char* value, uint32_t& out) {
  while (is_space(*value)) ++value;
  bool negative = false;
  if (*value == '+' || *value == '-') negative = *value++ == '-';
  if (*value < '0' || *value > '9') return false;
  uint32_t r = 0;
  for (; *value >= '0' && *value <= '9'; ++value) r = r * 10u + static_cast<uint32_t>(*value - '0');
  while (is_space(*value)) ++value;
  if (*value != '\0') return false;
  out = negative ? 0u - r : r;
  return true;
}

}  // namespace

std::string derive_layout_filename(const std::string& graph_filename, const std::string& given) {
  static const std::string kSuffix = ".3dlayout";
  if (given.empty()) {
    size_t dot = graph_filename.rfind('.');
    std::string base = dot == std::string::npos ? graph_filename : graph_filename.substr(0, dot);
    return base + "sfrlayout" + kSuffix;
  }
  size_t dot = given.rfind('.');
  if (dot != std::string::npos && given.compare(dot, std::string::npos, kSuffix) == 0)
    return given;
  return given + kSuffix;
}

ParseOutcome parse_options(int argc, const char* const* argv, RunSettings& s,
                           std::string& error) {
  s.graphFilename = "graph.graph";
  s.layoutFilename.clear();
  int i = 0;
  while (i < argc) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-help") == 0 ||
        std::strcmp(arg, "--help") == 0)
      return ParseOutcome::kHelp;
    const OptionSpec* match = nullptr;
    for (const OptionSpec& o : kOptions) {
      if (std::strncmp(arg, o.text, std::strlen(o.text)) == 0) {
        match = &o;
        break;
      }
    }
    if (match == nullptr || (match->kind == Kind::kFlag && std::strcmp(arg, match->text) != 0)) {
      ++i;  // not an option: skipped
      continue;
    }
    if (match->kind == Kind::kFlag) {
      s.timings = true;
      ++i;
      continue;
    }
    if (i + 1 >= argc) {
      error = std::string("option ") + arg + " needs a value after it";
      return ParseOutcome::kError;
    }
    const char* value = argv[i + 1];
    const std::string name = match->text;
    bool ok = true;
    switch (match->kind) {
      case Kind::kWord: {
        std::string word;
        if (!first_word(value, word)) break;
        if (name == "-in") s.graphFilename = word;
        else if (name == "-out") s.layoutFilename = word;
        else if (name == "-format") {
          InputFormat format;
          ok = input_format_by_name(word, format);
          if (!ok) error = "-format " + word + ": the input format must be metis, mtx or edges";
          s.format = word;
        }
        else if (name == "-html") s.html_file = word;
        else s.export_file = word;
        break;
      }
      case Kind::kInt: {
        int32_t v = 0;
        ok = read_int(value, v);
        if (!ok) {
          error = name + " " + value + ": the value does not fit in a 32-bit integer";
          break;
        }
        (name == "-friterations" ? s.friterations : s.bciterations) = v;
        break;
      }
      case Kind::kDouble: {
        double v = 0;
        ok = read_double(value, v);
        if (!ok) {
          error = name + " " + value + ": the value is out of range";
          break;
        }
        (name == "-frepsilon" ? s.frepsilon : s.wellseparatedratio) = v;
        break;
      }
      case Kind::kSeed:
        ok = read_seed(value, s.seed);
        if (!ok) error = std::string("-seed ") + value + ": the seed must be a decimal integer";
        s.seed_given = true;
        break;
      case Kind::kThreads: {
        int32_t v = 0;
        ok = read_int(value, v) && v >= 1 && v <= kMaxThreads;
        if (!ok)
          error = std::string("-threads ") + value + ": the thread count must be a number from 1 to " +
                  std::to_string(kMaxThreads);
        s.threads = v;
        break;
      }
      case Kind::kFlag:
        break;
    }
    if (!ok) return ParseOutcome::kError;
    i += 2;
  }
  if (!(s.frepsilon > 0.0 && s.frepsilon <= kMaxEpsilon)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", s.frepsilon);
    error = std::string("-frepsilon ") + buf +
            ": the frlayout epsilon must be greater than 0 and at most 100";
    return ParseOutcome::kError;
  }
  if (!s.export_file.empty() && export_format_of(s.export_file) == ExportFormat::kUnknown) {
    error = "-export " + s.export_file + ": the file name must end in .graphml or .vtk";
    return ParseOutcome::kError;
  }
  s.layoutFilename = derive_layout_filename(s.graphFilename, s.layoutFilename);
  return ParseOutcome::kRun;
}
