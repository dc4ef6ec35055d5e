#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "desktop/pages/CMRXPropertyPage.h"
#include "desktop/pages/ScriptedPrompt.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/Clock.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimUnit.h"
#include "tests/support/QtTestApp.h"

namespace desktop::pages {

// A page's surroundings in a test: the service flag, scripted answers, virtual
// time, and the card page the sheet would find.
class TestSite final : public PageSite {
 public:
  explicit TestSite(platform::Clock& clock) : clock_(clock) {}
  bool ServiceMode() const override { return service; }
  Prompt& GetPrompt() override { return prompt; }
  platform::Clock& GetClock() override { return clock_; }
  CMRXPropertyPage* FindCardPage(std::string_view runtimeClass) override {
    return card != nullptr && runtimeClass == card->GetRuntimeClassName() ? card : nullptr;
  }

  void AfterUpdate(bool succeeded) override { updates.push_back(succeeded); }

  bool service = false;
  ScriptedPrompt prompt;
  std::vector<bool> updates;  // what each update ended in, as the sheet hears it
  CMRXPropertyPage* card = nullptr;

 private:
  platform::Clock& clock_;
};

// The in-process simulated unit behind the program's transport.
class PageFixture : public ::testing::Test {
 protected:
  PageFixture() {
    testing_support::TestApplication();
    Power(sim::DefaultScenario());
  }
  ~PageFixture() override { unitlink::theTiroUSB.SetDeviceIo(nullptr); }

  void Power(const sim::Scenario& scenario) {
    unitlink::theTiroUSB.SetDeviceIo(nullptr);
    io_.reset();
    unit_ = std::make_unique<sim::SimUnit>(scenario, clock_);
    io_ = std::make_unique<sim::SimDeviceIo>(*unit_);
    unitlink::theTiroUSB.SetDeviceIo(io_.get());
    unitlink::theTiroUSB.SetDeviceName("\\\\.\\MRXUSBDevice0");
  }

  // Gives a page its module as discovery does and makes it the current tab.
  void Show(CMRXPropertyPage& page, std::uint8_t address) {
    unitlink::ModuleInfo m;
    ASSERT_TRUE(unitlink::ReadModuleDescriptor(unitlink::theTiroUSB, address, m));
    page.SetModule(m.address, m.subAddress, m.descriptor.data());
    ASSERT_TRUE(page.Activate());
  }

  // Puts bytes into the unit's working and stored settings.
  void StoreInUnit(std::uint8_t address, std::size_t offset,
                   std::initializer_list<std::uint8_t> bytes) {
    auto image = unit_->StoredSettings(address);
    std::size_t at = offset;
    for (std::uint8_t b : bytes) image[at++] = b;
    ASSERT_TRUE(unitlink::WriteSettingsImage(unitlink::theTiroUSB, address, image.size(), image));
  }

  static void Choose(CPropertyPage& page, int id, const char* text) {
    auto* list = page.Get<QComboBox>(id);
    ASSERT_NE(list, nullptr);
    const int index = list->findText(QString::fromLatin1(text));
    ASSERT_GE(index, 0) << text;
    list->setCurrentIndex(index);
    emit list->activated(index);  // what a user's pick sends
  }
  static std::string Text(CPropertyPage& page, int id) {
    QWidget* w = page.Control(id);
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdString();
    ADD_FAILURE() << "no text control " << id;
    return {};
  }
  static void Click(CPropertyPage& page, int id) {
    auto* button = page.Get<QPushButton>(id);
    ASSERT_NE(button, nullptr);
    button->click();
  }

  platform::VirtualClock clock_;
  std::unique_ptr<sim::SimUnit> unit_;
  std::unique_ptr<sim::SimDeviceIo> io_;
  TestSite site_{clock_};
};

}  // namespace desktop::pages
