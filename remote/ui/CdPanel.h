#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace remote::ui {

// The CD drive's two lines of text, on a panel that slides over the lower
// source buttons; a tap asks the view to slide it away.
class CdPanel final : public QWidget {
 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 54;

  explicit CdPanel(QWidget* parent);
  void SetLines(const QString& first, const QString& second);
  QString Text() const { return second_.isEmpty() ? first_ : first_ + "\n" + second_; }
  std::function<void()> onTap;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString first_;
  QString second_;
};

}  // namespace remote::ui
