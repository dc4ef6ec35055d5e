#include "remote/ui/SetupPageCard.h"

#include <algorithm>

namespace remote::ui {

SetupPageCard::SetupPageCard(link::UnitState& state, int slot, std::size_t imageEnd,
                             QWidget* parent)
    : SetupPage(state, slot, 0, parent),
      settingsSize_(std::min(
          BlockBindings::CardOffset(imageEnd) - protocol::remote::ModuleBlock::kOffSettings,
          protocol::remote::ModuleBlock::kMaxSettings)) {}

void SetupPageCard::FillControls(const Block& block) {
  filling_ = true;
  bindings_.Fill(block);
  Filled(block);
  filling_ = false;
}

std::size_t SetupPageCard::FillBlock(Block& block) {
  bindings_.Store(block);
  return settingsSize_;
}

}  // namespace remote::ui
