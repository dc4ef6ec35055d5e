#include "tools/mrxctl/QvoCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "desktop/firmware/CCardDoloThread.h"
#include "desktop/firmware/UpdateRunner.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "protocol/unit/ModelNames.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/ProcessorRecord.h"
#include "tools/mrxctl/BackupCommand.h"
#include "tools/mrxctl/InterruptGuard.h"
#include "tools/mrxctl/Mrxctl.h"
#include "tools/mrxctl/ProgressView.h"

namespace tools::mrxctl {

namespace {

namespace ul = desktop::unitlink;
namespace fw = desktop::firmware;
namespace pu = protocol::unit;
using Json = nlohmann::ordered_json;

constexpr const char* kSides[] = {"left", "right"};

// A unit that drops an exchange now and then takes the next one.
bool Asked(Context& q, const std::function<bool()>& exchange) {
  return Ask(q, exchange) == Answer::kAnswered;
}

std::string Format(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string VersionText(int major, int minor) {
  return Format("V%d.%03d", major, minor);
}

std::string DateText(const pu::PackedDate& d) {
  return Format("%04d-%02d-%02d", d.year, d.month, d.day);
}

// The card at `address`, or the exit code that says why there is none.
int FindCard(Context& q, unsigned address) {
  ul::ModuleInfo unit;
  if (!Asked(q, [&] { return ul::ReadModuleDescriptor(q.usb, pu::kMainUnitAddress, unit); })) {
    return NoUnitAnswers(q);
  }
  ul::ModuleInfo card;
  const auto at = static_cast<std::uint8_t>(address);
  if (address == pu::kMainUnitAddress || address > unit.Fields().slotCount ||
      !Asked(q, [&] { return ul::ReadModuleDescriptor(q.usb, at, card); })) {
    SayNoModuleAt(q, address);
    return kExitDataError;
  }
  const std::uint8_t type = card.Fields().type;
  if (type != pu::type::kQVO520 && type != pu::type::kQVO520b) {
    const auto known = pu::FindModuleType(type);
    q.err << "mrxctl: the module at address " << address << " is "
          << (known ? std::string("a ") + std::string(known->model)
                    : "of type " + std::to_string(type))
          << ", not a QVO520\n";
    return kExitDataError;
  }
  return kExitOk;
}

bool ReadRecord(Context& q, unsigned address, int processor, pu::ProcessorRecord& record) {
  std::uint8_t bytes[pu::ProcessorRecord::kSize] = {};
  const auto at = static_cast<std::uint8_t>(address);
  const auto index = static_cast<std::uint8_t>(processor);
  if (!Asked(q, [&] { return q.usb.ReadProcessorRecord(at, index, bytes); })) return false;
  record = pu::ProcessorRecord::Decode(bytes);
  return true;
}

Json RecordJson(int processor, const pu::ProcessorRecord& r) {
  Json j = {{"processor", kSides[processor]},
            {"hardwareType", std::string(pu::ModelName(r.model))},
            {"model", r.model},
            {"software", std::string(pu::ComponentName(r.component))},
            {"component", r.component},
            {"version", VersionText(r.major, r.minor)},
            {"label", r.update ? "update" : "orig"},
            {"date", DateText(r.date)}};
  if (r.secondComponent != 0) {
    j["second"] = {{"software", std::string(pu::ComponentName(r.secondComponent))},
                   {"component", r.secondComponent},
                   {"version", VersionText(r.secondMajor, r.secondMinor)},
                   {"date", DateText(r.secondDate)}};
  }
  j["board"] = {{"serial", Format("%04u", r.board.serial % pu::BoardIdentity::kSerialModulus)},
                {"delivery", Format("%04d-%02d-%02d", 2000 + r.board.deliveryYear,
                                    r.board.deliveryMonth, r.board.deliveryDay)}};
  return j;
}

void PrintRecord(Context& q, int processor, const pu::ProcessorRecord& r) {
  const Json j = RecordJson(processor, r);
  q.out << (processor == 0 ? "Left" : "Right")
        << " processor: " << j["hardwareType"].get<std::string>() << ", "
        << j["software"].get<std::string>() << " " << j["version"].get<std::string>() << " of "
        << j["date"].get<std::string>() << " (" << j["label"].get<std::string>() << ")";
  if (j.contains("second")) {
    q.out << ", " << j["second"]["software"].get<std::string>() << " "
          << j["second"]["version"].get<std::string>() << " of "
          << j["second"]["date"].get<std::string>();
  }
  q.out << "; board " << j["board"]["serial"].get<std::string>() << " delivered "
        << j["board"]["delivery"].get<std::string>() << "\n";
}

int Info(Context& q, unsigned address) {
  if (int rc = FindCard(q, address); rc != kExitOk) return rc;
  Json list = Json::array();
  for (int p = 0; p < 2; ++p) {
    pu::ProcessorRecord r;
    if (!ReadRecord(q, address, p, r)) {
      q.err << "mrxctl: the " << kSides[p] << " processor's record did not come\n";
      return kExitIoError;
    }
    if (q.json) {
      list.push_back(RecordJson(p, r));
    } else {
      PrintRecord(q, p, r);
    }
  }
  if (q.json) q.out << list.dump(2) << "\n";
  return kExitOk;
}

int Update(Context& q, unsigned address, int processor, bool noBackup) {
  if (int rc = FindCard(q, address); rc != kExitOk) return rc;
  pu::ProcessorRecord before;
  if (!ReadRecord(q, address, processor, before)) {
    q.err << "mrxctl: the " << kSides[processor] << " processor's record did not come\n";
    return kExitIoError;
  }
  const fw::_DoloPacket* first = nullptr;
  const fw::_DoloPacket* second = nullptr;
  if (!fw::CCardDoloThread::FindPackages(::GetDoloBase(), before.model, before.component, first,
                                         second)) {
    q.err << "mrxctl: this program carries no software for the " << kSides[processor]
          << " processor (" << pu::ModelName(before.model) << ", "
          << pu::ComponentName(before.component) << ")\n";
    return kExitSoftware;
  }
  SafetyBackup safety;
  safety.options.curves = false;
  if (int rc = BackupBeforeUpdate(q, noBackup, safety); rc != kExitOk) return rc;
  const std::string carried = fw::DoloVersionText(first->version);
  q.out << "Updating the " << kSides[processor] << " processor of the QVO520 at address " << address
        << " from " << VersionText(before.major, before.minor) << " to " << carried << ".\n";

  ProgressView view(q.out, q.err, q.terminal);
  view.LinePerTenth();
  std::string fault;  // the text of the last fault the worker reported
  fw::UpdateRunner runner([&](const fw::UpdateStatus& status) {
    if (status.kind == fw::StatusKind::kFault) fault = status.text;
    view.Draw(status);
  });
  InterruptGuard guard("stopping now leaves the " + std::string(kSides[processor]) +
                       " processor without working software until the update is run again");
  runner.OnUnsafe([&guard](bool unsafe) { guard.SetUnsafe(unsafe); });
  fw::CCardDoloThread worker(static_cast<std::uint8_t>(address),
                             static_cast<std::uint8_t>(processor), before, runner.Target(), q.usb,
                             q.clock);
  fw::UpdateResult result = runner.Run(worker);
  view.Finish();
  // An unanswered end is decided by the version the processor reports now.
  if (!result.Done() && result.reason != fw::UpdateReason::kUnanswered) {
    if (!fault.empty()) q.err << fault << "\n";
    q.err << "mrxctl: the " << kSides[processor] << " processor's update failed\n";
    return UpdateExitCode(result.reason);
  }
  pu::ProcessorRecord now;
  fw::UpdateRunner::ReadBack(
      result,
      [&]() -> std::optional<fw::SoftwareVersion> {
        if (!ReadRecord(q, address, processor, now)) return std::nullopt;
        return fw::SoftwareVersion{now.major, now.minor};
      },
      fw::DoloSoftwareVersion(first->version));
  if (result.reason == fw::UpdateReason::kNotConfirmed) {
    q.err << "mrxctl: the card has not reported since the download, so the update is not "
             "confirmed\n";
    return kExitIoError;
  }
  if (result.reason == fw::UpdateReason::kNotTaken) {
    q.err << "mrxctl: the processor "
          << (result.decidedByReadBack ? "now reports " : "still reports ")
          << VersionText(now.major, now.minor) << ", not the carried " << carried
          << "; the update did not take\n";
    return kExitIoError;
  }
  if (result.decidedByReadBack) {
    q.out << "The card did not answer the end of the download, but the processor now reports "
          << VersionText(now.major, now.minor) << ".\n";
  }
  PrintRecord(q, processor, now);
  CompareAfterUpdate(q, safety);
  return kExitOk;
}

}  // namespace

void AddQvoCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  struct Request {
    unsigned address = 0;
    std::string side;
    bool noBackup = false;
  };
  auto request = std::make_shared<Request>();
  Context* qvo = &ctx;
  auto* command = app.add_subcommand("qvo", "the QVO520 output card's signal processors");
  command->require_subcommand(1);
  auto* info = command->add_subcommand("info", "show both processors' software and boards");
  info->add_option("ADDRESS", request->address, "the card's module address")
      ->required()
      ->check(CLI::Range(0u, 15u));
  info->callback([&action, request, qvo] {
    action = [request, qvo] { return Info(*qvo, request->address); };
  });
  auto* update = command->add_subcommand(
      "update", "load the carried software into one processor; do not switch the unit off");
  update->add_option("ADDRESS", request->address, "the card's module address")
      ->required()
      ->check(CLI::Range(0u, 15u));
  update->add_option("PROCESSOR", request->side, "left or right")
      ->required()
      ->check(CLI::IsMember({"left", "right"}));
  update->add_flag("--no-backup", request->noBackup,
                   "update without a backup of the settings first (one that cannot read every "
                   "module stops the update)");
  update->callback([&action, request, qvo] {
    action = [request, qvo] {
      return Update(*qvo, request->address, request->side == "right" ? 1 : 0, request->noBackup);
    };
  });
}

}  // namespace tools::mrxctl
