#include "desktop/pages/CardFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFont>
#include <QLineEdit>
#include <algorithm>
#include <cstring>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Bytes.h"
#include "platform/CodePage.h"
#include "protocol/unit/FieldRow.h"
#include "protocol/unit/IdentityRecord.h"
#include "protocol/unit/SettingsImage.h"

namespace desktop::pages::card {

namespace {

namespace pu = protocol::unit;
constexpr std::size_t kNameSize = pu::SettingsImage::kNameSize;

bool Fits(std::span<const std::uint8_t> held, std::size_t at, std::size_t width) {
  return at <= held.size() && width <= held.size() - at;
}

// The part of a field at `at` that lies inside the held bytes.
std::span<std::uint8_t> Field(std::span<std::uint8_t> held, std::size_t at, std::size_t width) {
  if (at >= held.size()) return {};
  return held.subspan(at, std::min(width, held.size() - at));
}

}  // namespace

std::span<std::uint8_t> Held(CMRXPropertyPage& page) {
  return page.Image().first(
      std::min<std::size_t>(page.Fields().settingsLength, pu::SettingsImage::kMaxSize));
}

std::string NameAt(std::span<const std::uint8_t> held, std::size_t at) {
  if (at >= held.size()) return {};
  const std::size_t room = std::min(kNameSize - 1, held.size() - at);
  const auto* text = reinterpret_cast<const char*>(held.data() + at);
  return platform::CodePageToUtf8(std::string_view(text, strnlen(text, room)));
}

void PutNameZeroed(std::span<std::uint8_t> held, std::size_t at, std::string_view text) {
  Zero(held, at, at + kNameSize);
  PutNameTerminated(held, at, text);
}

void PutNameTerminated(std::span<std::uint8_t> held, std::size_t at, std::string_view text) {
  const std::string bytes = platform::Utf8ToCodePage(text, kNameSize);
  const auto field = Field(held, at, bytes.size() + 1);
  for (std::size_t i = 0; i < field.size(); ++i) {
    field[i] = i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
  }
}

void Zero(std::span<std::uint8_t> held, std::size_t from, std::size_t to) {
  if (to <= from) return;
  const auto field = Field(held, from, to - from);
  std::fill(field.begin(), field.end(), 0);
}

bool Bit(std::span<const std::uint8_t> held, std::size_t at, unsigned bit) {
  return ((U8(held, at) >> bit) & 1u) != 0;
}

void SetBit(std::span<std::uint8_t> held, std::size_t at, unsigned bit, bool on) {
  if (!Fits(held, at, 1)) return;
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  held[at] =
      on ? static_cast<std::uint8_t>(held[at] | mask) : static_cast<std::uint8_t>(held[at] & ~mask);
}

std::uint8_t U8(std::span<const std::uint8_t> held, std::size_t at) {
  return Fits(held, at, 1) ? held[at] : 0;
}

void PutU8(std::span<std::uint8_t> held, std::size_t at, std::uint8_t v) {
  if (Fits(held, at, 1)) held[at] = v;
}

std::uint16_t U16(std::span<const std::uint8_t> held, std::size_t at) {
  return Fits(held, at, 2) ? platform::GetU16(held, at) : 0;
}

void PutU16(std::span<std::uint8_t> held, std::size_t at, std::uint16_t v) {
  if (Fits(held, at, 2)) platform::PutU16(held, at, v);
}

std::int16_t I16(std::span<const std::uint8_t> held, std::size_t at) {
  return static_cast<std::int16_t>(U16(held, at));
}

void PutI16(std::span<std::uint8_t> held, std::size_t at, std::int16_t v) {
  PutU16(held, at, static_cast<std::uint16_t>(v));
}

void ShowIdentity(CMRXPropertyPage& page) {
  if (auto* serial = page.Get<QLineEdit>(common::kSerial)) {
    const auto id = pu::IdentityRecord::Decode(page.Image());
    serial->setText(QString::fromStdString(CMRXPropertyPage::SerialToText(id.serial)));
  }
  page.ShowDeliveryDate(page.Get<QDateEdit>(common::kDelivery));
}

void TakeIdentity(CMRXPropertyPage& page) {
  if (auto* serial = page.Get<QLineEdit>(common::kSerial)) {
    platform::PutU16(page.Image(), pu::IdentityRecord::kSerial,
                     CMRXPropertyPage::SerialFromText(serial->text().toStdString()));
  }
  page.TakeDeliveryDate(page.Get<QDateEdit>(common::kDelivery));
}

void SwitchColumn(CMRXPropertyPage& page, std::span<const int> ids) {
  std::size_t checked = 0;
  for (int id : ids) {
    if (auto* box = page.Get<QCheckBox>(id); box != nullptr && box->isChecked()) ++checked;
  }
  // "Fewer than half" counts up: 4 of 8 and 1 of 3 still switch the column on.
  const bool on = checked < ids.size() / 2 + 1;
  for (int id : ids) {
    if (auto* box = page.Get<QCheckBox>(id)) box->setChecked(on);
  }
}

void ShowAssignment(CMRXPropertyPage& page, int id, std::uint16_t value) {
  auto* list = page.Get<QComboBox>(id);
  if (list == nullptr) return;
  list->setCurrentIndex(value < list->count() ? value : -1);
}

std::uint16_t Assignment(CMRXPropertyPage& page, int id, std::size_t at) {
  auto* list = page.Get<QComboBox>(id);
  if (list != nullptr && list->currentIndex() >= 0) {
    return static_cast<std::uint16_t>(list->currentIndex());
  }
  return U16(Held(page), at);
}

std::string LevelText(int tenths) {
  return pu::LevelText(tenths);
}

QFont LevelFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Century Gothic"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(18);
  font.setWeight(QFont::Bold);
  return font;
}

}  // namespace desktop::pages::card
