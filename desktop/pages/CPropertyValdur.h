#pragma once

#include <string>

#include "desktop/firmware/DoloPacket.h"
#include "desktop/pages/CPropertyPage.h"

namespace desktop::pages {

// The about tab: product title, the year range and version of the unit host
// software this program carries for updates, and the logo.
class CPropertyValdur : public CPropertyPage {
 public:
  static constexpr int kIdd = 111;
  static constexpr int kVersionLine = 1064;
  static constexpr int kPicture = 1003;
  static constexpr int kWebAddress = 1068;

  explicit CPropertyValdur(const firmware::_DoloPacket* list = GetDoloBase(),
                           QWidget* parent = nullptr);
  const char* GetRuntimeClassName() const override { return "CPropertyValdur"; }

  // "2004-YYYY, Version M.mmm" of the carried host record; empty without one.
  static std::string VersionLine(const firmware::_DoloPacket* list);

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(bool saveAndValidate) override;

 private:
  const firmware::_DoloPacket* list_;
  std::string version_;
};

}  // namespace desktop::pages
