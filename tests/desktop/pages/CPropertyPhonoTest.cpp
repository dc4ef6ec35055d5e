// The phono equaliser tabs against the in-process simulated unit: factory
// curves in free slots, the gain and time-constant bars with their texts and
// the commands they send (pinned as the bytes that reach the device), curve
// selection and renaming, the selected-curve byte, the high-pass switch, the
// graph's marker and its exported response.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <fstream>
#include <vector>

#include "desktop/pages/CPropertyBUZ310.h"
#include "desktop/pages/CPropertyQVI520.h"
#include "desktop/pages/PageClasses.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "tests/desktop/pages/PageFixture.h"
#include "tests/support/TapDeviceIo.h"
#include "tests/support/TempDir.h"

namespace desktop::pages {
namespace {

using Bytes = std::vector<std::uint8_t>;
using P = CPropertyPhono;

// The demo unit's phono cards sit at their type codes.
constexpr std::uint8_t kQvi = 1, kBuz = 8;
// Image offsets of the card's layout, typed out: card name, gain, selected
// curve, slots of 26 bytes from 26 (word, t1-t4, name at 10), flags at 234.
constexpr std::size_t kGainAt = 24, kSelectedAt = 25, kFlagsAt = 234;
constexpr std::size_t SlotAt(std::size_t k) {
  return 26 + 26 * k;
}

using Tap = testing_support::TapDeviceIo;

// The QVI520 page with the export dialog answered by the test.
class ExportingPage final : public CPropertyQVI520 {
 public:
  using CPropertyQVI520::CPropertyQVI520;
  std::optional<std::filesystem::path> answer;

 protected:
  std::optional<std::filesystem::path> AskExportPath() override { return answer; }
};

class CPropertyPhonoTest : public PageFixture {
 protected:
  CPropertyPhonoTest() { Tapped(); }
  void Tapped() {
    tap_ = std::make_unique<Tap>(*io_);
    unitlink::theTiroUSB.SetDeviceIo(tap_.get());
  }
  template <typename Page = CPropertyQVI520>
  Page& Open(std::uint8_t address = kQvi) {
    auto page = std::make_unique<Page>(site_);
    Page& ref = *page;
    Show(ref, address);
    page_ = std::move(page);
    tap_->requests.clear();
    return ref;
  }
  // Writes a whole image into the unit's working and stored settings.
  void StoreImage(std::uint8_t address, const std::vector<std::uint8_t>& image) {
    ASSERT_TRUE(unitlink::WriteSettingsImage(unitlink::theTiroUSB, address, image.size(), image));
  }
  std::vector<std::uint8_t> UnitImage(std::uint8_t address) {
    const auto image = unit_->StoredSettings(address);
    return {image.begin(), image.end()};
  }
  static void PutSlot(std::vector<std::uint8_t>& image, std::size_t k, std::uint16_t word,
                      const char* name) {
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(SlotAt(k)), 26, 0);
    image[SlotAt(k)] = static_cast<std::uint8_t>(word);
    image[SlotAt(k) + 1] = static_cast<std::uint8_t>(word >> 8);
    image[SlotAt(k) + 2] = 0x11;  // t1 = 0x1111 marks a card's own curve
    image[SlotAt(k) + 3] = 0x11;
    std::memcpy(&image[SlotAt(k) + 10], name, std::strlen(name));
  }
  std::vector<std::string> ComboNames() {
    std::vector<std::string> names;
    auto* combo = page_->Get<QComboBox>(P::kCurve);
    for (int i = 0; i < combo->count(); ++i) names.push_back(combo->itemText(i).toStdString());
    return names;
  }
  QScrollBar* Bar(int id) { return page_->Get<QScrollBar>(id); }
  Bytes Image(std::size_t at, std::size_t n) {
    auto image = page_->Image();
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  Bytes Stored(std::uint8_t address, std::size_t at, std::size_t n) {
    const auto image = unit_->StoredSettings(address);
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                 image.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  // The data bytes of the last command-160 frame.
  Bytes LastCurveRecord() {
    const auto frames = tap_->Sent(0xA0);
    if (frames.empty()) return {};
    const Bytes& f = frames.back();
    EXPECT_EQ(f[1], 10) << "data length";
    EXPECT_EQ(f[2], page_->Address());
    return Bytes(f.begin() + 6, f.begin() + 16);
  }

  std::unique_ptr<Tap> tap_;
  std::unique_ptr<P> page_;
};

TEST_F(CPropertyPhonoTest, FactoryCurvesGoIntoFreeSlotsInTheirOrder) {
  const std::vector<std::string> factory = {"RIAA (IEC)",      "RIAA", "TELDEC", "AES",
                                            "Columbia LP M33", "NAB",  "NARTB",  "London M33&M45"};
  struct Row {
    const char* name;
    std::vector<int> inUse;  // slots the card uses, named "Card <k>"
    std::vector<std::string> shown;
  } rows[] = {
      {"all eight in use",
       {0, 1, 2, 3, 4, 5, 6, 7},
       {"Card 0", "Card 1", "Card 2", "Card 3", "Card 4", "Card 5", "Card 6", "Card 7"}},
      {"slots 0 and 3 in use: the last two are dropped",
       {0, 3},
       {"Card 0", "RIAA (IEC)", "RIAA", "Card 3", "TELDEC", "AES", "Columbia LP M33", "NAB"}},
      {"a name without the in-use bit is a free slot", {}, factory},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    auto image = UnitImage(kQvi);
    for (std::size_t k = 0; k < 8; ++k) PutSlot(image, k, 0x0000, "Stale");
    for (int k : row.inUse) {
      const std::string name = "Card " + std::to_string(k);
      PutSlot(image, static_cast<std::size_t>(k), static_cast<std::uint16_t>(0x0001 | (k << 1)),
              name.c_str());
    }
    StoreImage(kQvi, image);
    Open();
    EXPECT_EQ(ComboNames(), row.shown);
    for (std::size_t k = 0; k < 8; ++k) {
      SCOPED_TRACE("slot " + std::to_string(k));
      const bool own = row.shown[k].starts_with("Card");
      // A card's slot keeps its word and times; a factory curve is curve 0, in use.
      const std::uint16_t word = own ? static_cast<std::uint16_t>(0x0001 | (k << 1)) : 0x0001;
      EXPECT_EQ(Image(SlotAt(k), 2), (Bytes{static_cast<std::uint8_t>(word), 0x00}));
      if (own) {
        EXPECT_EQ(Image(SlotAt(k) + 2, 2), (Bytes{0x11, 0x11}));
      }
    }
  }
  // A placed curve carries its time constants: "RIAA (IEC)" in slot 0 above.
  EXPECT_EQ(Image(SlotAt(0) + 2, 8), (Bytes{0x6C, 0x0C, 0x3E, 0x01, 0x4B, 0x00, 0x0E, 0x1F}));
}

TEST_F(CPropertyPhonoTest, GainBarShowsItsTextAndSendsEachPosition) {
  struct Row {
    const char* name;
    int moveTo;
    std::uint8_t position;
    const char* text;
  } rows[] = {
      {"the top", 120, 120, "12.0 dB"},
      {"one blank before a single digit", 5, 5, " 0.5 dB"},
      {"zero", 0, 0, " 0.0 dB"},
      {"past the top stops at 120", 129, 120, "12.0 dB"},
  };
  auto& page = Open();
  EXPECT_EQ(Text(page, P::kGainText), "10.0 dB") << "the card's 100";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bar(P::kGain)->setValue(0 == row.moveTo ? 1 : 0);  // a move, whatever came before
    tap_->requests.clear();
    Bar(P::kGain)->setValue(row.moveTo);
    EXPECT_EQ(Text(page, P::kGainText), row.text);
    EXPECT_EQ(Image(kGainAt, 1), Bytes{row.position});
    const auto frames = tap_->Sent(0x9F);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ((Bytes{frames[0][2], frames[0][4]}), (Bytes{kQvi, row.position})) << "module, arg2";
    EXPECT_EQ(unit_->WorkingSettings(kQvi)[kGainAt], row.position) << "the card plays it";
  }
  EXPECT_TRUE(page.IsDirty());
  EXPECT_EQ(Bar(P::kGain)->pageStep(), 10);
  EXPECT_EQ(Bar(P::kTime[0])->maximum(), 16383);
  EXPECT_EQ(Bar(P::kTime[0])->pageStep(), 50);
}

TEST_F(CPropertyPhonoTest, TimeConstantMovesSendTheCurveWithoutTheSelectionBit) {
  struct Row {
    const char* name;
    int bar;  // 0-3: t1-t4
    int position;
    Bytes record;  // command 160's data after the move
    const char* text;
    std::uint16_t computed;  // what the graph computes with
  } rows[] = {
      {"t3 to 50",
       2,
       50,
       {0x00, 0x00, 0x6C, 0x0C, 0x3E, 0x01, 0x32, 0x00, 0x0E, 0x1F},
       "50usec/3183.1Hz",
       50},
      {"t1 off",
       0,
       0,
       {0x00, 0x00, 0x00, 0x00, 0x3E, 0x01, 0x32, 0x00, 0x0E, 0x1F},
       "disabled",
       16383},
      {"t4 at the top",
       3,
       16383,
       {0x00, 0x00, 0x00, 0x00, 0x3E, 0x01, 0x32, 0x00, 0xFF, 0x3F},
       "16383usec/9.7Hz",
       16383},
  };
  auto& page = Open();
  EXPECT_EQ(Text(page, P::kTimeText[0]), "3180usec/50.0Hz");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bar(P::kTime[row.bar])->setValue(row.position);
    EXPECT_EQ(LastCurveRecord(), row.record);
    EXPECT_EQ(Text(page, P::kTimeText[row.bar]), row.text);
    EXPECT_EQ(page.Design().TimeConstants()[static_cast<std::size_t>(row.bar)], row.computed);
    EXPECT_EQ(page.WorkingCurve().t[static_cast<std::size_t>(row.bar)], row.position);
  }
  // The response follows: with t1 and t4 far down, 20 Hz is lifted.
  EXPECT_GT(page.Design().Response()[0], 20.0);
}

TEST_F(CPropertyPhonoTest, SelectingACurveSendsItAndWritingKeepsTheSelectionByteAsRead) {
  auto& page = Open();
  Bar(P::kTime[0])->setValue(1000);  // an edit of slot 0 before leaving it
  Choose(page, P::kCurve, "TELDEC");
  EXPECT_EQ(page.SelectedSlot(), 2);
  // Curve number 2 and bit 8, then t1-t4 of slot 2: 3180, 318, 50, 0.
  EXPECT_EQ(LastCurveRecord(), (Bytes{0x04, 0x01, 0x6C, 0x0C, 0x3E, 0x01, 0x32, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Text(page, P::kTimeText[2]), "50usec/3183.1Hz");
  EXPECT_EQ(unit_->WorkingSettings(kQvi)[kSelectedAt], 2) << "the card switched";

  Click(page, common::kWrite);
  EXPECT_EQ(Stored(kQvi, kSelectedAt, 1), Bytes{0}) << "the byte as it was read";
  EXPECT_EQ(Stored(kQvi, SlotAt(0) + 2, 2), (Bytes{0xE8, 0x03})) << "slot 0 kept its edit";
}

TEST_F(CPropertyPhonoTest, ASelectionByteOutsideTheSlotsShowsTheFirstAndIsKept) {
  auto image = UnitImage(kQvi);
  image[kSelectedAt] = 200;
  StoreImage(kQvi, image);
  auto& page = Open();
  EXPECT_EQ(page.SelectedSlot(), 0);
  EXPECT_EQ(Text(page, P::kCurve), "RIAA (IEC)");
  Click(page, common::kWrite);
  EXPECT_EQ(Stored(kQvi, kSelectedAt, 1), Bytes{200});
}

TEST_F(CPropertyPhonoTest, RenamingACurveKeepsWhatIsTypedUpToFifteenCharacters) {
  struct Row {
    const char* name;
    const char* typed;
    Bytes stored;  // the slot's 16 name bytes afterwards
  } rows[] = {
      {"twenty characters",
       "Twenty characters!!!",
       {'T', 'w', 'e', 'n', 't', 'y', ' ', 'c', 'h', 'a', 'r', 'a', 'c', 't', 'e', 0}},
      // Nothing completes it to "RIAA (IEC)" while it is typed.
      {"the start of another curve's name",
       "RIAA",
       {'R', 'I', 'A', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Power(sim::DefaultScenario());
    Tapped();
    auto& page = Open();
    Choose(page, P::kCurve, "NAB");
    QLineEdit* edit = page.Get<QComboBox>(P::kCurve)->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(row.typed));
    QTest::keyClick(edit, Qt::Key_Return);  // as a user ends an edit
    EXPECT_EQ(page.SelectedSlot(), 5) << "still the renamed curve";
    EXPECT_TRUE(page.IsDirty());
    const std::string kept(row.stored.begin(), std::find(row.stored.begin(), row.stored.end(), 0));
    EXPECT_EQ(ComboNames()[5], kept);
    EXPECT_EQ(page.Get<QComboBox>(P::kCurve)->count(), 8) << "renamed in place";
    Click(page, common::kWrite);
    EXPECT_EQ(Stored(kQvi, SlotAt(5) + 10, 16), row.stored);
  }
}

TEST_F(CPropertyPhonoTest, OnlyTheBuzShowsTheHighPassSwitchAndBothKeepItsBit) {
  for (std::uint8_t address : {kQvi, kBuz}) {
    SCOPED_TRACE(address == kBuz ? "BUZ310" : "QVI520");
    auto image = UnitImage(address);
    image[kFlagsAt] = 0x01;
    StoreImage(address, image);
    P& page = address == kBuz ? static_cast<P&>(Open<CPropertyBUZ310>(address))
                              : static_cast<P&>(Open<CPropertyQVI520>(address));
    auto* box = page.Get<QCheckBox>(P::kHighPass);
    EXPECT_EQ(box->isVisibleTo(&page), address == kBuz);
    EXPECT_TRUE(box->isChecked());
    Click(page, common::kWrite);
    EXPECT_EQ(Stored(address, kFlagsAt, 1), Bytes{0x01});
    if (address == kBuz) {
      box->click();
      EXPECT_TRUE(page.IsDirty());
      Click(page, common::kWrite);
      EXPECT_EQ(Stored(address, kFlagsAt, 1), Bytes{0x00});
    }
  }
}

TEST_F(CPropertyPhonoTest, TheMarkerFollowsTheMouseOverThePlotOnly) {
  auto& page = Open();
  QWidget* graph = page.Control(P::kGraph);
  auto move = [&](QPoint at) {
    QMouseEvent event(QEvent::MouseMove, QPointF(at), graph->mapToGlobal(QPointF(at)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(graph, &event);
  };
  const auto plot = page.Design().PlotRect();
  ASSERT_GT(plot.right - plot.left, 100) << "the graph was drawn";
  const QImage before = page.GraphImage().copy();

  const int x = (plot.left + plot.right) / 2;
  move({x, (plot.top + plot.bottom) / 2});
  const int marker = page.Design().MarkerIndex();
  ASSERT_GE(marker, 0);
  EXPECT_EQ(page.Design().ResponsePoints()[static_cast<std::size_t>(marker)].x, x);
  EXPECT_NE(page.GraphImage(), before) << "redrawn with the marker";

  move({x, plot.top - 3});
  EXPECT_EQ(page.Design().MarkerIndex(), -1) << "above the plot";
  EXPECT_EQ(page.GraphImage(), before);
}

TEST_F(CPropertyPhonoTest, TheGraphMenuExportsTheResponseAsText) {
  testing_support::TempDir dir;
  auto& page = Open<ExportingPage>();
  ASSERT_NE(page.GraphMenu(), nullptr);
  ASSERT_EQ(page.GraphMenu()->actions().size(), 1);
  QAction* exportAction = page.GraphMenu()->actions().front();
  EXPECT_EQ(exportAction->text().toStdString(), "Export response...");

  page.answer = dir.path() / "riaa.txt";
  exportAction->trigger();
  std::ifstream in(*page.answer);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2048u);
  EXPECT_EQ(lines.front(), "5.000\t7.645");
  EXPECT_EQ(lines.back().substr(0, 10), "30000.000\t");
  EXPECT_TRUE(site_.prompt.Asked().empty());

  // A folder that is not there: the user is told, and nothing is left behind.
  page.answer = dir.path() / "missing" / "riaa.txt";
  exportAction->trigger();
  ASSERT_EQ(site_.prompt.Asked().size(), 1u);
  EXPECT_NE(site_.prompt.Asked()[0].find("missing/riaa.txt"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(CPropertyPhonoTest, BothCardTypesGetThePhonoDialogUnderTheirOwnCaption) {
  const struct {
    std::uint8_t type;
    const char* runtimeClass;
    const char* caption;
  } rows[] = {{1, "CPropertyQVI520", "QVI520"}, {8, "CPropertyBUZ310", "BUZ310"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.caption);
    std::unique_ptr<CMRXPropertyPage> page(CreateCardPage(CardPageClasses(), row.type, site_));
    ASSERT_NE(page, nullptr);
    EXPECT_STREQ(page->GetRuntimeClassName(), row.runtimeClass);
    EXPECT_EQ(page->Template().id, 103);
    EXPECT_EQ(page->Caption().toStdString(), row.caption);
  }
}

}  // namespace
}  // namespace desktop::pages
