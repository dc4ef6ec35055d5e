// Which folder may include which: core code stays free of Qt, and no library
// reaches into a layer above it. The rules are rows of a table; a break names
// the file, the include and the rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Prefixes = std::vector<std::string_view>;

// Folders at the top of the tree whose headers are ours.
const Prefixes kOurFolders = {"platform/", "protocol/",  "desktop/", "remote/", "sim/",
                              "tools/",    "installer/", "tests/",   "bench/",  "fuzz/"};

// Includes that bring in Qt: its own headers and our folders built on it.
const Prefixes kQtFolders = {"platform/qt/", "desktop/pages/", "desktop/shell/", "desktop/widgets/",
                             "remote/ui/"};

struct Rule {
  std::string_view name;
  Prefixes files;      // the files the rule is about, by path prefix
  Prefixes except;     // files under `files` it leaves alone
  bool noQt = false;   // no Qt header and none of kQtFolders
  Prefixes forbidden;  // our headers these files must not include
  Prefixes allowed;    // the only ones of ours they may include (empty: no such limit)
};

const std::vector<Rule> kRules = {
    {"core code uses the standard library and POSIX only, no Qt",
     {"platform/", "protocol/", "desktop/unitlink/", "desktop/firmware/", "remote/link/", "sim/",
      "installer/", "desktop/backup/"},
     {"platform/qt/", "installer/ui/"},
     true,
     {},
     {}},
    {"protocol/ holds codecs only: it includes nothing of ours but itself, platform/Bytes.h and "
     "platform/LocalTime.h",
     {"protocol/"},
     {},
     false,
     {},
     {"protocol/", "platform/Bytes.h", "platform/LocalTime.h"}},
    {"platform/ is the bottom layer: nothing of desktop/, remote/, sim/, tools/, protocol/",
     {"platform/"},
     {},
     false,
     {"desktop/", "remote/", "sim/", "tools/", "protocol/", "installer/"},
     {}},
    {"sim/ is a peer of the programs: nothing of desktop/ or remote/",
     {"sim/"},
     {},
     false,
     {"desktop/", "remote/"},
     {}},
    {"desktop/ reaches the remote only through protocol/ and platform/",
     {"desktop/"},
     {},
     false,
     {"remote/"},
     {}},
    {"remote/ reaches the desktop only through protocol/ and platform/",
     {"remote/"},
     {},
     false,
     {"desktop/"},
     {}},
};

// ---- KNOWN EXCEPTIONS ----------------------------------------------------
// Includes the rules forbid that the tree still has while the simulator moves
// onto protocol/ (the firmware image stamp with it). Delete each row once nothing needs it: the
// test fails on a row that no longer matches anything, so none outlives its reason.
struct KnownException {
  std::string_view files;    // path prefix of the including files
  std::string_view include;  // prefix of the include
};
const std::vector<KnownException> kKnownExceptions = {};
// --------------------------------------------------------------------------

bool StartsWithAny(std::string_view text, const Prefixes& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view p) { return text.starts_with(p); });
}

struct Include {
  std::string file;  // relative to the tree
  int line = 0;
  std::string header;
  bool angled = false;
};

struct Break {
  Include include;
  std::string_view rule;
  std::string Describe() const {
    return include.file + ":" + std::to_string(include.line) + " includes " +
           (include.angled ? "<" + include.header + ">" : "\"" + include.header + "\"") +
           ", against the rule: " + std::string(rule);
  }
};

std::vector<Include> IncludesIn(const fs::path& root) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
  std::vector<Include> all;
  for (std::string_view top : kOurFolders) {
    const fs::path folder = root / top;
    if (!fs::is_directory(folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      const auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(entry.path());
      std::string text;
      int number = 0;
      while (std::getline(in, text)) {
        ++number;
        // Only a line that says "include" can be one; the regex is slow on the rest.
        std::smatch m;
        if (text.find("include") == std::string::npos || !std::regex_search(text, m, kInclude)) {
          continue;
        }
        all.push_back({fs::relative(entry.path(), root).generic_string(), number, m[2].str(),
                       m[1].str() == "<"});
      }
    }
  }
  return all;
}

bool IsQt(const Include& inc) {
  if (inc.angled) {
    return inc.header.size() > 1 && inc.header[0] == 'Q' &&
           std::isalpha(static_cast<unsigned char>(inc.header[1])) != 0;
  }
  return StartsWithAny(inc.header, kQtFolders);
}

std::optional<std::string_view> BrokenRule(const Include& inc) {
  const bool ours = !inc.angled && StartsWithAny(inc.header, kOurFolders);
  for (const Rule& rule : kRules) {
    if (!StartsWithAny(inc.file, rule.files) || StartsWithAny(inc.file, rule.except)) continue;
    if (rule.noQt && IsQt(inc)) return rule.name;
    if (ours && StartsWithAny(inc.header, rule.forbidden)) return rule.name;
    if (ours && !rule.allowed.empty() && !StartsWithAny(inc.header, rule.allowed)) {
      return rule.name;
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> ExceptionFor(const Include& inc) {
  for (std::size_t i = 0; i < kKnownExceptions.size(); ++i) {
    const auto& e = kKnownExceptions[i];
    if (inc.file.starts_with(e.files) && inc.header.starts_with(e.include)) return i;
  }
  return std::nullopt;
}

// Every break in the tree at `root`; `used` marks the known exceptions that excused one.
std::vector<Break> Breaks(const fs::path& root, std::vector<bool>* used = nullptr) {
  std::vector<Break> breaks;
  for (const Include& inc : IncludesIn(root)) {
    const auto rule = BrokenRule(inc);
    if (!rule) continue;
    if (const auto e = ExceptionFor(inc)) {
      if (used != nullptr) (*used)[*e] = true;
      continue;
    }
    breaks.push_back({inc, *rule});
  }
  return breaks;
}

TEST(LayeringTest, NoFolderIncludesALayerAboveItOrQtInCore) {
  std::vector<bool> used(kKnownExceptions.size(), false);
  const auto breaks = Breaks(MRX_SOURCE_DIR, &used);
  for (const Break& b : breaks) ADD_FAILURE() << b.Describe();
  for (std::size_t i = 0; i < used.size(); ++i) {
    EXPECT_TRUE(used[i]) << "known exception " << kKnownExceptions[i].files << " -> "
                         << kKnownExceptions[i].include
                         << " excuses nothing any more: delete it from the table";
  }
}

// The checker itself, on a small tree with one file per kind of break.
TEST(LayeringTest, EachRuleCatchesItsBreak) {
  const testing_support::TempDir temp;
  const fs::path& root = temp.path();
  struct Case {
    const char* name;
    const char* file;
    const char* line;
    const char* rule;  // a word of the rule it breaks; empty: none
  } cases[] = {
      {"Qt in core", "remote/link/A.cpp", "#include <QString>", "no Qt"},
      {"our Qt code in core", "desktop/firmware/B.cpp", "#include \"platform/qt/QtClock.h\"",
       "no Qt"},
      {"Qt where it belongs", "platform/qt/C.cpp", "#include <QWidget>", ""},
      {"protocol beyond Bytes", "protocol/unit/D.h", "#include \"platform/Clock.h\"",
       "codecs only"},
      {"protocol with Bytes", "protocol/unit/E.h", "#include \"platform/Bytes.h\"", ""},
      {"platform above itself", "platform/F.cpp", "#include \"protocol/unit/Frame.h\"",
       "bottom layer"},
      {"sim into the desktop", "sim/G.cpp", "#include \"desktop/firmware/Thread.h\"", "peer"},
      {"desktop into remote", "desktop/pages/H.cpp", "#include \"remote/ui/View.h\"",
       "desktop/ reaches"},
      {"remote into desktop", "remote/ui/I.cpp", "  #  include \"desktop/unitlink/CTiroUSB.h\"",
       "remote/ reaches"},
      {"tools take anything", "tools/mrxctl/J.cpp", "#include \"desktop/unitlink/CTiroUSB.h\"", ""},
      {"system header", "protocol/unit/K.h", "#include <cstdint>", ""},
  };
  for (const Case& c : cases) {
    fs::create_directories((root / c.file).parent_path());
    std::ofstream(root / c.file) << "// " << c.name << "\n" << c.line << "\n";
  }
  const auto breaks = Breaks(root);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = std::find_if(breaks.begin(), breaks.end(),
                                    [&](const Break& b) { return b.include.file == c.file; });
    if (std::string_view(c.rule).empty()) {
      EXPECT_EQ(found, breaks.end()) << found->Describe();
      continue;
    }
    ASSERT_NE(found, breaks.end());
    const std::string text = found->Describe();
    EXPECT_TRUE(text.starts_with(std::string(c.file) + ":2 includes ")) << text;
    EXPECT_NE(text.find(c.rule), std::string::npos) << text;
  }
}

}  // namespace
