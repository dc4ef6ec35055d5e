#include "remote/ui/BlockBindings.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLineEdit>
#include <algorithm>
#include <bit>
#include <string>

#include "platform/Bytes.h"
#include "platform/CodePage.h"

namespace remote::ui {

namespace {

std::size_t SizeOf(BlockBindings::Width width) {
  return width == BlockBindings::Width::kU8 ? 1 : 2;
}

bool Fits(std::size_t offset, std::size_t size) {
  return offset <= BlockBindings::Block{}.size() && size <= BlockBindings::Block{}.size() - offset;
}

}  // namespace

int BlockBindings::Read(const Block& block, std::size_t offset, Width width) {
  if (!Fits(offset, SizeOf(width))) return 0;
  switch (width) {
    case Width::kU8:
      return block[offset];
    case Width::kU16:
      return platform::GetU16(block, offset);
    case Width::kI16:
      return static_cast<std::int16_t>(platform::GetU16(block, offset));
  }
  return 0;
}

void BlockBindings::Write(Block& block, std::size_t offset, Width width, int value) {
  if (!Fits(offset, SizeOf(width))) return;
  if (width == Width::kU8) {
    block[offset] = static_cast<std::uint8_t>(value);
  } else {
    platform::PutU16(block, offset, static_cast<std::uint16_t>(value));
  }
}

void BlockBindings::Name(QLineEdit* edit, std::size_t offset, std::size_t size) {
  if (!Fits(offset, size) || size == 0) return;
  edit->setMaxLength(static_cast<int>(size - 1));
  bindings_.push_back({[edit] { return QVariant(edit->text()); },
                       [edit, offset, size](const Block& b) {
                         const auto first = b.begin() + static_cast<std::ptrdiff_t>(offset);
                         const auto last = first + static_cast<std::ptrdiff_t>(size - 1);
                         const std::string bytes(first, std::find(first, last, std::uint8_t{0}));
                         edit->setText(QString::fromStdString(platform::CodePageToUtf8(bytes)));
                       },
                       [edit, offset, size](Block& b) {
                         const std::string bytes =
                             platform::Utf8ToCodePage(edit->text().toStdString(), size);
                         const auto first = b.begin() + static_cast<std::ptrdiff_t>(offset);
                         std::fill_n(first, size, std::uint8_t{0});
                         std::copy_n(bytes.begin(), std::min(bytes.size(), size - 1), first);
                       },
                       {}});
}

void BlockBindings::Level(QAbstractSlider* bar, std::size_t offset, Width width, int min, int max) {
  bar->setRange(min, max);
  bindings_.push_back({[bar] { return QVariant(bar->value()); },
                       [bar, offset, width](const Block& b) {
                         bar->setValue(
                             std::clamp(Read(b, offset, width), bar->minimum(), bar->maximum()));
                       },
                       [bar, offset, width](Block& b) { Write(b, offset, width, bar->value()); },
                       {}});
}

void BlockBindings::Combo(QComboBox* combo, std::size_t offset, Width width, std::uint16_t mask,
                          unsigned shift) {
  bindings_.push_back({[combo] { return QVariant(combo->currentIndex()); },
                       [combo, offset, width, mask, shift](const Block& b) {
                         const int index = (Read(b, offset, width) & mask) >> shift;
                         combo->setCurrentIndex(index < combo->count() ? index : -1);
                       },
                       [combo, offset, width, mask, shift](Block& b) {
                         if (combo->currentIndex() < 0) return;
                         const int kept = Read(b, offset, width) & ~static_cast<int>(mask);
                         Write(b, offset, width, kept | ((combo->currentIndex() << shift) & mask));
                       },
                       {}});
}

void BlockBindings::Check(QAbstractButton* box, std::size_t offset, std::uint8_t bit,
                          bool inverted) {
  if (!Fits(offset, 1)) return;
  bindings_.push_back({[box] { return QVariant(box->isChecked()); },
                       [box, offset, bit, inverted](const Block& b) {
                         box->setChecked(((b[offset] & bit) != 0) != inverted);
                       },
                       [box, offset, bit, inverted](Block& b) {
                         const bool set = box->isChecked() != inverted;
                         b[offset] = static_cast<std::uint8_t>(set ? (b[offset] | bit)
                                                                   : (b[offset] & ~bit));
                       },
                       {}});
}

BlockBindings::Width BlockBindings::WidthOf(const protocol::unit::FieldRow& field) {
  using K = protocol::unit::FieldKind;
  return field.kind == K::kU8 ? Width::kU8 : field.kind == K::kI16 ? Width::kI16 : Width::kU16;
}

void BlockBindings::Name(QLineEdit* edit, const protocol::unit::FieldRow& field) {
  Name(edit, CardOffset(field.offset), field.size);
}

void BlockBindings::Level(QAbstractSlider* bar, const protocol::unit::FieldRow& field) {
  Level(bar, CardOffset(field.offset), WidthOf(field), field.min, field.max);
}

void BlockBindings::Combo(QComboBox* combo, const protocol::unit::FieldRow& field) {
  const auto mask = static_cast<std::uint16_t>(field.mask == 0 ? 0xFFFF : field.mask);
  Combo(combo, CardOffset(field.offset), WidthOf(field), mask,
        static_cast<unsigned>(std::countr_zero(mask)));
}

void BlockBindings::Check(QAbstractButton* box, const protocol::unit::FieldRow& field,
                          bool inverted) {
  Check(box, CardOffset(field.offset), static_cast<std::uint8_t>(field.mask), inverted);
}

void BlockBindings::Fill(const Block& block) {
  for (Binding& binding : bindings_) {
    binding.fill(block);
    binding.shown = binding.value();
  }
}

void BlockBindings::Store(Block& block) const {
  for (const Binding& binding : bindings_) {
    if (binding.value() != binding.shown) binding.store(block);
  }
}

}  // namespace remote::ui
