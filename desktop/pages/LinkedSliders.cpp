#include "desktop/pages/LinkedSliders.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/pages/CardFields.h"

namespace desktop::pages {

namespace {

constexpr int kPageSize = 10;
constexpr int kTickFrequency = 30;

}  // namespace

LinkedSliders::LinkedSliders(CMRXPropertyPage& page, Ids ids, const protocol::unit::FieldRow& field)
    : page_(page), ids_(ids), min_(field.min), max_(field.max) {}

void LinkedSliders::Attach(std::function<void()> moved) {
  moved_ = std::move(moved);
  for (int id : {ids_.text1, ids_.text2}) page_.Get<QLabel>(id)->setFont(card::LevelFont());
  // The link is the page's own state: on whenever the dialog is made.
  page_.Get<QCheckBox>(ids_.link)->setChecked(true);
  QObject::connect(page_.Get<QSlider>(ids_.slider1), &QSlider::valueChanged, &page_,
                   [this] { Moved(ids_.slider1, ids_.slider2); });
  QObject::connect(page_.Get<QSlider>(ids_.slider2), &QSlider::valueChanged, &page_,
                   [this] { Moved(ids_.slider2, ids_.slider1); });
}

void LinkedSliders::Show(int level1, int level2) {
  showing_ = true;
  for (int id : {ids_.slider1, ids_.slider2}) {
    auto* slider = page_.Get<QSlider>(id);
    slider->setRange(min_, max_);
    slider->setPageStep(kPageSize);
    slider->setSingleStep(1);
    slider->setTickInterval(kTickFrequency);
  }
  page_.Get<QSlider>(ids_.slider1)->setValue(std::clamp(level1, min_, max_));
  page_.Get<QSlider>(ids_.slider2)->setValue(std::clamp(level2, min_, max_));
  showing_ = false;
  ShowTexts();
}

int LinkedSliders::Level1() const {
  return page_.Get<QSlider>(ids_.slider1)->value();
}

int LinkedSliders::Level2() const {
  return page_.Get<QSlider>(ids_.slider2)->value();
}

void LinkedSliders::SendLevels() {
  page_.SetLiveLevels(static_cast<std::uint16_t>(Level1()), static_cast<std::uint16_t>(Level2()), 0,
                      0);
}

void LinkedSliders::Moved(int from, int to) {
  if (showing_) return;
  if (page_.Get<QCheckBox>(ids_.link)->isChecked()) {
    showing_ = true;
    page_.Get<QSlider>(to)->setValue(page_.Get<QSlider>(from)->value());
    showing_ = false;
  }
  SendLevels();
  ShowTexts();
  if (moved_) moved_();
}

void LinkedSliders::ShowTexts() {
  page_.Get<QLabel>(ids_.text1)->setText(QString::fromStdString(card::LevelText(Level1())));
  page_.Get<QLabel>(ids_.text2)->setText(QString::fromStdString(card::LevelText(Level2())));
}

}  // namespace desktop::pages
