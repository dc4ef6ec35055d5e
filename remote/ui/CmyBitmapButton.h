#pragma once

#include <QAbstractButton>
#include <QTimer>
#include <functional>

#include "remote/ui/RemoteArtwork.h"

namespace remote::ui {

// A button of the remote's view. It reports to the view with its id and its
// new checked state (the view's kWmButton): once when pressed, after its hold
// delay where it has one; a repeating button again every 100 ms after its
// first delay, every 50 ms from the tenth repetition on. Released before the
// hold delay it sends nothing and takes its previous look again.
class CmyBitmapButton final : public QAbstractButton {
 public:
  enum class Kind {
    kTap,     // sends when pressed
    kToggle,  // toggles its checked look on each press (mute, power)
    kSelect,  // becomes checked when pressed (source buttons)
  };
  using Sender = std::function<void(int id, bool checked)>;
  using ContextHandler = std::function<void(int id)>;

  static constexpr int kRepeatMs = 100;
  static constexpr int kFastRepeatMs = 50;
  static constexpr int kFastAfter = 10;

  CmyBitmapButton(int id, artwork::Face face, Kind kind, QWidget* parent);

  int Id() const { return id_; }
  void SetFace(artwork::Face face);
  // Milliseconds the button must be held before it sends (0: at once).
  void SetHoldDelay(int ms) { holdMs_ = ms; }
  // Repeats while held, the first repetition after `firstDelayMs`.
  void SetRepeat(int firstDelayMs) { repeatFirstMs_ = firstDelayMs; }
  void SetSender(Sender sender) { send_ = std::move(sender); }
  // Tap-and-hold asks for a pop-up menu: the context gesture at once, or a
  // press held `holdMs`; a shorter press is then a tap, sent when let go.
  void SetContextHandler(ContextHandler handler, int holdMs);
  // Text drawn on the face (track numbers, source names).
  void SetLabel(const QString& label);
  QString Label() const { return label_; }
  // The repetitions sent since the last press (tests and the benchmark read it).
  int Repetitions() const { return repetitions_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Fire();
  void OnHold();
  void OnGestureHold();
  void OnRepeat();
  void Release();

  int id_;
  artwork::Face face_;
  Kind kind_;
  int holdMs_ = 0;
  int repeatFirstMs_ = 0;
  bool pressed_ = false;
  bool lookBefore_ = false;
  int repetitions_ = 0;
  QString label_;
  QTimer hold_;
  QTimer repeat_;
  QTimer gesture_;
  Sender send_;
  ContextHandler context_;
};

}  // namespace remote::ui
