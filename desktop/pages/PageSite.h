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
};

}  // namespace desktop::pages
