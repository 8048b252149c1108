// Option scanning with prefix matching, value reading and output naming.
#include <gtest/gtest.h>

#include "driver/driver.h"

namespace {

struct Parsed {
  ParseOutcome outcome;
  RunSettings settings;
  std::string error;
  std::vector<std::string> warnings;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "frlayout3d");
  Parsed p;
  p.outcome = parse_options(static_cast<int>(args.size()), args.data(), p.settings, p.error,
                            p.warnings);
  return p;
}

}  // namespace

TEST(DeriveLayoutFilename, FollowsTheNamingRules) {
  struct Case {
    const char* input;
    const char* given;
    const char* expected;
  } cases[] = {
      {"graph.graph", "", "graphsfrlayout.3dlayout"},
      {"data/run1.graph", "", "data/run1sfrlayout.3dlayout"},
      {"./g", "", "sfrlayout.3dlayout"},  // the cut happens in the directory part
      {"mesh", "", "meshsfrlayout.3dlayout"},
      {"a.b.c", "", "a.bsfrlayout.3dlayout"},
      {"g.graph", "res.txt", "res.txt.3dlayout"},
      {"g.graph", "res.3dlayout", "res.3dlayout"},
      {"g.graph", "out.3dlayout.old", "out.3dlayout.old.3dlayout"},
      {"g.graph", "out.3DLAYOUT", "out.3DLAYOUT.3dlayout"},
      {"g.graph", "plain", "plain.3dlayout"},
      {"-", "", "stdin.3dlayout"},  // standard input
      {"g.graph", "-", "-"},        // standard output
      {"-", "-", "-"},
      {"g.graph", "/dev/null", "/dev/null"},  // a device keeps its name (and is refused)
      {"g.graph", "/", "/.3dlayout"},         // a folder does not
  };
  for (const Case& c : cases)
    EXPECT_EQ(derive_layout_filename(c.input, c.given), c.expected) << c.input << " " << c.given;
}

TEST(ParseOptions, PrefixMatchingAndValues) {
  Parsed p = parse({"-input", "g.graph", "-outfile", "res", "-friterations", "12abc",
                    "-bciterations", "7", "-wellseparatedratio", " 1.5e1x", "-frepsilon", "2"});
  ASSERT_EQ(p.outcome, ParseOutcome::kRun) << p.error;
  EXPECT_EQ(p.settings.graphFilename, "g.graph");
  EXPECT_EQ(p.settings.layoutFilename, "res.3dlayout");
  EXPECT_EQ(p.settings.friterations, 12);
  EXPECT_EQ(p.settings.bciterations, 7);
  EXPECT_EQ(p.settings.wellseparatedratio, 15.0);
  EXPECT_EQ(p.settings.frepsilon, 2.0);
  EXPECT_EQ(p.warnings,
            (std::vector<std::string>{"-friterations \"12abc\": read as 12",
                                      "-wellseparatedratio \" 1.5e1x\": read as 1.5e1"}));
}

TEST(ParseOptions, ValuesAreNeverOptionsAndLaterOccurrencesWin) {
  Parsed p = parse({"-in", "-out", "-friterations", "3", "-friterations", "abc", "stray"});
  ASSERT_EQ(p.outcome, ParseOutcome::kRun) << p.error;
  EXPECT_EQ(p.settings.graphFilename, "-out");
  EXPECT_EQ(p.settings.friterations, 0);
  Parsed q = parse({"-in=g.graph", "x.graph"});
  EXPECT_EQ(q.settings.graphFilename, "x.graph");
  Parsed r = parse({"-in", "  two words", "-out", "   "});
  EXPECT_EQ(r.settings.graphFilename, "two");
  EXPECT_EQ(r.settings.layoutFilename, "twosfrlayout.3dlayout");
  EXPECT_EQ(r.warnings, (std::vector<std::string>{"-in \"  two words\": read as \"two\"",
                                                  "-out \"   \": holds no word, ignored"}));
}

TEST(ParseOptions, RealValuesAcceptOnlyDecimalNumbers) {
  // Odd values, the seed's arithmetic and refusals are run end to end in
  // options_test; these are the decimal forms the table there lacks.
  struct Case {
    const char* value;
    double expected;
  } cases[] = {{".5", 0.5}, {"5.", 5.0}, {"1e", 1.0}, {"-2.5E-1z", -0.25}, {"0x10", 0.0}};
  for (const Case& c : cases) {
    Parsed p = parse({"-wellseparatedratio", c.value});
    ASSERT_EQ(p.outcome, ParseOutcome::kRun) << c.value << ": " << p.error;
    EXPECT_EQ(p.settings.wellseparatedratio, c.expected) << c.value;
  }
  EXPECT_EQ(parse({"-seed", "4294967296"}).settings.seed, 0u);
  EXPECT_EQ(parse({"-seed", "+7"}).settings.seed, 7u);
  EXPECT_EQ(parse({"-bciterations", "-2147483649"}).outcome, ParseOutcome::kError);
}

TEST(ParseOptions, HelpOnlyAsAnOption) {
  EXPECT_EQ(parse({"-h"}).outcome, ParseOutcome::kHelp);
  EXPECT_EQ(parse({"-x", "--help"}).outcome, ParseOutcome::kHelp);
  EXPECT_EQ(parse({"-help"}).outcome, ParseOutcome::kHelp);
  EXPECT_EQ(parse({"-in", "g", "--version"}).outcome, ParseOutcome::kVersion);
  EXPECT_EQ(parse({"-version"}).outcome, ParseOutcome::kVersion);
  EXPECT_EQ(parse({"-versions"}).outcome, ParseOutcome::kRun);
  Parsed p = parse({"-in", "-help"});
  EXPECT_EQ(p.outcome, ParseOutcome::kRun);
  EXPECT_EQ(p.settings.graphFilename, "-help");
  EXPECT_EQ(parse({"-helpme"}).outcome, ParseOutcome::kRun);
}
