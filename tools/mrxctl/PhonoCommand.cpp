#include "tools/mrxctl/PhonoCommand.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "desktop/roomcorrection/CFilterDesign.h"
#include "desktop/roomcorrection/ResponseText.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/Bytes.h"
#include "platform/CodePage.h"
#include "platform/PrintableText.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/PhonoImage.h"
#include "protocol/unit/SettingsImage.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;
using desktop::roomcorrection::CFilterDesign;
using Img = pu::PhonoImage;
using Slot = pu::PhonoCurveSlot;
using Json = nlohmann::ordered_json;

// The frequencies a curve is summed up by.
constexpr double kSummaryHz[] = {20, 100, 1000, 10000, 20000};
// The range of the graph on the card's tab, so both give the same response.
constexpr double kLowestHz = 5;
constexpr double kHighestHz = 30000;
constexpr const char* kTimeNames[Slot::kTimeCount] = {"t1", "t2", "t3", "t4"};
constexpr const char* kTimeRoles[Slot::kTimeCount] = {
    "bass, low-pass", "mid range", "high range, low-pass", "lower bass, high-pass"};

struct Request {
  unsigned address = 0;
  std::string responseFile;
};

bool IsPhono(std::uint8_t type) {
  return type == pu::type::kQVI520 || type == pu::type::kBUZ310;
}

int Curve(Context& p, const Request& r) {
  const ul::Discovery found = ul::DiscoverModules(p.usb);
  if (!found.unitPresent) return NoUnitAnswers(p);
  const ul::ModuleInfo* card = nullptr;
  for (const ul::ModuleInfo& m : found.cards) {
    if (m.address == r.address) card = &m;
  }
  if (card == nullptr || !IsPhono(card->Fields().type)) {
    p.err << "mrxctl: module " << r.address << " is no phono card (QVI520 or BUZ310)\n";
    return kExitDataError;
  }
  const auto model = pu::FindModuleType(card->Fields().type)->model;
  if (!card->Fields().SoftwareRunning()) {
    p.err << "mrxctl: module " << r.address << " (" << model
          << ") is not running its software, so its curves cannot be reached\n";
    return kExitUnavailable;
  }
  const std::size_t length = ul::SettingsLength(*card);
  if (length < Img::SlotOffset(Img::kSlotCount)) {
    p.err << "mrxctl: module " << r.address << " (" << model << ") reports " << length
          << " settings bytes, too few to hold its curves\n";
    return kExitDataError;
  }
  std::vector<std::uint8_t> image(pu::SettingsImage::kMaxSize);
  if (!ul::ReadSettingsImage(p.usb, card->address, length, false, image)) {
    p.err << "mrxctl: reading the settings of module " << r.address << " failed\n";
    return kExitIoError;
  }

  // A selection byte past the eight slots stands for the first, as on the tab.
  std::size_t slot = image[Img::kSelectedCurve];
  if (slot >= Img::kSlotCount) slot = 0;
  const std::size_t at = Img::SlotOffset(slot);
  const std::uint16_t word = platform::GetU16(image, at + Slot::kWord);
  std::array<std::uint16_t, Slot::kTimeCount> t{};
  for (std::size_t i = 0; i < t.size(); ++i)
    t[i] = platform::GetU16(image, at + Slot::TimeOffset(i));
  const auto* nameBytes = reinterpret_cast<const char*>(image.data() + at + Slot::kName);
  const std::string name = platform::CodePageToUtf8(
      std::string_view(nameBytes, strnlen(nameBytes, Slot::kNameSize - 1)));

  if (!r.responseFile.empty()) {
    CFilterDesign design;
    design.SetFrequencyRange(kLowestHz, kHighestHz);
    design.SetTimeConstants(t[0], t[1], t[2], t[3]);
    std::string error;
    if (!platform::WriteOutputFile(r.responseFile, desktop::roomcorrection::ResponseText(design),
                                   error)) {
      p.err << "mrxctl: " << error << "\n";
      return kExitIoError;
    }
    if (r.responseFile == "-") return kExitOk;  // the response is the output
  }

  auto response = [&](double hz) {
    return CFilterDesign::EqualizerResponse(hz, t[0], t[1], t[2], t[3]);
  };
  if (p.json) {
    auto times = Json::array();
    for (std::size_t i = 0; i < t.size(); ++i) {
      Json entry = {{"name", kTimeNames[i]}, {"us", t[i]}, {"disabled", t[i] == 0}};
      // A disabled time constant is computed as the longest one.
      entry["hz"] =
          CFilterDesign::TimeConstantToHz(t[i] == 0 ? CFilterDesign::kDisabledTimeConstant : t[i]);
      times.push_back(entry);
    }
    auto points = Json::array();
    for (double hz : kSummaryHz) points.push_back({{"hz", hz}, {"db", response(hz)}});
    const Json doc = {{"address", card->address},
                      {"model", model},
                      {"slot", slot},
                      {"curveNumber", (word >> Slot::kCurveShift) & Slot::kCurveMask},
                      {"name", name},
                      {"gainDb", image[Img::kGain] / 10.0},
                      {"timeConstants", times},
                      {"response", points}};
    p.out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  p.out << "Module " << unsigned{card->address} << " (" << model << "), curve " << slot << " \""
        << platform::PrintableUtf8(name) << "\", gain " << pu::LevelText(image[Img::kGain]) << "\n";
  for (std::size_t i = 0; i < t.size(); ++i) {
    p.out << kTimeNames[i] << "  ";
    if (t[i] == 0) {
      p.out << "disabled";
    } else {
      char line[64];
      std::snprintf(line, sizeof line, "%5u us  %7.1f Hz", unsigned{t[i]},
                    CFilterDesign::TimeConstantToHz(t[i]));
      p.out << line;
    }
    p.out << "   (" << kTimeRoles[i] << ")\n";
  }
  for (double hz : kSummaryHz) {
    char line[64];
    std::snprintf(line, sizeof line, "%7.0f Hz  %+6.1f dB\n", hz, response(hz));
    p.out << line;
  }
  return kExitOk;
}

}  // namespace

void AddPhonoCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  auto state = std::make_shared<Request>();
  auto* phono = app.add_subcommand("phono", "the equaliser curves of a phono card");
  auto* curve = phono->add_subcommand(
      "curve", "the selected curve: time constants, corner frequencies and response");
  curve->add_option("ADDRESS", state->address, "the phono card's module address")
      ->required()
      ->check(CLI::Range(0, 15));
  curve
      ->add_option("--response", state->responseFile,
                   "write the whole response to FILE, one 'frequency<TAB>dB' line per point "
                   "('-' for standard output)")
      ->type_name("FILE");
  curve->callback(
      [&ctx, &action, state] { action = [&ctx, state] { return Curve(ctx, *state); }; });
}

}  // namespace tools::mrxctl
