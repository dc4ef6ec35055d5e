#pragma once

#include <QString>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "remote/link/UnitState.h"

class QWidget;

namespace remote::ui {

// The "Output" row of the Setup menu: no module, no type of its own.
inline constexpr std::uint8_t kOutputPageType = 0xFF;

// A card type and the setup page the remote opens for it.
struct SetupPageClass {
  std::uint8_t typeCode;
  // Null: the remote has no page for the type (explicitly none).
  QWidget* (*create)(link::UnitState& state, int slot, std::uint8_t type, QWidget* parent);
  // False for a card edited on the desktop: its page is drawn, not offered.
  bool inMenu = true;
};

// The remote's setup pages, one row per card type of the catalogue.
std::span<const SetupPageClass> CardSetupPages();

// One item of the Setup menu and the page it opens.
struct SetupPageRow {
  std::string menuText;
  int slot = 0;
  int subAddress = 0;
  std::uint8_t type = 0;
};

// The Setup menu's items: one per listed module that has a page (named as the
// unit names it; the room-correction card is edited on the desktop), then
// "MRX520", "Output" and "Display".
std::vector<SetupPageRow> SetupPageRows(const link::UnitState& state);

// Whether a page exists for a module type at a slot.
bool HasSetupPage(int slot, std::uint8_t type);

// The page for a row, not yet asking for its block (SetupPage::Open does);
// none for a type without a page.
QWidget* CreateSetupPage(link::UnitState& state, int slot, int subAddress, std::uint8_t type,
                         QWidget* parent = nullptr);

// Creates the page full-screen over `parent`, asks for its block and leaves
// it to delete itself when it closes.
void OpenSetupPage(QWidget* parent, link::UnitState& state, int slot, int subAddress,
                   std::uint8_t type);

// Draws every page of the Setup menu into DIR/setup-<n>-<name>.png, each once
// its block has arrived (or after `waitMs` without it). The caller's event
// loop must be delivering the link's frames to `state`. Returns the files written.
std::vector<QString> DrawSetupPages(link::UnitState& state, const QString& dir, int waitMs = 3000);

}  // namespace remote::ui
