#pragma once

#include <QLineEdit>
#include <string>

namespace desktop::widgets {

// A numeric edit field with a range, a step and a display format: Page Up and
// Page Down move by a hundred steps, Up and Down by one unit, the mouse wheel
// by one step, never past the range. Typed text is taken as it stands and only
// reformatted when the field loses the focus.
class CEditCtrl : public QLineEdit {
 public:
  explicit CEditCtrl(QWidget* parent = nullptr);

  void SetRange(double minimum, double maximum);
  void SetStep(double step) { step_ = step; }
  // A printf format with one double, e.g. "%.0lf Hz".
  void SetFormat(std::string format) { format_ = std::move(format); }

  // The number the text begins with (0 when there is none).
  double Value() const;
  // Formats `value`, selects the whole text and keeps the caret in view.
  void ShowValue(double value);
  // The text `value` is shown as.
  QString Format(double value) const;

  double Minimum() const { return minimum_; }
  double Maximum() const { return maximum_; }
  double Step() const { return step_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Move(double delta);

  double minimum_ = 0;
  double maximum_ = 0;
  double step_ = 1;
  std::string format_ = "%lf";
};

}  // namespace desktop::widgets
