#pragma once

#include <QVariant>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/remote/ModuleBlock.h"
#include "protocol/unit/FieldRow.h"
#include "protocol/unit/IdentityRecord.h"

class QAbstractButton;
class QAbstractSlider;
class QComboBox;
class QLineEdit;

namespace remote::ui {

// The controls of a setup page bound to fields of its 772-byte block. Filling
// shows each field clamped to what its control can show, or blank; storing
// writes back only the fields whose control the user changed, so bytes the
// page cannot show go back to the unit as they came.
class BlockBindings {
 public:
  using Block = std::array<std::uint8_t, protocol::remote::ModuleBlock::kSize>;
  enum class Width { kU8, kU16, kI16 };

  // Block offset of a field at `imageOffset` of a card's settings image: the
  // block carries the image without its identity record.
  static constexpr std::size_t CardOffset(std::size_t imageOffset);

  // 8-bit text of at most size - 1 characters; a field without its NUL shows
  // its first size - 1 characters.
  void Name(QLineEdit* edit, std::size_t offset, std::size_t size);
  // A number shown clamped to [min, max].
  void Level(QAbstractSlider* bar, std::size_t offset, Width width, int min, int max);
  // The bits `mask` of a field, shifted down, select the item of that index;
  // a value past the list shows no selection.
  void Combo(QComboBox* combo, std::size_t offset, Width width, std::uint16_t mask = 0xFFFF,
             unsigned shift = 0);
  // One bit of a byte; `inverted` when a set bit means unchecked.
  void Check(QAbstractButton* box, std::size_t offset, std::uint8_t bit, bool inverted = false);

  // The same, bound to a field of a card's settings image as its layout's
  // field table gives it: offset, width, range and bits.
  void Name(QLineEdit* edit, const protocol::unit::FieldRow& field);
  void Level(QAbstractSlider* bar, const protocol::unit::FieldRow& field);
  void Combo(QComboBox* combo, const protocol::unit::FieldRow& field);
  void Check(QAbstractButton* box, const protocol::unit::FieldRow& field, bool inverted = false);

  void Fill(const Block& block);
  void Store(Block& block) const;

  static int Read(const Block& block, std::size_t offset, Width width);
  static void Write(Block& block, std::size_t offset, Width width, int value);
  static Width WidthOf(const protocol::unit::FieldRow& field);

 private:
  struct Binding {
    std::function<QVariant()> value;
    std::function<void(const Block&)> fill;
    std::function<void(Block&)> store;
    QVariant shown;
  };
  std::vector<Binding> bindings_;
};

constexpr std::size_t BlockBindings::CardOffset(std::size_t imageOffset) {
  return imageOffset - protocol::unit::IdentityRecord::kSize +
         protocol::remote::ModuleBlock::kOffSettings;
}

}  // namespace remote::ui
