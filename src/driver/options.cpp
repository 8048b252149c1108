// parse_options: the option table with prefix matching, value reading, and
// the derivation of the output name.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/stat.h>

#include "driver/driver.h"
#include "graph/graph.h"

namespace {

/// Largest frlayout epsilon: a sixth of the smallest side of the initial
/// drawing area, so that a nudge of less than three epsilon towards the
/// middle never leaves the box.
constexpr double kMaxEpsilon = 100.0;
/// Most threads accepted.
constexpr int kMaxThreads = 1024;

inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Whether nothing but white space is left.
bool only_space(const char* text) {
  while (is_space(*text)) ++text;
  return *text == '\0';
}

/// An option's value as it is quoted in messages.
std::string quote_value(const char* value) {
  return quote_text(value, std::strlen(value), std::strlen(value));
}

/// The first word of the value, as "%s" reads it; false when there is none.
/// `rest` is left after the word.
bool first_word(const char* value, std::string& word, const char*& rest) {
  while (is_space(*value)) ++value;
  const char* end = value;
  while (*end != '\0' && !is_space(*end)) ++end;
  rest = end;
  if (end == value) return false;
  word.assign(value, end);
  return true;
}

/// A decimal integer as "%d" reads it: 0 when there are no digits, the
/// leading number when other characters follow. False when it does not fit.
/// `whole` tells whether the value was a number and nothing else (white
/// space around it aside).
bool read_int(const char* value, int32_t& out, bool& whole) {
  while (is_space(*value)) ++value;
  const char* p = value;
  whole = false;
  switch (parse_int32(p, value + std::strlen(value), out)) {
    case NumberResult::kOk: whole = only_space(p); return true;
    case NumberResult::kNoDigits: out = 0; return true;
    case NumberResult::kTooLarge: return false;
  }
  return false;
}

/// A floating-point number: optional sign, digits with an optional point,
/// an optional exponent; 0 when there is no number. False on overflow.
/// `read` is the text taken as the number, empty when there is none, and
/// `whole` tells whether that was all the value held (white space aside).
bool read_double(const char* value, double& out, std::string& read, bool& whole) {
  while (is_space(*value)) ++value;
  const char* p = value;
  read.clear();
  whole = false;
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
  read.assign(value, p);
  whole = only_space(p);
  errno = 0;
  double parsed = std::strtod(read.c_str(), nullptr);
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

struct OptionSpec;
/// Reads an option's value into the settings; false, with `error` set,
/// when the value is unusable. A value read only in part (a number
/// followed by other text, no number at all, several words) sets
/// `warning` to what was taken.
using ApplyOption = bool (*)(const OptionSpec& option, const char* value, RunSettings& s,
                             std::string& error, std::string& warning);

struct OptionSpec {
  const char* text;
  ApplyOption apply;                  ///< null for a flag, which takes no value
  std::string RunSettings::*word;     ///< the setting of a word option
  int32_t RunSettings::*integer;      ///< the setting of a whole-number option
  double RunSettings::*real;          ///< the setting of a real option
  bool RunSettings::*flag;            ///< the setting of a flag
};

/// The warning about a value read as `taken`.
std::string read_as(const char* option, const char* value, const std::string& taken) {
  return std::string(option) + " " + quote_value(value) + ": read as " + taken;
}

/// The first word of the value, when there is one, into option.word.
bool apply_word(const OptionSpec& option, const char* value, RunSettings& s, std::string&,
                std::string& warning) {
  std::string word;
  const char* rest = nullptr;
  if (!first_word(value, word, rest))
    warning = std::string(option.text) + " " + quote_value(value) + ": holds no word, ignored";
  else if (!only_space(rest))
    warning = read_as(option.text, value, quote_value(word.c_str()));
  if (!word.empty()) s.*(option.word) = word;
  return true;
}

bool apply_int(const OptionSpec& option, const char* value, RunSettings& s, std::string& error,
               std::string& warning) {
  bool whole = false;
  if (read_int(value, s.*(option.integer), whole)) {
    if (!whole) warning = read_as(option.text, value, std::to_string(s.*(option.integer)));
    return true;
  }
  error = std::string(option.text) + " " + value + ": the value does not fit in a 32-bit integer";
  return false;
}

bool apply_double(const OptionSpec& option, const char* value, RunSettings& s,
                  std::string& error, std::string& warning) {
  std::string read;
  bool whole = false;
  if (read_double(value, s.*(option.real), read, whole)) {
    if (!whole) warning = read_as(option.text, value, read.empty() ? "0" : read);
    return true;
  }
  error = std::string(option.text) + " " + value + ": the value is out of range";
  return false;
}

bool apply_seed(const OptionSpec&, const char* value, RunSettings& s, std::string& error,
                std::string&) {
  s.seed_given = true;
  if (read_seed(value, s.seed)) return true;
  error = std::string("-seed ") + value + ": the seed must be a decimal integer";
  return false;
}

bool apply_threads(const OptionSpec&, const char* value, RunSettings& s, std::string& error,
                   std::string& warning) {
  int32_t threads = 0;
  bool whole = false;
  if (read_int(value, threads, whole) && threads >= 1 && threads <= kMaxThreads) {
    s.threads = threads;
    if (!whole) warning = read_as("-threads", value, std::to_string(threads));
    return true;
  }
  error = std::string("-threads ") + value + ": the thread count must be a number from 1 to " +
          std::to_string(kMaxThreads);
  return false;
}

/// A word option whose word must name one of the tool's formats.
bool apply_format(const OptionSpec& option, const char* value, RunSettings& s,
                  std::string& error, std::string& warning) {
  apply_word(option, value, s, error, warning);
  InputFormat format;
  if (s.format.empty() || input_format_by_name(s.format, format)) return true;
  error = "-format " + s.format + ": the input format must be metis, mtx or edges";
  return false;
}

/// A word option whose word must name one of the tool's layout methods.
bool apply_method(const OptionSpec& option, const char* value, RunSettings& s,
                  std::string& error, std::string& warning) {
  apply_word(option, value, s, error, warning);
  if (find_method(s.method) != nullptr) return true;
  error = "-method " + s.method + ": the layout method must be " + method_names();
  return false;
}

/// Matched in this order; an argument matches when it begins with the text
/// (a flag only when it is the text). No option may begin with the text of
/// an earlier one.
const OptionSpec kOptions[] = {
    {"-in", apply_word, &RunSettings::graphFilename, nullptr, nullptr, nullptr},
    {"-out", apply_word, &RunSettings::layoutFilename, nullptr, nullptr, nullptr},
    {"-friterations", apply_int, nullptr, &RunSettings::friterations, nullptr, nullptr},
    {"-bciterations", apply_int, nullptr, &RunSettings::bciterations, nullptr, nullptr},
    {"-wellseparatedratio", apply_double, nullptr, nullptr, &RunSettings::wellseparatedratio,
     nullptr},
    {"-frepsilon", apply_double, nullptr, nullptr, &RunSettings::frepsilon, nullptr},
    {"-seed", apply_seed, nullptr, nullptr, nullptr, nullptr},
    {"-threads", apply_threads, nullptr, nullptr, nullptr, nullptr},
    {"-timings", nullptr, nullptr, nullptr, nullptr, &RunSettings::timings},
    {"-format", apply_format, &RunSettings::format, nullptr, nullptr, nullptr},
    {"-html", apply_word, &RunSettings::html_file, nullptr, nullptr, nullptr},
    {"-export", apply_word, &RunSettings::export_file, nullptr, nullptr, nullptr},
    {"-method", apply_method, &RunSettings::method, nullptr, nullptr, nullptr},
};

const OptionSpec* find_option(const char* arg) {
  for (const OptionSpec& option : kOptions) {
    if (std::strncmp(arg, option.text, std::strlen(option.text)) != 0) continue;
    if (option.apply == nullptr && std::strcmp(arg, option.text) != 0) return nullptr;
    return &option;
  }
  return nullptr;
}

/// The warning about an argument that matches no option, naming the option
/// it was likely meant as: the one it names after a second "-" ("--seed"),
/// or the only one it is the start of ("-o").
std::string ignored_argument(const char* arg) {
  const OptionSpec* meant = nullptr;
  if (arg[0] == '-' && arg[1] == '-') {
    meant = find_option(arg + 1);
  } else if (arg[0] == '-' && arg[1] != '\0') {
    int starts = 0;
    for (const OptionSpec& option : kOptions)
      if (std::strncmp(option.text, arg, std::strlen(arg)) == 0) {
        meant = &option;
        ++starts;
      }
    if (starts != 1) meant = nullptr;
  }
  std::string warning = "ignored argument " + quote_value(arg);
  if (meant != nullptr) warning += std::string(" (did you mean ") + meant->text + "?)";
  return warning;
}

/// The warning about an option with text glued to it ("-in=g.graph",
/// "-seed7"), whose value is still the next argument; empty for none, and
/// for the letters of a longer spelling ("-input", "-outfile").
std::string glued_text(const OptionSpec& option, const char* arg) {
  const char* rest = arg + std::strlen(option.text);
  if (*rest == '\0' || (*rest >= 'a' && *rest <= 'z') || (*rest >= 'A' && *rest <= 'Z'))
    return "";
  return "argument " + quote_value(arg) + " read as " + option.text + " (" + quote_value(rest) +
         " ignored; its value is the next argument)";
}

/// The checks that concern settings together or their final values.
bool check_settings(const RunSettings& s, std::string& error) {
  if (!(s.frepsilon > 0.0 && s.frepsilon <= kMaxEpsilon)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", s.frepsilon);
    error = std::string("-frepsilon ") + buf +
            ": the frlayout epsilon must be greater than 0 and at most 100";
    return false;
  }
  if (!s.export_file.empty() && export_format_of(s.export_file) == ExportFormat::kUnknown) {
    error = "-export " + s.export_file + ": the file name must end in .graphml or .vtk";
    return false;
  }
  return true;
}

}  // namespace

std::string derive_layout_filename(const std::string& graph_filename, const std::string& given) {
  static const std::string kSuffix = ".3dlayout";
  if (given == "-") return given;
  if (given.empty() && graph_filename == kStandardInputPath)
    return kStandardInputName + kSuffix;
  if (given.empty()) {
    size_t dot = graph_filename.rfind('.');
    std::string base = dot == std::string::npos ? graph_filename : graph_filename.substr(0, dot);
    return base + "sfrlayout" + kSuffix;
  }
  if (ends_with(given, kSuffix)) return given;  // the part from the last "." is the suffix
  // A device, FIFO or socket (or a link to one) is named as it is, and
  // then refused as an output; a folder's name still gets the suffix.
  struct stat st {};
  if (::stat(given.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    return given;
  return given + kSuffix;
}

ParseOutcome parse_options(int argc, const char* const* argv, RunSettings& s,
                           std::string& error, std::vector<std::string>& warnings) {
  s.graphFilename = "graph.graph";
  s.layoutFilename.clear();
  warnings.clear();
  int i = 0;
  while (i < argc) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-help") == 0 ||
        std::strcmp(arg, "--help") == 0)
      return ParseOutcome::kHelp;
    if (std::strcmp(arg, "-version") == 0 || std::strcmp(arg, "--version") == 0)
      return ParseOutcome::kVersion;
    const OptionSpec* option = find_option(arg);
    if (option == nullptr) {
      if (i > 0) warnings.push_back(ignored_argument(arg));  // argv[0] is the program
      ++i;  // not an option: skipped
      continue;
    }
    if (std::string glued = glued_text(*option, arg); !glued.empty()) warnings.push_back(glued);
    if (option->apply == nullptr) {  // a flag
      s.*(option->flag) = true;
      ++i;
      continue;
    }
    if (i + 1 >= argc) {
      error = std::string("option ") + arg + " needs a value after it";
      return ParseOutcome::kError;
    }
    std::string warning;
    if (!option->apply(*option, argv[i + 1], s, error, warning)) return ParseOutcome::kError;
    if (!warning.empty()) warnings.push_back(warning);
    i += 2;
  }
  if (!check_settings(s, error)) return ParseOutcome::kError;
  s.layoutFilename = derive_layout_filename(s.graphFilename, s.layoutFilename);
  s.input_stdin = s.graphFilename == kStandardInputPath;
  if (s.input_stdin) s.graphFilename = kStandardInputName;
  s.output_stdout = s.layoutFilename == "-";
  return ParseOutcome::kRun;
}
