// The run report: one list of rows, written on the console, as the "%"
// header of the output file and into the viewer page's legend.
#include <cstdio>

#include "common/common.h"
#include "driver/driver.h"

namespace {

/// "%f" of any double: 1e300 takes 308 characters.
std::string fixed(double value) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", value);
  return buf;
}

std::string whole(long long value) { return std::to_string(value); }

std::string seconds(uint32_t ms) { return fixed(ms_to_seconds(ms)); }

}  // namespace

std::vector<ReportRow> report_rows(const RunSettings& s, const RunTimes& t) {
  const MethodSpec* method = find_method(s.method);
  const std::string algorithm = method != nullptr ? method->algorithmname : s.method;
  return {
      {"graphFilename", "\t\t", "\t\t", s.graphFilename, false},
      {"algorithmname", "\t\t", "\t\t", algorithm, false},
      {"total computation time", "\t", "\t", seconds(t.total), true},
      {"coarsening_time", "\t", "\t\t", seconds(t.coarsening), true},
      {"layout time", "\t\t", "\t\t\t", seconds(t.total - t.coarsening), true},
      {"barycentralizing_time", "\t", "\t", seconds(t.barycentralizing), true},
      {"frlayout_time", "\t\t", "\t\t", seconds(t.total - t.coarsening - t.barycentralizing),
       true},
      {"refine fr iteration", "\t", "\t\t", whole(s.friterations), false},
      {"bary-centralizing iterations", "\t", "\t", whole(s.bciterations), false},
      {"well separated ratio", "\t\t", "\t\t", fixed(s.wellseparatedratio), false},
      {"frlayout epsilon", "\t\t", "\t\t", fixed(s.frepsilon), false},
      {"random seed", "\t\t", "\t\t", whole(s.seed),
       false},
  };
}

void print_console_report(std::FILE* to, const RunSettings& s, const RunTimes& t) {
  std::fprintf(to, "\n");
  for (const ReportRow& row : report_rows(s, t))
    std::fprintf(to, "%s:%s %s%s \n", row.label, row.console_tabs, row.value.c_str(),
                 row.seconds ? "sec" : "");
}

void write_report_header(OutFile& out, const RunSettings& s, const RunTimes& t) {
  for (const ReportRow& row : report_rows(s, t))
    out_printf(out, "%% %s:%s %s%s \n", row.label, row.header_tabs, row.value.c_str(),
               row.seconds ? "sec" : "");
}
