#include "desktop/pages/CardPage.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "desktop/pages/CardFields.h"

namespace desktop::pages {

CardPage::CardPage(const DialogTemplate& dialog, PageSite& site, QWidget* parent)
    : CMRXPropertyPage(dialog, site, parent) {}

bool CardPage::OnInitDialog() {
  if (!CMRXPropertyPage::OnInitDialog()) return false;
  for (int id : {common::kSerial, common::kDelivery}) MarkDirtyOnChange(id);
  InitCard();
  OnClick(common::kRead, [this] {
    ReadSettings(1, true);
    Shown();
  });
  OnClick(common::kDefault, [this] {
    DefaultSettings();
    Shown();
  });
  OnClick(common::kWrite, [this] { WriteSettings(1); });
  return true;
}

int CardPage::UpdateControls() {
  if (!HasWindow()) return 0;
  card::ShowIdentity(*this);
  ShowCard(card::Held(*this));
  ReadStatus();
  return CMRXPropertyPage::UpdateControls();
}

void CardPage::UpdateImage() {
  if (!HasWindow()) return;
  CMRXPropertyPage::UpdateImage();
  card::TakeIdentity(*this);
  TakeCard(card::Held(*this));
}

void CardPage::OnClick(int id, std::function<void()> handler) {
  connect(Get<QAbstractButton>(id), &QAbstractButton::clicked, this,
          [handler = std::move(handler)] { handler(); });
}

void CardPage::ShowName(int id, std::span<const std::uint8_t> held, std::size_t at) {
  Get<QLineEdit>(id)->setText(QString::fromStdString(card::NameAt(held, at)));
}

void CardPage::TakeName(int id, std::span<std::uint8_t> held, std::size_t at) {
  card::PutNameZeroed(held, at, Get<QLineEdit>(id)->text().toStdString());
}

namespace {

std::size_t NameOffset(const card::Inputs& inputs, std::size_t i) {
  return inputs.firstName + protocol::unit::SettingsImage::kNameSize * i;
}

}  // namespace

void CardPage::AttachInputs(const card::Inputs& inputs) {
  for (std::size_t i = 0; i < inputs.name.size(); ++i) {
    MarkDirtyOnChange(inputs.enable[i]);
    if (i < inputs.cd.size()) MarkDirtyOnChange(inputs.cd[i]);
    MarkDirtyOnChange(inputs.name[i]);
  }
  if (inputs.enableColumn != 0) {
    OnClick(inputs.enableColumn, [this, ids = inputs.enable] {
      card::SwitchColumn(*this, ids);
      SetModified();
    });
  }
  if (inputs.cdColumn != 0) {
    OnClick(inputs.cdColumn, [this, ids = inputs.cd] {
      card::SwitchColumn(*this, ids);
      SetModified();
    });
  }
}

void CardPage::ShowInputs(const card::Inputs& inputs, std::span<const std::uint8_t> held) {
  for (std::size_t i = 0; i < inputs.name.size(); ++i) {
    const auto bit = static_cast<unsigned>(i);
    ShowName(inputs.name[i], held, NameOffset(inputs, i));
    Get<QCheckBox>(inputs.enable[i])->setChecked(!card::Bit(held, inputs.disable, bit));
    if (i < inputs.cd.size()) {
      Get<QCheckBox>(inputs.cd[i])->setChecked(card::Bit(held, inputs.cdFlags, bit));
    }
  }
}

void CardPage::TakeInputs(const card::Inputs& inputs, std::span<std::uint8_t> held) {
  for (std::size_t i = 0; i < inputs.name.size(); ++i) {
    const auto bit = static_cast<unsigned>(i);
    card::PutNameTerminated(held, NameOffset(inputs, i),
                            Get<QLineEdit>(inputs.name[i])->text().toStdString());
    card::SetBit(held, inputs.disable, bit, !Get<QCheckBox>(inputs.enable[i])->isChecked());
    if (i < inputs.cd.size()) {
      card::SetBit(held, inputs.cdFlags, bit, Get<QCheckBox>(inputs.cd[i])->isChecked());
    }
  }
}

void CardPage::AttachAssignments(const card::Assignments& a) {
  for (int id : {a.list1, a.list2}) {
    connect(Get<QComboBox>(id), &QComboBox::activated, this, [this, a] {
      SetModified();
      SetLiveWords(card::Assignment(*this, a.list1, a.at1), card::Assignment(*this, a.list2, a.at2),
                   0, 0);
    });
  }
}

void CardPage::FillAssignments(const card::Assignments& a) {
  FillChannelList(Get<QComboBox>(a.list1));
  FillChannelList(Get<QComboBox>(a.list2));
}

void CardPage::ShowAssignments(const card::Assignments& a, std::span<const std::uint8_t> held) {
  card::ShowAssignment(*this, a.list1, card::U16(held, a.at1));
  card::ShowAssignment(*this, a.list2, card::U16(held, a.at2));
}

void CardPage::TakeAssignments(const card::Assignments& a, std::span<std::uint8_t> held) {
  card::PutU16(held, a.at1, card::Assignment(*this, a.list1, a.at1));
  card::PutU16(held, a.at2, card::Assignment(*this, a.list2, a.at2));
}

}  // namespace desktop::pages
