#pragma once

#include "desktop/pages/PageSite.h"
#include "desktop/pages/Prompt.h"

namespace desktop::shell {

// The prompt the sheet gives its pages: every question runs inside a modal
// scope, so a device change that arrives while the box is open waits until
// the page's handler has its answer and has returned.
class SheetPrompt final : public pages::Prompt {
 public:
  SheetPrompt(pages::Prompt& inner, pages::PageSite& site) : inner_(inner), site_(site) {}
  Answer Ask(std::string_view text, Buttons buttons, Icon icon) override {
    const pages::ModalScope scope(site_);
    return inner_.Ask(text, buttons, icon);
  }

 private:
  pages::Prompt& inner_;
  pages::PageSite& site_;
};

}  // namespace desktop::shell
