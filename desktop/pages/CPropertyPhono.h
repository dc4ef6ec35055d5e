#pragma once

#include <QFont>
#include <QImage>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/roomcorrection/CFilterDesign.h"
#include "protocol/unit/PhonoImage.h"

class QMenu;

namespace desktop::pages {

// The tab of a phono equaliser card: eight stored replay curves, one of them
// edited through its four time constants, an overall gain, and the curve's
// response drawn as a graph. Every move reaches the card at once (the gain
// with command 159, the curve with command 160); the buttons read, write and
// reset the whole image.
class CPropertyPhono : public CMRXPropertyPage {
 public:
  static constexpr int kIdd = 103;
  static constexpr int kName = 1044;
  static constexpr int kGain = 1015;
  static constexpr int kGainText = 1017;
  static constexpr int kHighPass = 1062;
  static constexpr int kCurve = 1019;
  static constexpr int kTime[] = {1096, 1097, 1098, 1099};
  static constexpr int kTimeText[] = {1101, 1102, 1103, 1104};
  static constexpr int kGraph = 1046;
  static constexpr int kGainPage = 10;
  static constexpr int kTimePage = 50;
  static constexpr std::size_t kCurveNameChars = protocol::unit::PhonoCurveSlot::kNameSize - 1;

  // A curve as a slot holds it.
  struct Curve {
    std::uint16_t word = 0;
    std::array<std::uint16_t, protocol::unit::PhonoCurveSlot::kTimeCount> t{};
    std::string name;
  };

  const char* GetRuntimeClassName() const override { return "CPropertyPhono"; }

  int UpdateControls() override;
  void UpdateImage() override;

  // "disabled", or "3180usec/50.0Hz".
  static std::string TimeText(std::uint16_t t);
  // "%4.1lf dB" of a gain in tenths of a dB.
  static std::string GainText(int tenths);
  // Places each classic curve (the ones a new card holds) in the first slot
  // not in use; none is placed
  // over a slot the card uses, and curves that find no free slot are dropped.
  static void AddFactoryCurves(std::span<std::uint8_t> held);

  int SelectedSlot() const { return selected_; }
  const Curve& WorkingCurve() const { return working_; }
  const roomcorrection::CFilterDesign& Design() const { return design_; }
  const QImage& GraphImage() const { return graph_; }
  // The working curve's response as text, one "frequency<TAB>dB" line per
  // grid point, written whole or not at all.
  bool ExportResponse(const std::filesystem::path& file, std::string& error) const;
  // The graph's context menu; null before the page is first shown.
  QMenu* GraphMenu() const { return graphMenu_; }

 protected:
  // Dialog 103 under each card's caption.
  static const DialogTemplate kBuz310Dialog;
  static const DialogTemplate kQvi520Dialog;

  CPropertyPhono(const DialogTemplate& dialog, PageSite& site, QWidget* parent);
  bool OnInitDialog() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The file chosen in the graph's "Export response..." dialog; nothing when
  // the user cancels.
  virtual std::optional<std::filesystem::path> AskExportPath();

 private:
  void SelectSlot(int slot);
  void RefreshCurve();
  void StoreWorkingCurve();
  void SendCurve(bool justSelected);
  void OnCurveChosen(int index);
  void OnCurveRenamed(const QString& text);
  void OnScroll(int id, int position);
  void OnMouseMove(int x, int y);
  void ExportFromMenu();
  void RedrawGraph();

  int selected_ = 0;
  Curve working_;
  roomcorrection::CFilterDesign design_;
  QImage graph_;
  QFont gainFont_;
  QMenu* graphMenu_ = nullptr;
};

}  // namespace desktop::pages
