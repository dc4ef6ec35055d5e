// The remote's view through its real widgets, against a unit the test plays.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include "ViewFixture.h"
#include "protocol/remote/DiscStatusRecord.h"
#include "remote/ui/CmyBitmapButton.h"
#include "remote/ui/ViewIds.h"
#include "remote/ui/VolumeSlider.h"

namespace remote::ui {
namespace {

namespace pr = protocol::remote;

using CWavrixViewTest = ViewFixture;

void Tap(QWidget* w) {
  QTest::mouseClick(w, Qt::LeftButton);
}

TEST_F(CWavrixViewTest, TrackButtonsAndCdTextFollowTheDisc) {
  struct Row {
    const char* name;
    std::uint8_t first, last, track;
    std::uint16_t actualSeconds;
    int shownFirst;
    const char* lines;
  };
  const Row rows[] = {
      {"track 25 shows 11-30", 1, 30, 25, 0, 11, "Tr25-In1   3:07\n30 Tracks, Total 52:09"},
      {"track 19 shows 1-20", 1, 30, 19, 0, 1, "Tr19-In1   3:07\n30 Tracks, Total 52:09"},
      {"track 20 moves on", 1, 30, 20, 125, 11,
       "Tr20-In1   3:07\n30 Tracks, Total 52:09, Act.  2:05"},
      {"one track", 1, 1, 1, 0, 1, "Tr 1-In1   3:07\n 1 Track, Total 52:09"},
  };
  Connect(CdStatus());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    pr::DiscStatusRecord disc;
    disc.discFlags = pr::DiscStatusRecord::kDiscPresent;
    disc.firstTrack = row.first;
    disc.lastTrack = row.last;
    disc.track = row.track;
    disc.index = 1;
    disc.minutes = 3;
    disc.seconds = 7;
    disc.totalMinutes = 52;
    disc.totalSeconds = 9;
    disc.actualSeconds = row.actualSeconds;
    Send(pr::kRecDiscStatus, disc.Encode());
    ASSERT_TRUE(Run([&] { return view->State().Disc().track == row.track; }));
    QApplication::processEvents();
    EXPECT_EQ(view->FirstTrack(), row.shownFirst);
    for (int i = 0; i < ids::kTrackButtons; ++i) {
      CmyBitmapButton* b = view->Button(ids::kFirstTrackButton + i);
      const int number = row.shownFirst + i;
      EXPECT_EQ(b->Label(), QString::number(number));
      EXPECT_EQ(b->isChecked(), number == row.track) << number;
      EXPECT_EQ(b->isEnabled(), number >= row.first && number <= row.last) << number;
      EXPECT_TRUE(b->isVisible());
    }
    EXPECT_EQ(view->CdText().toStdString(), row.lines);
  }
  // The sixth button of 11-30 plays track 16.
  pr::DiscStatusRecord disc;
  disc.discFlags = pr::DiscStatusRecord::kDiscPresent;
  disc.firstTrack = 1;
  disc.lastTrack = 30;
  disc.track = 25;
  Send(pr::kRecDiscStatus, disc.Encode());
  ASSERT_TRUE(Run([&] { return view->FirstTrack() == 11; }));
  Tap(view->Button(ids::kFirstTrackButton + 5));
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdCdPlay); }));
  EXPECT_EQ(SentWith(pr::kCmdCdPlay).front().payload, (std::vector<std::uint8_t>{16, 0}));

  // Another source hides the drive's buttons and panel.
  SendStatus(Status());
  ASSERT_TRUE(Run([&] { return !view->State().Status().SourceIsCd(); }));
  QApplication::processEvents();
  EXPECT_FALSE(view->Button(ids::kCdPlay)->isVisible());
  EXPECT_FALSE(view->Button(ids::kFirstTrackButton)->isVisible());
  EXPECT_TRUE(view->CdText().isEmpty());
}

TEST_F(CWavrixViewTest, NoDiscSaysSo) {
  Connect(CdStatus());
  Send(pr::kRecDiscStatus, pr::DiscStatusRecord{}.Encode());
  ASSERT_TRUE(Run([&] { return view->CdText() == "NO DISC"; }));
  EXPECT_FALSE(view->Button(ids::kFirstTrackButton)->isEnabled());
}

TEST_F(CWavrixViewTest, PowerButtonActsOnlyAfterBeingHeld) {
  Connect();
  CmyBitmapButton* powerButton = view->Button(ids::kPower);
  ASSERT_TRUE(powerButton->isChecked());
  QTest::mousePress(powerButton, Qt::LeftButton);
  QTest::mouseRelease(powerButton, Qt::LeftButton);
  Settle(900);
  EXPECT_TRUE(Orders().empty());
  EXPECT_TRUE(powerButton->isChecked()) << "a short tap leaves the look as it was";

  QTest::mousePress(powerButton, Qt::LeftButton);
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdPowerOff); }));
  QTest::mouseRelease(powerButton, Qt::LeftButton);
  EXPECT_EQ(Orders(), std::vector<std::uint16_t>{pr::kCmdPowerOff});
  EXPECT_FALSE(powerButton->isChecked());
}

TEST_F(CWavrixViewTest, StartKeyShortPressMutesLongPressSwitchesPower) {
  struct Row {
    const char* name;
    bool unitOn;
    bool hold;
    std::vector<std::uint16_t> orders;
  };
  const Row rows[] = {
      {"on, short press mutes", true, false, {pr::kCmdMute}},
      {"on, held switches off", true, true, {pr::kCmdPowerOff}},
      {"off, short press still switches on", false, false, {pr::kCmdPowerOn}},
  };
  Connect();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto status = Status();
    status.flags = row.unitOn ? pr::StatusRecord::kPowerOn : 0;
    status.volume = static_cast<std::int16_t>(status.volume - 10 * (&row - rows) - 10);
    SendStatus(status);
    ASSERT_TRUE(Run([&] { return view->State().Status().volume == status.volume; }));
    sent.clear();
    QTest::keyPress(view.get(), Qt::Key_Return);
    if (row.hold) {
      ASSERT_TRUE(Run([&] { return !view->StartKeyHeld(); }));
    }
    QTest::keyRelease(view.get(), Qt::Key_Return);
    Settle(900);
    EXPECT_EQ(Orders(), row.orders);
  }
}

TEST_F(CWavrixViewTest, KeysAreIgnoredWithoutALink) {
  MakeView(false, false);
  EXPECT_TRUE(view->HardwareKey(Qt::Key_Right, true));
  QTest::keyPress(view.get(), Qt::Key_Return);
  EXPECT_FALSE(view->StartKeyHeld());
  EXPECT_FALSE(view->Button(ids::kVolumeUp)->isEnabled());
  // Without a default unit the inquiry opens a second later.
  ASSERT_TRUE(Run([&] { return inquiries == 1; }));
  EXPECT_EQ(bluetooth.AttemptCount(), 0u);
}

TEST_F(CWavrixViewTest, KeysSendTheirCommands) {
  struct Row {
    const char* name;
    Qt::Key key;
    std::uint16_t order;
  };
  const Row rows[] = {
      {"right: volume up", Qt::Key_Right, pr::kCmdVolume},
      {"up: the unit's up key", Qt::Key_Up, pr::kCmdKeyUp},
      {"down: the unit's down key", Qt::Key_Down, pr::kCmdKeyDown},
      {"F1: previous", Qt::Key_F1, pr::kCmdCdPrevious},
      {"F2: stop", Qt::Key_F2, pr::kCmdCdStop},
      {"F3: play", Qt::Key_F3, pr::kCmdCdPlay},
      {"F4: next", Qt::Key_F4, pr::kCmdCdNext},
  };
  Connect();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sent.clear();
    QTest::keyClick(view.get(), row.key);
    ASSERT_TRUE(Run([&] { return !Orders().empty(); }));
    EXPECT_EQ(Orders(), std::vector<std::uint16_t>{row.order});
  }
  EXPECT_EQ(SentWith(pr::kCmdVolume).size(), 0u);
}

TEST_F(CWavrixViewTest, VolumeButtonsStepAndRepeatWhileHeld) {
  Connect();
  Tap(view->Button(ids::kVolumeUp));
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdVolume); }));
  EXPECT_EQ(SentWith(pr::kCmdVolume).back().payload,
            (std::vector<std::uint8_t>{0xDE, 0xFE}));  // -290
  EXPECT_EQ(view->Slider()->value(), -290);
  EXPECT_EQ(view->State().VolumeText(), "-29.0dB");

  sent.clear();
  CmyBitmapButton* down = view->Button(ids::kVolumeDown);
  QTest::mousePress(down, Qt::LeftButton);
  ASSERT_TRUE(Run([&] { return down->Repetitions() >= 3; }));
  QTest::mouseRelease(down, Qt::LeftButton);
  const auto volumes = SentWith(pr::kCmdVolume);
  ASSERT_GE(volumes.size(), 4u);
  int expected = -290;
  for (const auto& f : volumes) {
    expected -= 10;
    EXPECT_EQ(static_cast<std::int16_t>(f.payload[0] | f.payload[1] << 8), expected);
  }
  const std::size_t count = volumes.size();
  Settle(400);
  EXPECT_EQ(SentWith(pr::kCmdVolume).size(), count) << "released: no more steps";
}

TEST_F(CWavrixViewTest, SourceButtonsSendOnlyWhatIsAssigned) {
  Connect();
  EXPECT_EQ(view->Button(ids::kFirstSourceButton)->Label(), "CD");
  EXPECT_EQ(view->Button(ids::kFirstSourceButton + 1)->Label(), "Phono");
  EXPECT_TRUE(view->Button(ids::kFirstSourceButton + 1)->isChecked());
  EXPECT_EQ(view->Button(ids::kFirstSourceButton + 3)->Label(), "");

  Tap(view->Button(ids::kFirstSourceButton + 3));  // assignment 0xFF
  Settle(300);
  EXPECT_TRUE(Orders().empty());
  EXPECT_TRUE(view->Button(ids::kFirstSourceButton + 3)->isChecked());
  EXPECT_FALSE(view->Button(ids::kFirstSourceButton + 1)->isChecked());

  Tap(view->Button(ids::kFirstSourceButton + 2));
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdSource); }));
  EXPECT_EQ(SentWith(pr::kCmdSource).front().payload, (std::vector<std::uint8_t>{1, 1}));
}

TEST_F(CWavrixViewTest, SourceMenuAssignsAButton) {
  Connect();
  QMenu menu;
  view->FillSourceMenu(ids::kFirstSourceButton + 4, menu);
  QStringList names;
  for (QAction* a : menu.actions()) names << a->text();
  EXPECT_EQ(names, (QStringList{"CD", "Phono", "Tape"}));
  menu.actions()[2]->trigger();
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdAssignButton); }));
  EXPECT_EQ(SentWith(pr::kCmdAssignButton).front().payload, (std::vector<std::uint8_t>{4, 1, 1}));
  EXPECT_EQ(view->Button(ids::kFirstSourceButton + 4)->Label(), "T");
}

// Chooses `item` in every source menu the view opens while it lives, and
// counts the menus.
struct SourceMenuChooser {
  explicit SourceMenuChooser(QString item) : item_(std::move(item)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      ++opened;
      for (QAction* a : menu->actions()) {
        if (a->text() == item_) a->trigger();
      }
      menu->close();
    });
    timer_.start();
  }
  int opened = 0;

 private:
  QString item_;
  QTimer timer_;
};

TEST_F(CWavrixViewTest, SourceButtonsTellATapFromATapAndHold) {
  Connect();
  SourceMenuChooser chooser("Tape");
  CmyBitmapButton* unassigned = view->Button(ids::kFirstSourceButton + 4);
  CmyBitmapButton* tape = view->Button(ids::kFirstSourceButton + 2);

  // Held: the assignment menu, and neither a source change nor a checked look.
  QTest::mousePress(unassigned, Qt::LeftButton);
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdAssignButton); }));
  QTest::mouseRelease(unassigned, Qt::LeftButton);
  EXPECT_EQ(chooser.opened, 1);
  EXPECT_EQ(SentWith(pr::kCmdAssignButton).front().payload, (std::vector<std::uint8_t>{4, 1, 1}));
  EXPECT_FALSE(Has(pr::kCmdSource));
  EXPECT_FALSE(unassigned->isChecked());
  EXPECT_EQ(unassigned->Label(), "T");

  // Let go before the hold time: a tap, sent when let go, and no menu.
  sent.clear();
  QTest::mousePress(tape, Qt::LeftButton);
  EXPECT_FALSE(Has(pr::kCmdSource)) << "a press alone is not yet a tap";
  QTest::mouseRelease(tape, Qt::LeftButton);
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdSource); }));
  EXPECT_EQ(SentWith(pr::kCmdSource).front().payload, (std::vector<std::uint8_t>{1, 1}));
  EXPECT_TRUE(tape->isChecked());
  Settle(ids::kTapAndHoldMs + 100);
  EXPECT_EQ(chooser.opened, 1);

  // The context gesture (a right click) opens the menu at once, and the press
  // before it is the button's: the view's own menu stays shut.
  QTest::mousePress(view->Button(ids::kFirstSourceButton + 5), Qt::RightButton);
  EXPECT_FALSE(view->PopupMenu().isVisible());
  QTest::mouseRelease(view->Button(ids::kFirstSourceButton + 5), Qt::RightButton);
  sent.clear();
  QContextMenuEvent gesture(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
  QApplication::sendEvent(view->Button(ids::kFirstSourceButton + 5), &gesture);
  ASSERT_TRUE(Run([&] { return Has(pr::kCmdAssignButton); }));
  EXPECT_EQ(chooser.opened, 2);
  EXPECT_EQ(SentWith(pr::kCmdAssignButton).front().payload, (std::vector<std::uint8_t>{5, 1, 1}));
}

TEST_F(CWavrixViewTest, SourceNameIsDrawnAtTheLargestHeightThatFits) {
  Connect();
  EXPECT_EQ(view->MainText(), "You are listening\nPhono");
  EXPECT_EQ(view->NameHeight(), 30);
  struct Row {
    const char* name;
    QString source;
    int height;
  };
  const Row rows[] = {
      {"short name at the largest height", "CD", 30},
      {"too long for 11 stays at 11", QString(60, 'W'), 11},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CWavrixView::FitNameHeight(row.source), row.height);
  }
  // The unit switched off says so above the name.
  auto off = Status();
  off.flags = 0;
  SendStatus(off);
  ASSERT_TRUE(Run([&] { return view->MainText() == "Power Off\nPhono"; }));
}

TEST_F(CWavrixViewTest, MenusKeepServiceItemsOnlyInServiceMode) {
  for (bool service : {false, true}) {
    SCOPED_TRACE(service ? "service mode" : "normal");
    view.reset();
    MakeView(service, false);
    view->PopupMenu();
    for (int id : {ids::kMenuFixed35Volt, ids::kMenuFixedCurrent, ids::kMenuConfigBluetooth,
                   ids::kMenuFirstBits, ids::kMenuBits24}) {
      EXPECT_EQ(view->MenuAction(id) != nullptr, service) << id;
    }
    for (int id :
         {ids::kMenuGetTime, ids::kMenuSetTime, ids::kMenuNew, ids::kMenuRemoveAll, ids::kMenuExit,
          ids::kMenuPolarity, ids::kMenuFirstGroup, ids::kMenuRoomOff, ids::kMenuSetupMainUnit,
          ids::kMenuSetupOutput, ids::kMenuSetupDisplay, ids::kMenuMuteIsFade}) {
      EXPECT_NE(view->MenuAction(id), nullptr) << id;
    }
    EXPECT_EQ(view->MenuAction(ids::kMenuVersion)->text(), "V3.107, 31.12.2008");
  }
}

// Lists taller than the handheld's screen (sixteen modules, dozens of
// sources) scroll within it: every menu the view shows says so to its style.
TEST_F(CWavrixViewTest, EveryMenuScrollsWithinTheScreen) {
  MakeView(true);
  Connect();
  auto scrolls = [](QMenu& m) {
    return m.style()->styleHint(QStyle::SH_Menu_Scrollable, nullptr, &m) != 0;
  };
  QMenu& popup = view->PopupMenu();
  EXPECT_TRUE(scrolls(popup));
  const auto subMenus = popup.findChildren<QMenu*>();
  ASSERT_GE(subMenus.size(), 6) << "Wavrix, Settings, Connect, Service, Bit-Resolution, Output";
  for (QMenu* sub : subMenus) EXPECT_TRUE(scrolls(*sub)) << sub->title().toStdString();
  QMenu sources;
  view->FillSourceMenu(ids::kFirstSourceButton, sources);
  EXPECT_TRUE(scrolls(sources));
}

TEST_F(CWavrixViewTest, MenuChecksFollowTheUnitAndItemsSend) {
  MakeView(true);
  auto status = Status();
  status.flags |= pr::StatusRecord::kPolarityInverted | (2 << pr::StatusRecord::kGroupShift) |
                  (8 << pr::StatusRecord::kTruncationShift);  // 16 bits
  status.outputFlags = pr::StatusRecord::kFixedCurrent | pr::StatusRecord::kRoomModeOn |
                       (2 << pr::StatusRecord::kRoomPresetShift);
  Connect(status);
  QApplication::processEvents();
  struct Row {
    int id;
    bool checked;
  };
  const Row rows[] = {
      {ids::kMenuPolarity, true},     {ids::kMenuFirstGroup + 2, true},
      {ids::kMenuFirstGroup, false},  {ids::kMenuFirstBits + 10, true},
      {ids::kMenuBits24, false},      {ids::kMenuFixedCurrent, true},
      {ids::kMenuFixed35Volt, false}, {ids::kMenuRoom2, true},
      {ids::kMenuRoomOff, false},     {ids::kMenuRoomNeutral, false},
      {ids::kMenuFirstUnit, true},
  };
  for (const Row& row : rows)
    EXPECT_EQ(view->MenuAction(row.id)->isChecked(), row.checked) << row.id;

  struct Send {
    int id;
    std::uint16_t order;
    std::vector<std::uint8_t> payload;
  };
  const Send sends[] = {
      {ids::kMenuFirstGroup + 3, pr::kCmdGroup, {3}},
      {ids::kMenuFirstBits, pr::kCmdBitResolution, {18}},
      {ids::kMenuRoomOff, pr::kCmdRoomCorrection, {pr::kRoomCorrectionOff}},
      {ids::kMenuFixed35Volt, pr::kCmdFixedOutput, {3, 0}},
  };
  for (const Send& s : sends) {
    sent.clear();
    view->MenuAction(s.id)->trigger();
    ASSERT_TRUE(Run([&] { return Has(s.order); })) << s.id;
    EXPECT_EQ(SentWith(s.order).front().payload, s.payload) << s.id;
  }
}

TEST_F(CWavrixViewTest, SetupMenuListsModulesWithPagesAndOpensThem) {
  Connect();
  ASSERT_TRUE(Run([&] { return view->MenuAction(ids::kMenuFirstModule) != nullptr; }));
  std::vector<std::tuple<int, int, int>> opened;
  view->openSetupPage = [&](int slot, int sub, std::uint8_t type) {
    opened.emplace_back(slot, sub, type);
  };
  // Modules 0 and 1 have pages; the KLF310 (2) and type 17 (3) do not.
  EXPECT_NE(view->MenuAction(ids::kMenuFirstModule + 1), nullptr);
  EXPECT_EQ(view->MenuAction(ids::kMenuFirstModule + 2), nullptr);
  EXPECT_EQ(view->MenuAction(ids::kMenuFirstModule + 3), nullptr);
  view->MenuAction(ids::kMenuFirstModule + 1)->trigger();
  view->MenuAction(ids::kMenuSetupMainUnit)->trigger();
  view->MenuAction(ids::kMenuSetupDisplay)->trigger();
  view->MenuAction(ids::kMenuSetupOutput)->trigger();
  EXPECT_EQ(opened, (std::vector<std::tuple<int, int, int>>{
                        {1, 0, 8}, {0, 1, 0}, {14, 0, 16}, {ids::kOutputGroupsSlot, 0, 0}}));
}

TEST_F(CWavrixViewTest, RemoveAllAsksFirst) {
  MakeView(false, true);
  view->PopupMenu();
  ASSERT_NE(view->MenuAction(ids::kMenuFirstUnit), nullptr);
  confirmAnswer = false;
  view->OnMenu(ids::kMenuRemoveAll);
  EXPECT_EQ(view->Store().Count(), 1u);
  confirmAnswer = true;
  view->OnMenu(ids::kMenuRemoveAll);
  EXPECT_EQ(view->Store().Count(), 0u);
  EXPECT_EQ(view->MenuAction(ids::kMenuFirstUnit), nullptr);
}

TEST_F(CWavrixViewTest, CdPanelSlidesInAndAwayOnATap) {
  MakeView();
  view->SetCdPanelDelay(1000);
  Connect(CdStatus());
  QApplication::processEvents();
  EXPECT_EQ(view->CdPanelTop(), CWavrixView::kHeight) << "it waits before it comes";
  ASSERT_TRUE(
      Run([&] { return view->CdPanelTop() == CWavrixView::kCdPanelTop; }, std::chrono::seconds(8)));
  QWidget* panel = view->childAt(120, CWavrixView::kCdPanelTop + 20);
  ASSERT_NE(panel, nullptr);
  Tap(panel);
  ASSERT_TRUE(Run([&] { return view->CdPanelTop() == CWavrixView::kHeight; }));
}

}  // namespace
}  // namespace remote::ui
