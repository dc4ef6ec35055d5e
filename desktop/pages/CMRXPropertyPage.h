#pragma once

#include <QFont>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "desktop/pages/CPropertyPage.h"
#include "desktop/pages/PageSite.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "protocol/unit/SettingsImage.h"

class QComboBox;
class QDateEdit;

namespace desktop::pages {

// Control ids every module dialog shares.
namespace common {
inline constexpr int kDelivery = 1004;
inline constexpr int kSerial = 1005;
inline constexpr int kDefault = 1008;
inline constexpr int kRead = 1009;
inline constexpr int kWrite = 1010;
inline constexpr int kStatusLine = 1109;
}  // namespace common

// The tab of one module of the unit: holds the module's descriptor and
// settings image, reads, writes and resets it with the three buttons, asks
// "Save changes?" when left with edits, and offers the clock, status and live
// commands. A derived page binds its controls to bytes of the image and marks
// the page dirty when the user changes one.
class CMRXPropertyPage : public CPropertyPage {
 public:
  static constexpr const char* kTextSaveChanges = "Save changes?";
  static constexpr const char* kTextResetIdentity = "Reset also serial and delivery?";
  static constexpr const char* kTextEepromError = "EEPROM-ERROR";
  static constexpr const char* kDeliveryFormat = "dddd, d. MMMM yyyy";

  CMRXPropertyPage(const DialogTemplate& dialog, PageSite& site, QWidget* parent = nullptr);

  const char* GetRuntimeClassName() const override { return "CMRXPropertyPage"; }

  void SetModule(std::uint8_t address, std::uint8_t subAddress, const std::uint8_t* descriptor);
  // Whether the module answered at the last discovery; activation enables the
  // controls only then.
  void SetPresent(bool present) { present_ = present; }

  virtual int UpdateControls();
  virtual void UpdateImage();
  virtual void ReadSettings(int reload, bool refresh);
  virtual void WriteSettings(int store);
  virtual void EnableControls(bool enable);
  virtual void DefaultSettings();
  virtual int ReadDisplayRow(std::uint8_t* buffer);
  virtual void SyncClock();
  virtual bool ReadClock(std::uint8_t* record);
  virtual void SetLiveValue(std::uint8_t value);
  virtual void SetLiveLevels(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d);

  bool OnSetActive() override;
  bool OnKillActive() override;

  void ReadStatus();
  void SetLiveWords(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d);
  void SetLiveWord(std::uint16_t value);
  static std::uint16_t SerialFromText(std::string_view text);
  static std::string SerialToText(std::uint16_t serial);
  void ShowDeliveryDate(QDateEdit* picker);
  void TakeDeliveryDate(QDateEdit* picker);
  void FillChannelList(QComboBox* list);
  static std::string_view ModelName(int code);
  static std::string_view ComponentName(int code);

  // The module as the page knows it.
  std::uint8_t Address() const { return module_.address; }
  std::uint8_t SubAddress() const { return module_.subAddress; }
  const protocol::unit::DescriptorBytes& Descriptor() const { return module_.descriptor; }
  protocol::unit::ModuleDescriptor Fields() const { return module_.Fields(); }
  std::span<std::uint8_t> Image() { return image_; }
  std::span<const std::uint8_t> Image() const { return image_; }
  const std::array<std::uint8_t, protocol::unit::StatusRecord::kSize>& Status() const {
    return status_;
  }
  bool IsDirty() const { return dirty_; }
  void SetModified(bool dirty = true) { dirty_ = dirty; }

 protected:
  bool OnInitDialog() override;
  PageSite& Site() { return site_; }
  bool Present() const { return present_; }
  bool ServiceMode() const { return site_.ServiceMode(); }
  // Marks the page dirty when the user changes this control.
  void MarkDirtyOnChange(int id);

 private:
  PageSite& site_;
  std::array<std::uint8_t, protocol::unit::SettingsImage::kMaxSize> image_{};
  unitlink::ModuleInfo module_;
  std::array<std::uint8_t, protocol::unit::StatusRecord::kSize> status_{};
  QFont statusFont_;
  bool dirty_ = false;
  bool present_ = false;
};

}  // namespace desktop::pages
