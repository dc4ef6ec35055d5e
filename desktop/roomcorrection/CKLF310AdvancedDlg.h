#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <vector>

#include "desktop/roomcorrection/KlfCurveTransport.h"
#include "protocol/klf/CurveBin.h"
#include "protocol/klf/SlopeFile.h"

class QAction;
class QLabel;

namespace desktop::pages {
class PageSite;
class Prompt;
}  // namespace desktop::pages
namespace desktop::widgets {
class CGridCtrl;
}

namespace desktop::roomcorrection {

// The curve table of one KLF310 channel: 2048 rows of frequency, amplitude,
// phase and four room levels, edited in place, stored to and reloaded from the
// card, kept in slope files. It holds the curve buffers of all sixteen
// channels; the grid goes into the shown channel's buffer before another
// channel is opened, and opening the shown channel again keeps its edits.
class CKLF310AdvancedDlg : public QDialog {
 public:
  static constexpr int kIdd = 137;
  static constexpr int kGrid = 1143;
  static constexpr int kMenu = 139;
  static constexpr int kChannels = 16;
  static constexpr int kBins = protocol::klf::CurveBin::kBinCount;
  static constexpr const char* kTextNoConnection =
      "Unable to connect to KLF310. Please check cable or IP settings!";
  static constexpr const char* kFileFilter = "KLF310 settings (*.txt);;All Files (*)";
  static constexpr const char* kMeasurementFilter = "Measurement text (*.txt *.frd);;All Files (*)";

  enum Column { kHz, kAmplitude, kPhase, kRoom1, kRoom2, kRoom3, kRoom4 };

  CKLF310AdvancedDlg(pages::Prompt& prompt, KlfCurveTransport& transport,
                     QWidget* parent = nullptr);
  ~CKLF310AdvancedDlg() override;

  // The sheet around the owning page: it keeps the page while a file or
  // print dialog of this one runs its own event loop.
  void SetSite(pages::PageSite* site) { site_ = site; }

  // The channel's "Advanced" button: keeps the grid of the channel shown in
  // its buffer, reads the new channel's curve from the card unless it is the
  // one shown, and shows it. False (and nothing changed) when the read failed.
  bool OpenChannel(int channel, const QString& name);
  // Shows what the channel's buffer holds without asking the card; false
  // while another channel is shown, whose grid is not to be lost.
  bool ShowBuffer(int channel, const QString& name);
  int ShownChannel() const { return shown_; }
  const QString& ChannelName() const { return name_; }

  // File menu.
  bool Store();
  bool Reload();
  bool ImportFromFile(const QString& path);
  bool ExportToFile(const QString& path);
  QString ProposedFileName() const;
  // A measurement tool's text export into one column (amplitude, phase or a
  // room) of every row; the whole file is read first, so a broken file or a
  // phase column asked of a measurement without phase changes nothing.
  bool ImportMeasurement(const QString& path, int column);
  // Edit menu: that column set to 0.0 in every row.
  void ClearColumn(int column);

  widgets::CGridCtrl& Grid() { return *grid_; }
  // Row `row` (0-2047) of the grid as numbers.
  protocol::klf::SlopeRow RowAt(int row) const;
  std::span<const protocol::klf::CurveBin> Buffer(int channel) const;

 private:
  void BuildMenu();
  void FillGrid(std::span<const protocol::klf::CurveBin> bins);
  void TakeGrid(std::span<protocol::klf::CurveBin> bins) const;
  void ShowRow(int row, const protocol::klf::SlopeRow& values);
  void CellEdited(int row, int column);
  void Tell(const std::string& text);
  void ImportWithDialog();
  void ExportWithDialog();
  void ImportMeasurementWithDialog();
  void PrintWithDialog();
  bool ReadText(const std::string& file, std::string& text);

  pages::Prompt& prompt_;
  pages::PageSite* site_ = nullptr;
  KlfCurveTransport& transport_;
  widgets::CGridCtrl* grid_;
  std::array<std::vector<protocol::klf::CurveBin>, kChannels> buffers_;
  int shown_ = -1;
  QString name_;
};

}  // namespace desktop::roomcorrection
