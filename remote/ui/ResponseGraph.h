#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

namespace remote::ui {

// The analogue equaliser response of a phono curve's four time constants,
// drawn over 10 Hz - 30 kHz, with a read-out of the point under the stylus.
class ResponseGraph final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPoints = 256;
  static constexpr double kLowestHz = 10.0;
  static constexpr double kHighestHz = 30000.0;
  // A time constant of 0 stands for the longest one.
  static constexpr std::uint16_t kDisabledTime = 16383;

  explicit ResponseGraph(QWidget* parent = nullptr);

  // t1..t4 in microseconds.
  void SetTimeConstants(const std::array<std::uint16_t, 4>& times);
  static double Response(double hz, const std::array<std::uint16_t, 4>& times);
  static double Frequency(int point);

  const std::vector<double>& Values() const { return values_; }
  // The read-out text, empty when no point is selected.
  QString ReadOut() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QRect Plot() const;
  void Select(int x);

  std::vector<double> values_;
  int marker_ = -1;
};

}  // namespace remote::ui
