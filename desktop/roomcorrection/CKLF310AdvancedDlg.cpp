#include "desktop/roomcorrection/CKLF310AdvancedDlg.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "desktop/pages/PageSite.h"
#include "desktop/pages/Prompt.h"
#include "desktop/widgets/CGridCtrl.h"
#include "platform/AtomicFile.h"
#include "protocol/klf/MeasurementText.h"
#include "protocol/klf/TextNumbers.h"

namespace desktop::roomcorrection {

namespace {

namespace klf = protocol::klf;
using klf::SlopeFile;
using pages::Prompt;

constexpr const char* kHeadings[] = {"Hz",          "Amp. in dB",  "Phase in °", "Room1 in dB",
                                     "Room2 in dB", "Room3 in dB", "Room4 in dB"};

double ColumnValue(const klf::SlopeRow& row, int column) {
  if (column == CKLF310AdvancedDlg::kAmplitude) return row.amplitude;
  if (column == CKLF310AdvancedDlg::kPhase) return row.phase;
  return row.room[static_cast<std::size_t>(column - CKLF310AdvancedDlg::kRoom1)];
}

QString Cell(int column, double value) {
  return QString::fromStdString(SlopeFile::CellText(column, value));
}

double Number(const QString& text) {
  const std::string s = text.toStdString();
  const auto numbers = klf::LeadingNumbers(s, 1);
  return numbers.empty() ? 0.0 : numbers.front();
}

}  // namespace

CKLF310AdvancedDlg::CKLF310AdvancedDlg(Prompt& prompt, KlfCurveTransport& transport,
                                       QWidget* parent)
    : QDialog(parent), prompt_(prompt), transport_(transport) {
  setObjectName(QStringLiteral("dlg%1").arg(kIdd));
  setModal(false);
  for (auto& buffer : buffers_) buffer.assign(kBins, klf::CurveBin{});

  grid_ = new widgets::CGridCtrl(this);
  grid_->setObjectName(QStringLiteral("ctl%1").arg(kGrid));
  QStringList headings;
  for (const char* h : kHeadings) headings << QString::fromUtf8(h);
  grid_->SetHeadings(headings);
  grid_->SetRowCount(kBins);
  for (int c = kAmplitude; c <= kRoom4; ++c) grid_->SetColumnEditable(c, true);
  for (int row = 0; row < kBins; ++row) {
    grid_->SetText(row, kHz, Cell(kHz, klf::CurveBin::FrequencyHz(row)));
  }
  grid_->SetEditEnded([this](int row, int column) { CellEdited(row, column); });
  for (int c = 0; c < headings.size(); ++c) {
    // Wide enough for the heading and the widest value a cell shows.
    const QFontMetrics metrics = grid_->fontMetrics();
    grid_->setColumnWidth(c, std::max(metrics.horizontalAdvance(headings[c]),
                                      metrics.horizontalAdvance(QStringLiteral("-2000.0"))) +
                                 24);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  BuildMenu();
  layout->addWidget(grid_);
  FillGrid(buffers_[0]);
  int width = grid_->frameWidth() * 2 + grid_->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < headings.size(); ++c) width += grid_->columnWidth(c);
  resize(width, 560);
}

CKLF310AdvancedDlg::~CKLF310AdvancedDlg() = default;

void CKLF310AdvancedDlg::BuildMenu() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("menu%1").arg(kMenu));
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("Store to KLF310"), this, [this] { Store(); });
  file->addAction(QStringLiteral("Reload from KLF310"), this, [this] { Reload(); });
  file->addSeparator();
  file->addAction(QStringLiteral("Import from File"), this, [this] { ImportWithDialog(); });
  file->addAction(QStringLiteral("Export to File"), this, [this] { ExportWithDialog(); });
  file->addAction(QStringLiteral("Import Measurement..."), this,
                  [this] { ImportMeasurementWithDialog(); });
  file->addSeparator();
  file->addAction(QStringLiteral("Print..."), this, [this] { PrintWithDialog(); });
  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  edit->addAction(QStringLiteral("Clear Amplitude"), this, [this] { ClearColumn(kAmplitude); });
  edit->addAction(QStringLiteral("Clear Phase"), this, [this] { ClearColumn(kPhase); });
  for (int room = 0; room < klf::CurveBin::kRoomCount; ++room) {
    edit->addAction(QStringLiteral("Clear Room %1").arg(room + 1), this,
                    [this, room] { ClearColumn(kRoom1 + room); });
  }
  layout()->setMenuBar(bar);
}

bool CKLF310AdvancedDlg::OpenChannel(int channel, const QString& name) {
  if (channel < 0 || channel >= kChannels) return false;
  if (shown_ >= 0) TakeGrid(buffers_[static_cast<std::size_t>(shown_)]);
  if (channel != shown_) {
    // Read into a scratch buffer: a transfer that breaks off must not leave a
    // half-read curve that a later store would send back to the card.
    std::vector<klf::CurveBin> read(kBins);
    if (!transport_.read || !transport_.read(channel, read)) {
      Tell(kTextNoConnection);
      return false;
    }
    buffers_[static_cast<std::size_t>(channel)] = std::move(read);
  }
  shown_ = channel;
  name_ = name;
  setWindowTitle(name);
  FillGrid(buffers_[static_cast<std::size_t>(channel)]);
  show();
  raise();
  return true;
}

bool CKLF310AdvancedDlg::ShowBuffer(int channel, const QString& name) {
  if (channel < 0 || channel >= kChannels || (shown_ >= 0 && shown_ != channel)) return false;
  if (shown_ != channel) FillGrid(buffers_[static_cast<std::size_t>(channel)]);
  name_ = name;
  setWindowTitle(name);
  show();
  return true;
}

bool CKLF310AdvancedDlg::Store() {
  if (shown_ < 0) return false;
  auto& buffer = buffers_[static_cast<std::size_t>(shown_)];
  TakeGrid(buffer);
  if (!transport_.write || !transport_.write(shown_, buffer)) {
    Tell(kTextNoConnection);
    return false;
  }
  return true;
}

bool CKLF310AdvancedDlg::Reload() {
  if (shown_ < 0) return false;
  std::vector<klf::CurveBin> read(kBins);
  if (!transport_.read || !transport_.read(shown_, read)) {
    Tell(kTextNoConnection);
    return false;
  }
  buffers_[static_cast<std::size_t>(shown_)] = std::move(read);
  FillGrid(buffers_[static_cast<std::size_t>(shown_)]);
  return true;
}

bool CKLF310AdvancedDlg::ReadText(const std::string& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Tell("Can't open file " + file + ".");
    return false;
  }
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  return true;
}

bool CKLF310AdvancedDlg::ImportFromFile(const QString& path) {
  const std::string file = path.toStdString();
  std::string text;
  if (!ReadText(file, text)) return false;
  const SlopeFile::Parsed parsed = SlopeFile::Parse(text);
  if (!parsed.ok) {
    Tell(file + ", line " + std::to_string(parsed.error.line) + ": " + parsed.error.message +
         ". Nothing was imported.");
    return false;
  }
  for (std::size_t row = 0; row < parsed.rows.size(); ++row) {
    ShowRow(static_cast<int>(row), parsed.rows[row]);
  }
  return true;
}

bool CKLF310AdvancedDlg::ImportMeasurement(const QString& path, int column) {
  if (column < kAmplitude || column > kRoom4) return false;
  const std::string file = path.toStdString();
  std::string text;
  if (!ReadText(file, text)) return false;
  const klf::MeasurementText::Parsed parsed = klf::MeasurementText::Parse(text);
  if (!parsed.ok) {
    Tell(file + ", line " + std::to_string(parsed.error.line) + ": " + parsed.error.message +
         ". Nothing was imported.");
    return false;
  }
  std::vector<klf::CurveBin> bins(kBins);
  TakeGrid(bins);
  if (!klf::MeasurementText::ApplyToColumn(parsed.points, column, bins)) {
    Tell(file +
         (column == kPhase ? " holds no phase for the phase column" : " holds no measurement") +
         ". Nothing was imported.");
    return false;
  }
  for (int row = 0; row < kBins; ++row) {
    const klf::SlopeRow values = SlopeFile::RowOf(bins[static_cast<std::size_t>(row)]);
    grid_->SetText(row, column, Cell(column, ColumnValue(values, column)));
  }
  return true;
}

bool CKLF310AdvancedDlg::ExportToFile(const QString& path) {
  const std::string file = path.toStdString();
  std::vector<klf::SlopeRow> rows(kBins);
  for (int row = 0; row < kBins; ++row) rows[static_cast<std::size_t>(row)] = RowAt(row);
  // Where the user named it: a file is replaced whole or not at all (a
  // failed write never leaves it cut short), a FIFO or device written through.
  std::string error;
  if (!platform::WriteOutputFile(file, SlopeFile::WriteRows(rows), error)) {
    Tell("Can't create file " + file + ".");
    return false;
  }
  return true;
}

QString CKLF310AdvancedDlg::ProposedFileName() const {
  return QString::fromStdString(
      SlopeFile::ProposedFileName(shown_ < 0 ? 0 : shown_, name_.toStdString()));
}

void CKLF310AdvancedDlg::ClearColumn(int column) {
  if (column < kAmplitude || column > kRoom4) return;
  grid_->ClearColumn(column, Cell(column, 0.0));
}

klf::SlopeRow CKLF310AdvancedDlg::RowAt(int row) const {
  klf::SlopeRow values;
  values.amplitude = Number(grid_->Text(row, kAmplitude));
  values.phase = Number(grid_->Text(row, kPhase));
  for (int r = 0; r < klf::CurveBin::kRoomCount; ++r) {
    values.room[static_cast<std::size_t>(r)] = Number(grid_->Text(row, kRoom1 + r));
  }
  return values;
}

std::span<const klf::CurveBin> CKLF310AdvancedDlg::Buffer(int channel) const {
  if (channel < 0 || channel >= kChannels) return {};
  return buffers_[static_cast<std::size_t>(channel)];
}

void CKLF310AdvancedDlg::FillGrid(std::span<const klf::CurveBin> bins) {
  const int rows = std::min(kBins, static_cast<int>(bins.size()));
  for (int row = 0; row < rows; ++row) {
    ShowRow(row, SlopeFile::RowOf(bins[static_cast<std::size_t>(row)]));
  }
}

void CKLF310AdvancedDlg::TakeGrid(std::span<klf::CurveBin> bins) const {
  const int rows = std::min(kBins, static_cast<int>(bins.size()));
  for (int row = 0; row < rows; ++row) {
    bins[static_cast<std::size_t>(row)] = SlopeFile::BinOf(RowAt(row));
  }
}

void CKLF310AdvancedDlg::ShowRow(int row, const klf::SlopeRow& values) {
  for (int c = kAmplitude; c <= kRoom4; ++c)
    grid_->SetText(row, c, Cell(c, ColumnValue(values, c)));
}

void CKLF310AdvancedDlg::CellEdited(int row, int column) {
  grid_->SetText(row, column, Cell(column, Number(grid_->Text(row, column))));
}

void CKLF310AdvancedDlg::Tell(const std::string& text) {
  prompt_.Ask(text, Prompt::Buttons::kOk, Prompt::Icon::kError);
}

void CKLF310AdvancedDlg::ImportWithDialog() {
  std::optional<pages::ModalScope> modal;
  if (site_ != nullptr) modal.emplace(*site_);
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import from File"),
                                                    QString(), QString::fromLatin1(kFileFilter));
  if (!path.isEmpty()) ImportFromFile(path);
}

void CKLF310AdvancedDlg::PrintWithDialog() {
  std::optional<pages::ModalScope> modal;
  if (site_ != nullptr) modal.emplace(*site_);
  grid_->PrintWithDialog(name_);
}

void CKLF310AdvancedDlg::ImportMeasurementWithDialog() {
  std::optional<pages::ModalScope> modal;
  if (site_ != nullptr) modal.emplace(*site_);
  const QString path =
      QFileDialog::getOpenFileName(this, QStringLiteral("Import Measurement"), QString(),
                                   QString::fromLatin1(kMeasurementFilter));
  if (path.isEmpty()) return;
  QStringList columns;
  for (int c = kAmplitude; c <= kRoom4; ++c) columns << QString::fromUtf8(kHeadings[c]);
  bool chosen = false;
  const QString column =
      QInputDialog::getItem(this, QStringLiteral("Import Measurement"),
                            QStringLiteral("Into column:"), columns, 0, false, &chosen);
  if (!chosen) return;
  ImportMeasurement(path, kAmplitude + static_cast<int>(columns.indexOf(column)));
}

void CKLF310AdvancedDlg::ExportWithDialog() {
  std::optional<pages::ModalScope> modal;
  if (site_ != nullptr) modal.emplace(*site_);
  QFileDialog dialog(this, QStringLiteral("Export to File"), ProposedFileName(),
                     QString::fromLatin1(kFileFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.selectFile(ProposedFileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ExportToFile(dialog.selectedFiles().front());
}

}  // namespace desktop::roomcorrection
