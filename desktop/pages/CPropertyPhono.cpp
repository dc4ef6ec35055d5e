#include "desktop/pages/CPropertyPhono.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <cstdio>

#include "desktop/pages/CardFields.h"
#include "desktop/roomcorrection/QtGraphCanvas.h"
#include "desktop/roomcorrection/ResponseText.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "platform/AtomicFile.h"
#include "protocol/unit/LiveRecords.h"
#include "protocol/unit/SettingsImage.h"
#include "protocol/unit/UnitCommand.h"

namespace desktop::pages {

namespace {

namespace pu = protocol::unit;
using C = ControlKind;
using P = CPropertyPhono;
using Img = pu::PhonoImage;
using Slot = pu::PhonoCurveSlot;
using roomcorrection::CFilterDesign;

constexpr int kCardNameChars = pu::SettingsImage::kNameSize - 1;
constexpr double kLowestHz = 5;
constexpr double kHighestHz = 30000;
constexpr const char* kExportMenuText = "Export response...";
constexpr const char* kExportFilter = "Text files (*.txt);;All Files (*)";
constexpr const char* kExportFailed = "The response could not be written:\n";

constexpr int TimeRow(int i) {
  return 4 + 24 * i;
}

// Dialog 103: card and curve on the left, the four time constants on the
// right, the response graph across the bottom above the buttons.
constexpr ControlTemplate kControls[] = {
    {0, C::kLabel, "SNR", 8, 8, 40, 10},
    {common::kSerial, C::kEdit, "", 50, 6, 40, 13, {}, 4},
    {0, C::kLabel, "Delivery", 8, 24, 40, 10},
    {common::kDelivery, C::kDatePicker, "", 50, 22, 150, 13},
    {0, C::kLabel, "Name", 8, 40, 40, 10},
    {P::kName, C::kEdit, "", 50, 38, 110, 13, {}, kCardNameChars},
    {0, C::kLabel, "Curve", 8, 56, 40, 10},
    {P::kCurve, C::kComboEdit, "", 50, 54, 110, 14},
    {0, C::kLabel, "Gain", 8, 74, 40, 10},
    {P::kGain, C::kScrollBar, "", 50, 74, 110, 10},
    {P::kGainText, C::kLabelCentre, "10.0 dB", 50, 86, 110, 16},
    {P::kHighPass, C::kCheckBox, "High pass filter 1Hz/-3dB", 8, 104, 150, 10},
    {0, C::kLabel, "bass (t1:lowpass)", 216, TimeRow(0), 160, 10},
    {P::kTime[0], C::kScrollBar, "", 216, TimeRow(0) + 11, 250, 10},
    {P::kTimeText[0], C::kLabel, "", 472, TimeRow(0) + 11, 120, 10},
    {0, C::kLabel, "mid range (t2:lowpass)", 216, TimeRow(1), 160, 10},
    {P::kTime[1], C::kScrollBar, "", 216, TimeRow(1) + 11, 250, 10},
    {P::kTimeText[1], C::kLabel, "", 472, TimeRow(1) + 11, 120, 10},
    {0, C::kLabel, "High level (t3:lowpass)", 216, TimeRow(2), 160, 10},
    {P::kTime[2], C::kScrollBar, "", 216, TimeRow(2) + 11, 250, 10},
    {P::kTimeText[2], C::kLabel, "", 472, TimeRow(2) + 11, 120, 10},
    {0, C::kLabel, "lower bass (t4:highpass)", 216, TimeRow(3), 160, 10},
    {P::kTime[3], C::kScrollBar, "", 216, TimeRow(3) + 11, 250, 10},
    {P::kTimeText[3], C::kLabel, "", 472, TimeRow(3) + 11, 120, 10},
    {common::kStatusLine, C::kLabel, "", 216, 104, 250, 10},
    {P::kGraph, C::kPicture, "", 0, 118, 600, 252},
    {common::kDefault, C::kButton, "Default Settings", 332, 376, 84, 16},
    {common::kRead, C::kButton, "Read Settings", 420, 376, 84, 16},
    {common::kWrite, C::kButton, "Write Settings", 508, 376, 84, 16},
};

// One scroll bar's range: positions 0 … max, moved by 1 and by a page.
void SetUpBar(QScrollBar* bar, int max, int page) {
  bar->setRange(0, max);
  bar->setSingleStep(1);
  bar->setPageStep(page);
}

P::Curve ReadCurve(std::span<const std::uint8_t> held, std::size_t slot) {
  const std::size_t at = Img::SlotOffset(slot);
  P::Curve curve;
  curve.word = card::U16(held, at + Slot::kWord);
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    curve.t[i] = card::U16(held, at + Slot::TimeOffset(i));
  }
  curve.name = card::NameAt(held, at + Slot::kName);
  return curve;
}

void WriteCurve(std::span<std::uint8_t> held, std::size_t slot, const P::Curve& curve) {
  const std::size_t at = Img::SlotOffset(slot);
  card::PutU16(held, at + Slot::kWord, curve.word);
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    card::PutU16(held, at + Slot::TimeOffset(i), curve.t[i]);
  }
  card::PutNameZeroed(held, at + Slot::kName, curve.name);
}

}  // namespace

const DialogTemplate CPropertyPhono::kBuz310Dialog{kIdd, "BUZ310", 600, 398, kControls};
const DialogTemplate CPropertyPhono::kQvi520Dialog{kIdd, "QVI520", 600, 398, kControls};

CPropertyPhono::CPropertyPhono(const DialogTemplate& dialog, PageSite& site, QWidget* parent)
    : CMRXPropertyPage(dialog, site, parent) {
  gainFont_.setFamilies({QStringLiteral("Century Gothic"), QStringLiteral("DejaVu Sans")});
  gainFont_.setPixelSize(20);
  gainFont_.setWeight(QFont::Bold);
}

std::string CPropertyPhono::TimeText(std::uint16_t t) {
  if (t == 0) return "disabled";
  char text[48];
  std::snprintf(text, sizeof text, "%uusec/%.1lfHz", unsigned{t},
                CFilterDesign::TimeConstantToHz(t));
  return text;
}

std::string CPropertyPhono::GainText(int tenths) {
  char text[32];
  std::snprintf(text, sizeof text, "%4.1lf dB", tenths / 10.0);
  return text;
}

void CPropertyPhono::AddFactoryCurves(std::span<std::uint8_t> held) {
  std::size_t next = 0;
  for (const pu::PhonoClassicCurve& factory : pu::kPhonoClassicCurves) {
    while (next < Img::kSlotCount &&
           (card::U16(held, Img::SlotOffset(next) + Slot::kWord) & Slot::kInUse) != 0) {
      ++next;
    }
    // A slot past the bytes the card holds is no free slot.
    if (next >= Img::kSlotCount || Img::SlotOffset(next) + Slot::kSize > held.size()) return;
    Curve curve;
    curve.word = Slot::kInUse;  // curve number 0
    curve.t = factory.t;
    curve.name = std::string(factory.name);
    WriteCurve(held, next, curve);
    ++next;
  }
}

bool CPropertyPhono::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;

  // Hidden in the template; the BUZ310 page shows it.
  Get<QCheckBox>(kHighPass)->setVisible(false);

  auto* graph = Get<QLabel>(kGraph);
  graph->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  graph->setMouseTracking(true);
  graph->installEventFilter(this);
  graph->setContextMenuPolicy(Qt::CustomContextMenu);
  graphMenu_ = new QMenu(this);
  connect(graphMenu_->addAction(QString::fromLatin1(kExportMenuText)), &QAction::triggered, this,
          [this] { ExportFromMenu(); });
  connect(graph, &QWidget::customContextMenuRequested, this,
          [this, graph](const QPoint& at) { graphMenu_->popup(graph->mapToGlobal(at)); });
  graph_ = QImage(graph->contentsRect().size(), QImage::Format_RGB32);
  design_.SetFrequencyRange(kLowestHz, kHighestHz);

  Get<QLabel>(kGainText)->setFont(gainFont_);
  SetUpBar(Get<QScrollBar>(kGain), Img::kGainField.max, kGainPage);
  connect(Get<QScrollBar>(kGain), &QScrollBar::valueChanged, this,
          [this](int position) { OnScroll(kGain, position); });
  for (int id : kTime) {
    SetUpBar(Get<QScrollBar>(id), Img::kTimeFields[0].max, kTimePage);
    connect(Get<QScrollBar>(id), &QScrollBar::valueChanged, this,
            [this, id](int position) { OnScroll(id, position); });
  }

  auto* curves = Get<QComboBox>(kCurve);
  connect(curves, &QComboBox::activated, this, [this](int index) { OnCurveChosen(index); });
  connect(curves->lineEdit(), &QLineEdit::textEdited, this,
          [this](const QString& text) { OnCurveRenamed(text); });
  for (int id : {kName, common::kSerial, common::kDelivery, kHighPass}) MarkDirtyOnChange(id);

  auto click = [this](int id, auto handler) {
    connect(Get<QAbstractButton>(id), &QAbstractButton::clicked, this, handler);
  };
  click(common::kRead, [this] {
    ReadSettings(1, true);
    RefreshCurve();
  });
  click(common::kWrite, [this] { WriteSettings(1); });
  click(common::kDefault, [this] {
    DefaultSettings();
    RefreshCurve();
  });

  AddFactoryCurves(card::Held(*this));
  UpdateControls();
  return true;
}

int CPropertyPhono::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  const auto held = card::Held(*this);
  Get<QLineEdit>(kName)->setText(QString::fromStdString(card::NameAt(held, Img::kName)));
  Get<QCheckBox>(kHighPass)->setChecked(card::Bit(held, Img::kFlags, 0));
  const std::uint8_t gain = card::U8(held, Img::kGain);
  Get<QLabel>(kGainText)->setText(QString::fromStdString(GainText(gain)));
  {
    const QSignalBlocker quiet(Get<QScrollBar>(kGain));
    Get<QScrollBar>(kGain)->setValue(gain);
  }
  auto* curves = Get<QComboBox>(kCurve);
  {
    const QSignalBlocker quiet(curves);
    curves->clear();
    for (std::size_t k = 0; k < Img::kSlotCount; ++k) {
      curves->addItem(QString::fromStdString(card::NameAt(held, Img::SlotOffset(k) + Slot::kName)));
    }
  }
  SelectSlot(card::U8(held, Img::kSelectedCurve));
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CPropertyPhono::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  const auto held = card::Held(*this);
  card::SetBit(held, Img::kFlags, 0, Get<QCheckBox>(kHighPass)->isChecked());
  StoreWorkingCurve();
  card::PutNameZeroed(held, Img::kName, Get<QLineEdit>(kName)->text().toStdString());
  // The selected-curve byte stays as read: the card learns a selection
  // through command 160 only.
}

void CPropertyPhono::SelectSlot(int slot) {
  // A selection byte past the eight slots shows the first one; the byte
  // itself is left as the card has it.
  if (slot < 0 || slot >= static_cast<int>(Img::kSlotCount)) slot = 0;
  selected_ = slot;
  {
    auto* curves = Get<QComboBox>(kCurve);
    const QSignalBlocker quiet(curves);
    curves->setCurrentIndex(slot);
  }
  working_ = ReadCurve(card::Held(*this), static_cast<std::size_t>(slot));
  RefreshCurve();
}

void CPropertyPhono::RefreshCurve() {
  if (!HasWindow()) return;
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    auto* bar = Get<QScrollBar>(kTime[i]);
    {
      const QSignalBlocker quiet(bar);
      bar->setValue(working_.t[i]);
    }
    Get<QLabel>(kTimeText[i])->setText(QString::fromStdString(TimeText(working_.t[i])));
  }
  design_.SetTimeConstants(working_.t[0], working_.t[1], working_.t[2], working_.t[3]);
  RedrawGraph();
}

void CPropertyPhono::StoreWorkingCurve() {
  WriteCurve(card::Held(*this), static_cast<std::size_t>(selected_), working_);
}

void CPropertyPhono::SendCurve(bool justSelected) {
  pu::EqualizerCurveRecord record;
  record.curve = static_cast<std::uint8_t>((working_.word >> Slot::kCurveShift) & Slot::kCurveMask);
  record.selected = justSelected;
  record.times = working_.t;
  const auto bytes = record.Encode();
  unitlink::theTiroUSB.SendCommand(nullptr, pu::Code(pu::UnitCommand::kEqualizerCurve), Address(),
                                   0, 0, 0, bytes.size(), bytes.data());
}

void CPropertyPhono::OnCurveChosen(int index) {
  if (index < 0) return;
  SetModified();
  StoreWorkingCurve();
  SelectSlot(index);
  SendCurve(true);
}

void CPropertyPhono::OnCurveRenamed(const QString& text) {
  SetModified();
  const QString kept = text.left(static_cast<qsizetype>(kCurveNameChars));
  working_.name = kept.toStdString();
  auto* curves = Get<QComboBox>(kCurve);
  QLineEdit* edit = curves->lineEdit();
  const int cursor = std::min(edit->cursorPosition(), static_cast<int>(kept.size()));
  const QSignalBlocker quiet(curves);
  curves->setItemText(selected_, kept);
  curves->setCurrentIndex(selected_);
  edit->setText(kept);
  edit->setCursorPosition(cursor);
}

void CPropertyPhono::OnScroll(int id, int position) {
  SetModified();
  if (id == kGain) {
    const auto gain = static_cast<std::uint8_t>(position);
    card::PutU8(card::Held(*this), Img::kGain, gain);
    Get<QLabel>(kGainText)->setText(QString::fromStdString(GainText(gain)));
    SetLiveValue(gain);
    return;
  }
  for (std::size_t i = 0; i < Slot::kTimeCount; ++i) {
    if (kTime[i] == id) working_.t[i] = static_cast<std::uint16_t>(position);
  }
  SendCurve(false);
  RefreshCurve();
}

bool CPropertyPhono::eventFilter(QObject* watched, QEvent* event) {
  if (HasWindow() && watched == Control(kGraph)) {
    if (event->type() == QEvent::MouseMove) {
      const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
      OnMouseMove(at.x(), at.y());
    } else if (event->type() == QEvent::Leave) {
      OnMouseMove(-1, -1);
    }
  }
  return CMRXPropertyPage::eventFilter(watched, event);
}

void CPropertyPhono::OnMouseMove(int x, int y) {
  // The bitmap sits at the picture's top left, so its pixels are the picture's.
  const QPoint origin = Control(kGraph)->contentsRect().topLeft();
  x -= origin.x();
  y -= origin.y();
  int marker = design_.MarkerIndex();
  if (design_.PlotRect().Contains(x, y)) {
    const int hit = design_.ResponsePointAtX(x);
    if (hit >= 0) marker = hit;
  } else {
    marker = -1;
  }
  if (marker == design_.MarkerIndex()) return;
  design_.SetMarkerIndex(marker);
  RedrawGraph();
}

void CPropertyPhono::RedrawGraph() {
  auto* graph = Get<QLabel>(kGraph);
  if (graph == nullptr || graph_.isNull()) return;
  {
    roomcorrection::QtGraphCanvas canvas(graph_);
    design_.DrawResponse(canvas);
  }
  graph->setPixmap(QPixmap::fromImage(graph_));
}

bool CPropertyPhono::ExportResponse(const std::filesystem::path& file, std::string& error) const {
  return platform::WriteOutputFile(file.string(), roomcorrection::ResponseText(design_), error);
}

void CPropertyPhono::ExportFromMenu() {
  const auto path = AskExportPath();
  if (!path) return;
  std::string error;
  if (!ExportResponse(*path, error)) {
    Site().GetPrompt().Ask(std::string(kExportFailed) + error, Prompt::Buttons::kOk,
                           Prompt::Icon::kError);
  }
}

std::optional<std::filesystem::path> CPropertyPhono::AskExportPath() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(QString::fromLatin1(kExportFilter).split(QStringLiteral(";;")));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace desktop::pages
