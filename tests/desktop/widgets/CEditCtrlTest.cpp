// The numeric edit field's keys, wheel and focus rule, with the two kinds the
// KLF310 tab uses: frequencies in Hz and delays in ms.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include "desktop/widgets/CEditCtrl.h"
#include "tests/support/QtTestApp.h"

namespace desktop::widgets {
namespace {

struct Kind {
  const char* format;
  double maximum;
  double step;
};
constexpr Kind kHz{"%.0lf Hz", 96000, 1};
constexpr Kind kMs{"%.2lf ms", 1024, 0.01};

struct KeyCase {
  const char* name;
  Kind kind;
  const char* before;
  Qt::Key key;
  const char* after;
};

const KeyCase kKeyCases[] = {
    {"UpOnADelayStopsAtTheMaximum", kMs, "1023.50 ms", Qt::Key_Up, "1024.00 ms"},
    {"PageDownOnAStartStopsAtZero", kHz, "50 Hz", Qt::Key_PageDown, "0 Hz"},
    {"UpAddsOneUnitNotOneStep", kMs, "2.00 ms", Qt::Key_Up, "3.00 ms"},
    {"DownSubtractsOneUnit", kHz, "1000 Hz", Qt::Key_Down, "999 Hz"},
    {"PageUpAddsAHundredSteps", kMs, "1.00 ms", Qt::Key_PageUp, "2.00 ms"},
    {"PageUpOnAFrequencyStopsAtTheMaximum", kHz, "95950 Hz", Qt::Key_PageUp, "96000 Hz"},
    {"DownBelowZeroStopsAtZero", kMs, "0.50 ms", Qt::Key_Down, "0.00 ms"},
    {"TextWithoutANumberCountsAsZero", kHz, "abc", Qt::Key_Up, "1 Hz"},
};

class CEditCtrlKeys : public ::testing::TestWithParam<KeyCase> {};

void Configure(CEditCtrl& edit, const Kind& kind) {
  edit.SetRange(0, kind.maximum);
  edit.SetStep(kind.step);
  edit.SetFormat(kind.format);
}

TEST_P(CEditCtrlKeys, StepsAndStopsAtTheRange) {
  testing_support::TestApplication();
  const KeyCase& c = GetParam();
  CEditCtrl edit;
  Configure(edit, c.kind);
  edit.setText(QString::fromLatin1(c.before));
  QTest::keyClick(&edit, c.key);
  EXPECT_EQ(edit.text().toStdString(), c.after);
  // The new value is selected whole, so typing replaces it.
  EXPECT_EQ(edit.selectedText(), edit.text());
}

INSTANTIATE_TEST_SUITE_P(Keys, CEditCtrlKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CEditCtrl, TheWheelMovesOneStepByItsDirection) {
  testing_support::TestApplication();
  CEditCtrl edit;
  Configure(edit, kMs);
  edit.setText(QStringLiteral("1.00 ms"));
  auto wheel = [&](int delta) {
    QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&edit, &event);
  };
  wheel(120);
  EXPECT_EQ(edit.text().toStdString(), "1.01 ms");
  wheel(-240);
  EXPECT_EQ(edit.text().toStdString(), "1.00 ms");
}

TEST(CEditCtrl, LeavingTheFieldReformatsTypedTextWithoutClamping) {
  testing_support::TestApplication();
  CEditCtrl edit;
  Configure(edit, kMs);
  edit.setText(QStringLiteral("12.345"));
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(&edit, &out);
  EXPECT_EQ(edit.text().toStdString(), "12.35 ms");
  edit.setText(QStringLiteral("5000"));
  QApplication::sendEvent(&edit, &out);
  EXPECT_EQ(edit.text().toStdString(), "5000.00 ms");
  EXPECT_DOUBLE_EQ(edit.Value(), 5000.0);
}

}  // namespace
}  // namespace desktop::widgets
