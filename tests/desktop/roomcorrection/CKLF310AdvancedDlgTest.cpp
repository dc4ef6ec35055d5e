// The advanced dialog of the KLF310 tab with a card whose curves are held in
// memory: opening channels, store and reload, cell clamps, the Edit menu, and
// slope files written and read through real files.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/roomcorrection/CKLF310AdvancedDlg.h"
#include "desktop/widgets/CGridCtrl.h"
#include "tests/desktop/roomcorrection/InMemoryCurves.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace desktop::roomcorrection {
namespace {

namespace klf = protocol::klf;
using D = CKLF310AdvancedDlg;

constexpr const char* kNoConnection =
    "Unable to connect to KLF310. Please check cable or IP settings!";

// A curve with a different value in every field of every bin.
std::vector<klf::CurveBin> Pattern(int seed) {
  std::vector<klf::CurveBin> bins(klf::CurveBin::kBinCount);
  for (int k = 0; k < klf::CurveBin::kBinCount; ++k) {
    auto& b = bins[static_cast<std::size_t>(k)];
    b.amplitude = static_cast<std::int8_t>((k + seed) % 241 - 120);
    b.phase = static_cast<std::int16_t>((k * 7 + seed) % 4001 - 2000);
    for (int r = 0; r < 4; ++r) {
      b.roomLevel[static_cast<std::size_t>(r)] =
          static_cast<std::uint16_t>((k * 3 + r + seed) % 1021);
    }
  }
  return bins;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class AdvancedDlgTest : public ::testing::Test {
 protected:
  AdvancedDlgTest() {
    // Bin 1 of channel 3: each field at a value whose text is typed out below.
    auto& bin = card_.curves[3][1];
    bin.amplitude = -35;
    bin.phase = -100;
    bin.roomLevel = {0, 900, 1020, 1};
  }

  std::string Cell(int row, int column) { return dlg_.Grid().Text(row, column).toStdString(); }
  // What the grid's editor hands over when the user ends an edit.
  void Edit(int row, int column, const char* text) {
    auto* model = dlg_.Grid().model();
    ASSERT_TRUE(model->setData(model->index(row, column), QString::fromLatin1(text)));
  }
  QAction* Action(const char* text) {
    for (QAction* a : dlg_.findChildren<QAction*>()) {
      if (a->text() == QLatin1String(text)) return a;
    }
    ADD_FAILURE() << "no menu item " << text;
    return nullptr;
  }
  std::filesystem::path File(const char* name) { return dir_.path() / name; }
  QString Path(const char* name) { return QString::fromStdString(File(name).string()); }

  QApplication& app_ = testing_support::TestApplication();
  testing_support::TempDir dir_;
  pages::ScriptedPrompt prompt_;
  InMemoryCurves card_;
  D dlg_{prompt_, card_.transport};
};

TEST_F(AdvancedDlgTest, OpeningAChannelShowsItsCurveInTheTablesFormats) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  EXPECT_EQ(dlg_.ShownChannel(), 3);
  EXPECT_EQ(dlg_.windowTitle().toStdString(), "Front");
  EXPECT_TRUE(dlg_.isVisible());
  const std::vector<std::string> row1 = {"   23", " -3.5", " -100.0", "-90.0",
                                         "  0.0", " 12.0", "-89.9"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(Cell(1, c), row1[static_cast<std::size_t>(c)]) << c;
  EXPECT_EQ(Cell(0, D::kHz), "    0");
  EXPECT_EQ(Cell(2047, D::kHz), "47977");
  const QStringList headings = {"Hz",          "Amp. in dB",  "Phase in °", "Room1 in dB",
                                "Room2 in dB", "Room3 in dB", "Room4 in dB"};
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(dlg_.Grid().model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
  }
  EXPECT_EQ(dlg_.Grid().RowCount(), 2048);
}

TEST_F(AdvancedDlgTest, AdvancedTwiceKeepsEditsAndDoesNotReadTheCardAgain) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  Edit(100, D::kAmplitude, "5");
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  EXPECT_EQ(card_.reads, 1);
  EXPECT_EQ(Cell(100, D::kAmplitude), "  5.0");
}

// Another channel always comes fresh from the card; what was not stored of
// the channel left behind is read again from the card when it comes back.
TEST_F(AdvancedDlgTest, AnotherChannelIsReadFromTheCard) {
  card_.curves[4] = Pattern(4);
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  Edit(7, D::kRoom2, "-6");
  ASSERT_TRUE(dlg_.OpenChannel(4, QStringLiteral("Rear")));
  EXPECT_EQ(dlg_.RowAt(7), klf::SlopeFile::RowOf(card_.curves[4][7]));
  EXPECT_EQ(dlg_.windowTitle().toStdString(), "Rear");
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  EXPECT_EQ(Cell(7, D::kRoom2), "-90.0");
  EXPECT_EQ(card_.reads, 3);
  EXPECT_EQ(card_.writes, 0) << "nothing goes to the card before Store";
}

TEST_F(AdvancedDlgTest, AFailedReadTellsTheUserAndChangesNothing) {
  card_.curves[4] = Pattern(4);
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  card_.failing = true;
  EXPECT_FALSE(dlg_.OpenChannel(4, QStringLiteral("Rear")));
  ASSERT_EQ(prompt_.Asked(), std::vector<std::string>{kNoConnection});
  EXPECT_EQ(dlg_.ShownChannel(), 3);
  EXPECT_EQ(Cell(1, D::kAmplitude), " -3.5");
  // No half-read curve is kept that a later store would send.
  for (const klf::CurveBin& b : dlg_.Buffer(4)) ASSERT_EQ(b, klf::CurveBin{});
  card_.failing = false;
  ASSERT_TRUE(dlg_.OpenChannel(4, QStringLiteral("Rear")));
  EXPECT_EQ(std::vector<klf::CurveBin>(dlg_.Buffer(4).begin(), dlg_.Buffer(4).end()),
            card_.curves[4]);
}

TEST_F(AdvancedDlgTest, StoreSendsTheGridToTheShownChannel) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  Edit(10, D::kAmplitude, "-3.5");
  Edit(10, D::kRoom4, "-89.9");
  const auto before = card_.curves[3];
  ASSERT_TRUE(dlg_.Store());
  EXPECT_EQ(card_.writes, 1);
  EXPECT_EQ(static_cast<std::uint8_t>(card_.curves[3][10].amplitude), 0xDD);
  EXPECT_EQ(card_.curves[3][10].roomLevel[3], 1);
  for (std::size_t k = 0; k < before.size(); ++k) {
    if (k != 10) {
      ASSERT_EQ(card_.curves[3][k], before[k]) << "bin " << k;
    }
  }
  EXPECT_TRUE(prompt_.Asked().empty());
}

TEST_F(AdvancedDlgTest, StoreAndReloadFailuresAreToldAndKeepTheGrid) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  Edit(10, D::kPhase, "45");
  card_.failing = true;
  EXPECT_FALSE(dlg_.Store());
  EXPECT_FALSE(dlg_.Reload());
  EXPECT_EQ(prompt_.Asked(), (std::vector<std::string>{kNoConnection, kNoConnection}));
  EXPECT_EQ(Cell(10, D::kPhase), "   45.0");
  EXPECT_EQ(Cell(1, D::kAmplitude), " -3.5");
}

TEST_F(AdvancedDlgTest, ReloadReplacesEditsWithTheCardsCurve) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  Edit(1, D::kAmplitude, "9");
  ASSERT_TRUE(dlg_.Reload());
  EXPECT_EQ(Cell(1, D::kAmplitude), " -3.5");
  EXPECT_EQ(card_.reads, 2);
}

TEST_F(AdvancedDlgTest, WithoutAShownChannelStoreAndReloadDoNothing) {
  EXPECT_FALSE(dlg_.Store());
  EXPECT_FALSE(dlg_.Reload());
  EXPECT_EQ(card_.reads + card_.writes, 0);
  EXPECT_TRUE(prompt_.Asked().empty());
}

TEST_F(AdvancedDlgTest, AnEditedCellIsClampedAndShownInItsColumnsFormat) {
  struct Case {
    const char* name;
    int column;
    const char* typed;
    const char* shown;
  } cases[] = {
      {"amplitude above", D::kAmplitude, "15", " 12.0"},
      {"amplitude below", D::kAmplitude, "-12.05", "-12.0"},
      {"amplitude inside", D::kAmplitude, "-0.25", " -0.2"},
      {"phase above", D::kPhase, "2500", " 2000.0"},
      {"phase below", D::kPhase, "-2000.04", "-2000.0"},
      {"room below", D::kRoom1, "-100", "-90.0"},
      {"room above", D::kRoom4, "13", " 12.0"},
      {"no number", D::kRoom2, "abc", "  0.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Edit(20, c.column, c.typed);
    EXPECT_EQ(Cell(20, c.column), c.shown);
  }
}

TEST_F(AdvancedDlgTest, TheEditMenuClearsOneColumnInEveryRow) {
  card_.curves[3] = Pattern(3);
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  const std::string room1 = Cell(5, D::kRoom1);
  struct Item {
    const char* text;
    int column;
    const char* zero;
  } items[] = {{"Clear Amplitude", D::kAmplitude, "  0.0"},
               {"Clear Phase", D::kPhase, "    0.0"},
               {"Clear Room 2", D::kRoom2, "  0.0"},
               {"Clear Room 3", D::kRoom3, "  0.0"},
               {"Clear Room 4", D::kRoom4, "  0.0"}};
  for (const Item& item : items) {
    SCOPED_TRACE(item.text);
    QAction* action = Action(item.text);
    ASSERT_NE(action, nullptr);
    action->trigger();
    for (int row : {0, 1000, 2047}) EXPECT_EQ(Cell(row, item.column), item.zero);
  }
  EXPECT_EQ(Cell(5, D::kRoom1), room1) << "Room 1 was not cleared";
  ASSERT_NE(Action("Clear Room 1"), nullptr);
  for (const char* text :
       {"Store to KLF310", "Reload from KLF310", "Import from File", "Export to File"}) {
    EXPECT_NE(Action(text), nullptr);
  }
}

TEST_F(AdvancedDlgTest, ExportProposesTheChannelsFileNameAndWritesTheSlopeFormat) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  EXPECT_EQ(dlg_.ProposedFileName().toStdString(), "0000-CH03-Front.txt");
  ASSERT_TRUE(dlg_.ExportToFile(Path("out.txt")));
  const std::string text = ReadFile(File("out.txt"));
  const std::string head =
      "[SLOPE]\r\n"
      ";Freq  Amplitude    Phase  Room 1  Room 2  Room 3  Room 4\r\n"
      "    0        0.0      0.0   -90.0   -90.0   -90.0   -90.0\r\n"
      "   23       -3.5   -100.0   -90.0     0.0    12.0   -89.9\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_TRUE(text.ends_with("47977        0.0      0.0   -90.0   -90.0   -90.0   -90.0\r\n"));
  std::size_t lines = 0;
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 2050u);
}

TEST_F(AdvancedDlgTest, FilesThatCannotBeOpenedOrCreatedAreNamedInTheMessage) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  const std::string missing = File("missing.txt").string();
  const std::string unwritable = File("no-such-folder/out.txt").string();
  EXPECT_FALSE(dlg_.ImportFromFile(QString::fromStdString(missing)));
  EXPECT_FALSE(dlg_.ExportToFile(QString::fromStdString(unwritable)));
  EXPECT_EQ(prompt_.Asked(), (std::vector<std::string>{"Can't open file " + missing + ".",
                                                       "Can't create file " + unwritable + "."}));
  EXPECT_EQ(Cell(1, D::kAmplitude), " -3.5");
}

// An export that cannot be written whole leaves the file it was to replace
// as it was, not cut short.
TEST_F(AdvancedDlgTest, AFailedExportLeavesTheOldFileWhole) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  const std::string old(8192, 'o');
  WriteFile(File("keep.txt"), old);
  {
    const testing_support::FileSizeLimit limit(4096);  // the export is some 100 KB
    EXPECT_FALSE(dlg_.ExportToFile(QString::fromStdString(File("keep.txt").string())));
  }
  EXPECT_EQ(ReadFile(File("keep.txt")), old);
  EXPECT_EQ(prompt_.Asked(),
            (std::vector<std::string>{"Can't create file " + File("keep.txt").string() + "."}));
}

TEST_F(AdvancedDlgTest, ImportFillsRowsInFileOrderThroughTheCellClamps) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  WriteFile(File("in.txt"),
            "[SLOPE]\r\n"
            ";Freq  Amplitude    Phase  Room 1  Room 2  Room 3  Room 4\r\n"
            "0  1.0  10  -10\r\n"
            "23  2.0  20  -20  -21  -22  -23\r\n"
            "[SLOPE]\r\n"
            "1000\t15.0\t2500\t-100\t0\t0\r\n");
  ASSERT_TRUE(dlg_.ImportFromFile(Path("in.txt")));
  // The second marker starts again at row 1; row 2 keeps the first pass.
  const std::vector<std::string> row1 = {" 12.0", " 2000.0", "-90.0", "  0.0", "  0.0", "  0.0"};
  const std::vector<std::string> row2 = {"  2.0", "   20.0", "-20.0", "-21.0", "-22.0", "-23.0"};
  for (int c = D::kAmplitude; c <= D::kRoom4; ++c) {
    EXPECT_EQ(Cell(0, c), row1[static_cast<std::size_t>(c - 1)]) << c;
    EXPECT_EQ(Cell(1, c), row2[static_cast<std::size_t>(c - 1)]) << c;
  }
  EXPECT_EQ(Cell(2, D::kAmplitude), "  0.0") << "rows past the file stay";
  EXPECT_TRUE(prompt_.Asked().empty());
}

TEST_F(AdvancedDlgTest, AMalformedImportChangesNothingAndNamesTheLine) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  WriteFile(File("bad.txt"),
            "[SLOPE]\r\n"
            "0  1.0  10  -10\r\n"
            "23  2.0  20  -20\r\n"
            "47  oops\r\n");
  EXPECT_FALSE(dlg_.ImportFromFile(Path("bad.txt")));
  ASSERT_EQ(prompt_.Asked().size(), 1u);
  EXPECT_NE(prompt_.Asked()[0].find("line 4"), std::string::npos) << prompt_.Asked()[0];
  EXPECT_EQ(Cell(0, D::kAmplitude), "  0.0");
  EXPECT_EQ(Cell(1, D::kAmplitude), " -3.5");
}

TEST_F(AdvancedDlgTest, AMeasurementGoesIntoTheChosenColumnOnly) {
  card_.curves[3] = Pattern(3);
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  const std::string amplitude = Cell(500, D::kAmplitude);
  const std::string room3 = Cell(500, D::kRoom3);
  WriteFile(File("m.txt"),
            "* measured at the listening seat\r\n"
            "# Hz dB\r\n"
            "100 -6\r\n"
            "1000 0\r\n"
            "10000 6\r\n");
  ASSERT_TRUE(dlg_.ImportMeasurement(Path("m.txt"), D::kRoom2));
  // Below and above the measured range the nearest end holds.
  EXPECT_EQ(Cell(0, D::kRoom2), " -6.0");
  EXPECT_EQ(Cell(2047, D::kRoom2), "  6.0");
  EXPECT_EQ(Cell(500, D::kAmplitude), amplitude);
  EXPECT_EQ(Cell(500, D::kRoom3), room3);
  EXPECT_TRUE(prompt_.Asked().empty());
}

TEST_F(AdvancedDlgTest, AMeasurementThatCannotBeUsedChangesNothing) {
  ASSERT_TRUE(dlg_.OpenChannel(3, QStringLiteral("Front")));
  WriteFile(File("nophase.txt"), "100 -6\n1000 0\n");
  WriteFile(File("broken.txt"), "100 -6\n1000 zero\n");
  EXPECT_FALSE(dlg_.ImportMeasurement(Path("nophase.txt"), D::kPhase));
  EXPECT_FALSE(dlg_.ImportMeasurement(Path("broken.txt"), D::kRoom1));
  ASSERT_EQ(prompt_.Asked().size(), 2u);
  EXPECT_NE(prompt_.Asked()[0].find("no phase"), std::string::npos) << prompt_.Asked()[0];
  EXPECT_NE(prompt_.Asked()[1].find("line 2"), std::string::npos) << prompt_.Asked()[1];
  EXPECT_EQ(Cell(1, D::kPhase), " -100.0");
  EXPECT_EQ(Cell(1, D::kRoom1), "-90.0");
  EXPECT_EQ(Cell(0, D::kRoom1), "-90.0");
}

TEST_F(AdvancedDlgTest, ExportImportStoreReloadGivesTheSameRows) {
  card_.curves[5] = Pattern(5);
  ASSERT_TRUE(dlg_.OpenChannel(5, QStringLiteral("Centre")));
  std::vector<std::vector<std::string>> before;
  for (int r = 0; r < 2048; ++r) {
    before.emplace_back();
    for (int c = 0; c < 7; ++c) before.back().push_back(Cell(r, c));
  }
  ASSERT_TRUE(dlg_.ExportToFile(Path("centre.txt")));
  for (int c = D::kAmplitude; c <= D::kRoom4; ++c) dlg_.ClearColumn(c);
  card_.curves[5].assign(2048, klf::CurveBin{});
  ASSERT_TRUE(dlg_.ImportFromFile(Path("centre.txt")));
  ASSERT_TRUE(dlg_.Store());
  EXPECT_EQ(card_.curves[5], Pattern(5));
  for (int c = D::kAmplitude; c <= D::kRoom4; ++c) dlg_.ClearColumn(c);
  ASSERT_TRUE(dlg_.Reload());
  for (int r = 0; r < 2048; ++r) {
    for (int c = 0; c < 7; ++c) {
      ASSERT_EQ(Cell(r, c), before[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
          << "row " << r << " column " << c;
    }
  }
}

}  // namespace
}  // namespace desktop::roomcorrection
