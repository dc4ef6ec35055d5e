#pragma once

#include <cstdint>
#include <functional>

#include "protocol/unit/FieldRow.h"

namespace desktop::pages {

class CMRXPropertyPage;

// The two level sliders of a converter tab with their level texts and the
// check box that links them; both levels take the range of `field`. A move by the user (not by the
// page showing the image) moves the other slider too while linked, then tells the page.
class LinkedSliders {
 public:
  struct Ids {
    int slider1, text1, slider2, text2, link;
  };
  LinkedSliders(CMRXPropertyPage& page, Ids ids, const protocol::unit::FieldRow& field);

  // Connects the controls once the dialog exists; `moved` runs after every
  // move the user makes.
  void Attach(std::function<void()> moved);
  // Range, page size and ticks, then the two levels, clamped to the range.
  void Show(int level1, int level2);
  int Level1() const;
  int Level2() const;
  // The two levels as the unit's live command carries them (command 157).
  void SendLevels();

 private:
  void Moved(int from, int to);
  void ShowTexts();

  CMRXPropertyPage& page_;
  Ids ids_;
  int min_;
  int max_;
  std::function<void()> moved_;
  bool showing_ = false;
};

}  // namespace desktop::pages
