#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/pages/DialogTemplate.h"

namespace desktop::pages {

namespace card {

// The controls every small card tab has around its own: the identity box on
// top, then the card's controls, then the status line at `statusY` and the
// Default, Read and Write buttons along the bottom, in tab order.
inline constexpr std::size_t kFrameControls = 10;
template <std::size_t N>
consteval std::array<ControlTemplate, N + kFrameControls> Controls(const ControlTemplate (&own)[N],
                                                                   int statusY) {
  using C = ControlKind;
  std::array<ControlTemplate, N + kFrameControls> all{};
  const ControlTemplate head[] = {
      {0, C::kGroup, "Module", 8, 6, 292, 60},
      {0, C::kLabel, "SNR", 18, 24, 72, 10},
      {common::kSerial, C::kEdit, "", 96, 22, 50, 13, {}, 4},
      {0, C::kLabel, "Delivery", 18, 44, 72, 10},
      {common::kDelivery, C::kDatePicker, "", 96, 42, 150, 13},
  };
  const ControlTemplate foot[] = {
      {common::kStatusLine, C::kLabel, "", 8, statusY, 292, 14},
      {0, C::kLine, "", 8, 362, 584, 2},
      {common::kDefault, C::kButton, "Default Settings", 332, 372, 84, 16},
      {common::kRead, C::kButton, "Read Settings", 420, 372, 84, 16},
      {common::kWrite, C::kButton, "Write Settings", 508, 372, 84, 16},
  };
  std::size_t at = 0;
  for (const ControlTemplate& c : head) all[at++] = c;
  for (const ControlTemplate& c : own) all[at++] = c;
  for (const ControlTemplate& c : foot) all[at++] = c;
  return all;
}

// Every small card tab is 600 × 398 dialog units.
constexpr DialogTemplate Dialog(int id, std::string_view caption,
                                std::span<const ControlTemplate> controls) {
  return {id, caption, 600, 398, controls};
}

// Characters a name edit takes: the 16-byte field less its NUL.
inline constexpr int kNameChars = protocol::unit::SettingsImage::kNameSize - 1;

// The rows of an input card: a switch, a "CD" flag (where the card has
// them) and a name per input; names 16 bytes apart from `firstName`, bit k
// of `disable` and `cdFlags` for input k+1. The column buttons (0: none)
// switch a whole column.
struct Inputs {
  std::span<const int> enable, cd, name;
  std::size_t firstName, disable, cdFlags;
  int enableColumn = 0, cdColumn = 0;
};

// Two channel lists (u16 at `at1`, `at2`) whose picks reach the running
// card at once; they are filled again on every activation, since the
// KLF310's channel names may have changed on its own tab.
struct Assignments {
  int list1, list2;
  std::size_t at1, at2;
};

}  // namespace card

// A small card's tab: what the six of them share. The page shows the
// identity, then the card's own fields, then the status; it takes the
// identity back, then the card's fields; the three buttons read, reset and
// write the image. A card tab keeps only what is its own.
class CardPage : public CMRXPropertyPage {
 public:
  int UpdateControls() override;
  void UpdateImage() override;

 protected:
  CardPage(const DialogTemplate& dialog, PageSite& site, QWidget* parent);

  bool OnInitDialog() override;

  // Connects the card's own controls once the dialog exists.
  virtual void InitCard() = 0;
  // The card's fields of the held image into its controls, and back.
  virtual void ShowCard(std::span<std::uint8_t> held) = 0;
  virtual void TakeCard(std::span<std::uint8_t> held) = 0;
  // After a read or a reset has shown the image; a card that plays what its
  // tab shows is sent it here.
  virtual void Shown() {}

  // `handler` on every click of button `id`.
  void OnClick(int id, std::function<void()> handler);
  // A 16-byte name field into its edit, and back (the field zeroed first).
  void ShowName(int id, std::span<const std::uint8_t> held, std::size_t at);
  void TakeName(int id, std::span<std::uint8_t> held, std::size_t at);

  // The input rows of an input card (`card::Inputs`).
  void AttachInputs(const card::Inputs& inputs);
  void ShowInputs(const card::Inputs& inputs, std::span<const std::uint8_t> held);
  // Each name with its NUL over the old field; the bytes after it stay.
  void TakeInputs(const card::Inputs& inputs, std::span<std::uint8_t> held);

  // Two channel lists (`card::Assignments`).
  void AttachAssignments(const card::Assignments& a);
  void FillAssignments(const card::Assignments& a);
  void ShowAssignments(const card::Assignments& a, std::span<const std::uint8_t> held);
  void TakeAssignments(const card::Assignments& a, std::span<std::uint8_t> held);
};

}  // namespace desktop::pages
