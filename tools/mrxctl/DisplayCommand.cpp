#include "tools/mrxctl/DisplayCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "desktop/unitlink/DisplayPicture.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/CoreImageEncoders.h"
#include "protocol/unit/DisplayLevels.h"
#include "protocol/unit/DisplayRow.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
using pu::DisplaySetting;
using Json = nlohmann::ordered_json;

// The names scripts give the eight settings, in the order of the unit's reply.
struct SettingName {
  DisplaySetting setting;
  const char* name;
};
constexpr SettingName kSettingNames[] = {
    {DisplaySetting::kBrightnessOn, "brightness-on"},
    {DisplaySetting::kBrightnessOff, "brightness-off"},
    {DisplaySetting::kContrast, "contrast"},
    {DisplaySetting::kPeakmeterDelay, "peakmeter-delay"},
    {DisplaySetting::kLedZEL520Front, "zel520-led-front"},
    {DisplaySetting::kLedZEL520Rear, "zel520-led-rear"},
    {DisplaySetting::kLedTWR520, "twr520-led"},
    {DisplaySetting::kBrightnessAlternate, "brightness-alternate"},
};
static_assert(std::size(kSettingNames) == pu::DisplayLevels::kCount);

// Command 33; false when the unit does not answer it.
bool ReadLevels(Context& d, pu::DisplayLevels& levels) {
  std::uint8_t reply[pu::kFrameSize] = {};
  if (!d.usb.SendCommand(reply, pu::Code(pu::UnitCommand::kReadDisplayLevels), pu::kMainUnitAddress,
                         0, 0, 0, 0, nullptr)) {
    d.err << "mrxctl: the unit did not report its display settings\n";
    return false;
  }
  levels = pu::DisplayLevels::Decode(
      std::span<const std::uint8_t>(reply + pu::ReplyHeader::kData, pu::DisplayLevels::kSize));
  return true;
}

int Get(Context& d) {
  ul::ModuleInfo unit;
  if (!ul::ReadModuleDescriptor(d.usb, pu::kMainUnitAddress, unit)) return NoUnitAnswers(d);
  pu::DisplayLevels levels;
  if (!ReadLevels(d, levels)) return kExitIoError;
  if (d.json) {
    auto list = Json::array();
    for (const SettingName& s : kSettingNames) {
      const pu::DisplayLevel& l = levels[s.setting];
      list.push_back({{"name", s.name}, {"value", l.value}, {"min", l.min}, {"max", l.max}});
    }
    d.out << list.dump(2) << "\n";
    return kExitOk;
  }
  d.out << "NAME                 VALUE  MIN  MAX\n";
  for (const SettingName& s : kSettingNames) {
    const pu::DisplayLevel& l = levels[s.setting];
    char line[80];
    std::snprintf(line, sizeof line, "%-20s %5u %4u %4u\n", s.name, unsigned{l.value},
                  unsigned{l.min}, unsigned{l.max});
    d.out << line;
  }
  return kExitOk;
}

int Set(Context& d, const std::string& name, int value) {
  const SettingName* setting = nullptr;
  for (const SettingName& s : kSettingNames) {
    if (name == s.name) setting = &s;
  }
  if (setting == nullptr) return kExitUsage;  // the parser admits only the names above
  ul::ModuleInfo unit;
  if (!ul::ReadModuleDescriptor(d.usb, pu::kMainUnitAddress, unit)) return NoUnitAnswers(d);
  pu::DisplayLevels levels;
  if (!ReadLevels(d, levels)) return kExitIoError;
  const pu::DisplayLevel range = levels[setting->setting];
  if (value < range.min || value > range.max) {
    d.err << "mrxctl: " << value << " is outside the unit's range " << unsigned{range.min} << "-"
          << unsigned{range.max} << " for " << name << "\n";
    return kExitDataError;
  }
  pu::UnitCommand command{};
  for (const pu::DisplaySettingCommand& row : pu::kDisplaySettingCommands) {
    if (row.setting == setting->setting) command = row.command;
  }
  if (!d.usb.SendCommand(nullptr, pu::Code(command), pu::kMainUnitAddress, 0,
                         static_cast<std::uint8_t>(value), 0, 0, nullptr) ||
      !ReadLevels(d, levels)) {
    d.err << "mrxctl: setting " << name << " failed\n";
    return kExitIoError;
  }
  if (levels[setting->setting].value != value) {
    d.err << "mrxctl: the unit reports " << name << " " << unsigned{levels[setting->setting].value}
          << ", not " << value << "\n";
    return kExitIoError;
  }
  return kExitOk;
}

int Screenshot(Context& d, const std::string& file) {
  const platform::ImageEncoderRegistry encoders = platform::MakeCoreImageEncoders();
  // On standard output the picture goes as PNG.
  const std::string format = IsStandardOutput(file) ? "standard-output.png" : file;
  if (encoders.Find(format) == nullptr) {
    d.err << "mrxctl display screenshot: cannot write '" << file
          << "': give a file ending in .bmp, .gif or .png\n";
    return kExitUsage;
  }
  const ul::Discovery found = ul::DiscoverModules(d.usb);
  if (!found.unitPresent) return NoUnitAnswers(d);
  const ul::ModuleInfo* front = nullptr;
  for (const ul::ModuleInfo& card : found.cards) {
    if (card.Fields().type == pu::type::kFront26) front = &card;
  }
  if (front == nullptr) {
    d.err << "mrxctl: the unit has no display module (Front26)\n";
    return kExitUnavailable;
  }
  // The picture is large: kept off the stack.
  auto picture = std::make_unique<ul::DisplayPicture>();
  const int rows = ul::ReadDisplayPicture(d.usb, front->address, front->subAddress, *picture);
  if (rows != static_cast<int>(pu::DisplayRow::kHeight)) {
    d.err << "mrxctl: the unit answered " << rows << " of " << pu::DisplayRow::kHeight
          << " display rows; nothing written\n";
    return kExitIoError;
  }
  std::string error;
  d.out.flush();  // the picture may go to the same standard output
  if (!encoders.Save(picture->Picture(), file, error, format)) {
    SayCannotWrite(d, error);
    return kExitIoError;
  }
  return kExitOk;
}

}  // namespace

void AddDisplayCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  Context* display = &ctx;
  auto* group = app.add_subcommand("display", "the front display: its picture and its settings");

  auto file = std::make_shared<std::string>();
  auto* shot = group->add_subcommand(
      "screenshot", "save what the display shows to FILE (.bmp, .gif or .png by its extension)");
  shot->add_option("FILE", *file, "the picture file (483 x 259, two colours)")->required();
  shot->callback([display, file, &action] {
    action = [display, file] { return Screenshot(*display, *file); };
  });

  group->add_subcommand("get", "show the eight display settings: value, minimum, maximum")
      ->callback([display, &action] { action = [display] { return Get(*display); }; });

  std::vector<std::string> names;
  for (const SettingName& s : kSettingNames) names.emplace_back(s.name);
  auto name = std::make_shared<std::string>();
  auto value = std::make_shared<int>(0);
  auto* set = group->add_subcommand(
      "set", "set one display setting within the unit's range (exit 65 outside it)");
  set->add_option("NAME", *name, "the setting, as 'display get' names it")
      ->required()
      ->check(CLI::IsMember(names));
  set->add_option("VALUE", *value, "the new value")->required()->check(CLI::Range(0, 255));
  set->callback([display, name, value, &action] {
    action = [display, name, value] { return Set(*display, *name, *value); };
  });
}

}  // namespace tools::mrxctl
