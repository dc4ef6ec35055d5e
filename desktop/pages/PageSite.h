#pragma once

#include <string_view>

#include "desktop/pages/Prompt.h"
#include "platform/Clock.h"

namespace desktop::pages {

class CMRXPropertyPage;

// What a page needs from the program around it: the service flag of the
// command line, the message boxes, the clock, and the sheet's card pages.
class PageSite {
 public:
  virtual ~PageSite() = default;
  virtual bool ServiceMode() const = 0;
  virtual Prompt& GetPrompt() = 0;
  virtual platform::Clock& GetClock() = 0;
  // The first card page of this run-time class, or null. Valid only until the
  // next discovery.
  virtual CMRXPropertyPage* FindCardPage(std::string_view runtimeClass) = 0;
  // A page runs a message box or dialog with its own event loop in between:
  // the sheet deletes no page until the last one has returned.
  virtual void EnterModal() {}
  virtual void LeaveModal() {}
  // Around a software update of the unit or a card: before it, the program
  // keeps the unit's settings in a backup (`curves`: the KLF310 curves too);
  // false means the user chose not to update. After it, the settings are
  // compared with that backup and the user told what changed.
  virtual bool BeforeUpdate(bool /*curves*/) { return true; }
  virtual void AfterUpdate(bool /*succeeded*/) {}
};

// Held by a page around a dialog it opens itself (message boxes asked through
// the site's prompt are covered already).
class ModalScope {
 public:
  explicit ModalScope(PageSite& site) : site_(site) { site_.EnterModal(); }
  ~ModalScope() { site_.LeaveModal(); }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  PageSite& site_;
};

}  // namespace desktop::pages
