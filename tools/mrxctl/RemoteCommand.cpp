#include "tools/mrxctl/RemoteCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/HandheldEnv.h"
#include "platform/MessageTarget.h"
#include "platform/PrintableText.h"
#include "platform/Registry.h"
#include "platform/RuntimeDir.h"
#include "platform/SimBluetoothWire.h"
#include "platform/SocketPath.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace rl = remote::link;

namespace {

using Action = RemoteRequest::Action;

constexpr int kPumpStepMs = 20;

// Text the stack or the unit gave that is not valid UTF-8 comes out with
// replacement characters rather than breaking the document.
void PrintJson(std::ostream& out, const nlohmann::ordered_json& value) {
  out << value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// One connection to a unit, run from this thread as the remote's view runs it.
class Session {
 public:
  Session(platform::Bluetooth& bluetooth, int timeoutMs)
      : link_(bluetooth, platform::DefaultClock()),
        state_(link_, platform::DefaultClock()),
        timeoutMs_(timeoutMs) {}

  void Connect(const platform::BtAddress& address, const std::string& name) {
    link_.SetUnit(address, name, std::string(protocol::remote::kServiceHardware));
    link_.SetEnabled(true);
    state_.StartPolling();
    link_.Start(&window_, false);
  }
  // Runs the link and the polling until `done` or the time is up.
  bool RunUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    while (std::chrono::steady_clock::now() < end) {
      window_.WaitForMessage(kPumpStepMs);
      window_.Drain([&](const platform::Message& m) { state_.HandleLinkMessage(m); });
      state_.Tick();
      if (done()) return true;
    }
    return false;
  }
  bool Complete() { return state_.HaveInfo() && state_.HaveStatus() && state_.ListComplete(); }
  // Forgets what this side wrote and asks the unit again, so what is shown is the unit's word.
  bool Confirm() {
    state_.Reset();
    return RunUntil([&] { return Complete(); });
  }
  rl::UnitState& State() { return state_; }
  bool Connected() const { return link_.IsConnected(); }

 private:
  platform::QueueTarget window_;  // outlives the link's reader
  rl::UnitLink link_;
  rl::UnitState state_;
  int timeoutMs_;
};

struct Remote {
  const RemoteRequest& request;
  bool json;
  std::ostream& out;
  std::ostream& err;
  std::unique_ptr<platform::Bluetooth> bluetooth;
  platform::HandheldEnv env{platform::HandheldEnv::DefaultRoot()};
  std::unique_ptr<platform::FileRegistry> registry;
  std::unique_ptr<rl::DeviceStore> store;
};

int List(Remote& r) {
  std::vector<platform::BtDeviceInfo> found;
  std::string error;
  const bool ok = r.bluetooth->Inquiry(
      [&](const platform::BtDeviceInfo& d) {
        if (std::none_of(found.begin(), found.end(),
                         [&](const auto& f) { return f.address == d.address; })) {
          found.push_back(d);
        }
        return true;
      },
      error);
  if (!ok) {
    r.err << "mrxctl: inquiry failed: " << error << "\n";
    return kExitUnavailable;
  }
  if (r.json) {
    auto units = nlohmann::ordered_json::array();
    for (const auto& d : found) units.push_back({{"address", d.address.Colon()}, {"name", d.name}});
    PrintJson(r.out, units);
  } else {
    for (const auto& d : found) {
      r.out << d.address.Colon() << "  "
            << (d.name.empty() ? d.address.Bracketed() : platform::PrintableUtf8(d.name)) << "\n";
    }
  }
  if (found.empty()) {
    // An empty list and success would read as "there is nothing to find" to a script.
    r.err << "mrxctl: the inquiry (" << r.bluetooth->BackendName()
          << " stack) found no unit in reach\n";
    return kExitUnavailable;
  }
  return kExitOk;
}

// The unit to talk to: --address, else the default unit the user chose. Never
// another one: commands for the living room must not reach the kitchen's unit
// because it happened to answer the inquiry first.
bool ChooseUnit(Remote& r, platform::BtAddress& address, std::string& name) {
  if (r.request.address) {
    address = *r.request.address;
    for (const auto& e : r.store->Devices()) {
      if (e.address == address) name = e.friendlyName;
    }
    return true;
  }
  if (r.store->DefaultAddress().IsZero()) return false;
  address = r.store->DefaultAddress();
  name = r.store->DefaultName();
  return true;
}

// Tenths of a dB as the unit shows them.
std::string Decibels(int tenths) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
  return text;
}

std::string SourceName(rl::UnitState& s) {
  const auto& st = s.Status();
  const std::string name = s.FirstName(false, st.sourceSlot, st.sourceInput);
  return name.empty()
             ? "slot " + std::to_string(st.sourceSlot) + " input " + std::to_string(st.sourceInput)
             : name;
}

void PrintStatus(Remote& r, rl::UnitState& s, const platform::BtAddress& address,
                 const std::string& name) {
  const auto& st = s.Status();
  const bool muted = r.store->MuteIsFade() ? st.FadedOut() : st.Muted();
  const char group = static_cast<char>('A' + st.Group());
  if (r.json) {
    PrintJson(r.out, {{"address", address.Colon()},
                      {"name", name},
                      {"serial", s.Info().serialNumber},
                      {"power", st.PowerOn()},
                      {"volume", st.volume / 10.0},
                      {"source", SourceName(s)},
                      {"group", std::string(1, group)},
                      {"mute", muted}});
    return;
  }
  char volume[16];
  std::snprintf(volume, sizeof volume, "%.1f", st.volume / 10.0);
  r.out << "unit    " << (name.empty() ? address.Bracketed() : platform::PrintableUtf8(name)) << " "
        << address.Colon() << "\n"
        << "power   " << (st.PowerOn() ? "on" : "standby") << "\n"
        << "volume  " << volume << " dB\n"
        << "source  " << platform::PrintableUtf8(SourceName(s)) << "\n"
        << "group   " << group << "\n"
        << "mute    " << (muted ? "on" : "off") << "\n";
}

int Control(Remote& r) {
  const RemoteRequest& q = r.request;
  platform::BtAddress address;
  std::string name;
  if (!ChooseUnit(r, address, name)) {
    r.err << "mrxctl: no MRX520 unit chosen: the handheld records no default unit in "
          << r.registry->HivePath(platform::Hive::kLocalMachine).string() << ".\n"
          << "Give --address (mrxctl remote list shows the units in reach).\n";
    return kExitUnavailable;
  }
  Session session(*r.bluetooth, q.timeoutMs);
  session.Connect(address, name);
  auto& s = session.State();
  if (!session.RunUntil([&] { return session.Complete(); })) {
    r.err << "mrxctl: the unit " << address.Colon() << " did not answer"
          << (session.Connected() ? "" : " (no connection)") << "\n";
    return kExitUnavailable;
  }
  const bool fade = r.store->MuteIsFade();
  auto muted = [&] { return fade ? s.Status().FadedOut() : s.Status().Muted(); };
  bool sent = true;
  std::optional<int> volume;  // what the unit should show after a volume command
  switch (q.action) {
    case Action::kPower:
      if (s.Status().PowerOn() != q.on) sent = s.TogglePower();
      break;
    case Action::kMute:
      if (muted() != q.on) sent = s.ToggleMute(fade);
      break;
    case Action::kVolume: {
      const auto& st = s.Status();
      if (q.volumeTenths < st.volumeMin || q.volumeTenths > st.volumeMax) {
        r.err << "mrxctl: " << Decibels(q.volumeTenths) << " dB is outside the unit's range ("
              << Decibels(st.volumeMin) << " to " << Decibels(st.volumeMax)
              << " dB); nothing was sent\n";
        return kExitDataError;
      }
      volume = s.QuantiseVolume(q.volumeTenths);
      if (volume != q.volumeTenths) {
        r.err << "mrxctl: " << Decibels(q.volumeTenths) << " dB is set as " << Decibels(*volume)
              << " dB, the unit's step being " << Decibels(st.volumeStep) << " dB\n";
      }
      sent = s.SetVolume(q.volumeTenths);
      break;
    }
    case Action::kSource: {
      const auto& sources = s.Sources();
      const auto it = std::find_if(sources.begin(), sources.end(), [&](const rl::UnitEntry& e) {
        return SameText(e.firstName, q.source);
      });
      if (it == sources.end()) {
        r.err << "mrxctl: the unit has no source '" << platform::PrintableUtf8(q.source)
              << "'; it has:";
        for (const auto& e : sources) r.err << " \"" << e.firstName << "\"";
        r.err << "\n";
        return kExitDataError;
      }
      sent = s.SelectSource(it->slot, it->input);
      break;
    }
    case Action::kList:
    case Action::kStatus:
      break;
  }
  if (!sent) {
    r.err << "mrxctl: the command could not be sent: the link broke\n";
    return kExitIoError;
  }
  if (q.action != Action::kStatus && !session.Confirm()) {
    r.err << "mrxctl: the unit did not report its new state\n";
    return kExitIoError;
  }
  PrintStatus(r, s, address, name);
  const bool applied = (q.action != Action::kPower || s.Status().PowerOn() == q.on) &&
                       (q.action != Action::kMute || muted() == q.on) &&
                       (!volume || s.Status().volume == *volume) &&
                       (q.action != Action::kSource || SameText(SourceName(s), q.source));
  if (!applied) {
    r.err << "mrxctl: the unit did not take the change\n";
    return kExitIoError;
  }
  return kExitOk;
}

// Validators that say what is wrong in the program's own words.
CLI::Validator Decibels() {
  return {[](const std::string& text) -> std::string {
            if (DecibelTenths(text)) return {};
            return "'" + platform::PrintableUtf8(text) +
                   "' is not a volume in dB (decimal, for example -30 or -30.5)";
          },
          "DB"};
}

CLI::Validator BluetoothAddress() {
  return {[](const std::string& text) -> std::string {
            if (platform::BtAddress::Parse(text)) return {};
            return "'" + platform::PrintableUtf8(text) +
                   "' is not a Bluetooth address (XX:XX:XX:XX:XX:XX)";
          },
          ""};
}

}  // namespace

int RunRemote(const RemoteRequest& request, Context& ctx) {
  std::ostream& err = ctx.err;
  Remote r{request, ctx.json, ctx.out,
           err,     nullptr,  platform::HandheldEnv(platform::HandheldEnv::DefaultRoot()),
           nullptr, nullptr};
  std::string error;
  r.bluetooth = platform::MakeBluetooth(error);
  if (!r.bluetooth) {
    err << "mrxctl: " << error << "\n";
    return kExitUnavailable;
  }
  if (r.bluetooth->BackendName() == "sim") {
    // The simulated stack's units are sockets in the runtime folder.
    const auto folder = platform::RuntimeDir();
    const auto socket = platform::simbt::SocketPath(platform::simbt::Directory(), {});
    if (const auto problem = platform::SocketFolderProblem(folder, socket); !problem.empty()) {
      return FolderTooLong(err, problem);
    }
  }
  if (!r.env.LoadConfig(error)) {
    err << "mrxctl: " << (r.env.Root() / "handheld.conf").string() << ": " << error << "\n";
    return kExitDataError;
  }
  r.registry = std::make_unique<platform::FileRegistry>(r.env.RegistryDir());
  r.store = std::make_unique<rl::DeviceStore>(*r.registry, r.env);
  if (!r.store->Load()) {
    // A hive that cannot be read whole could hide the default unit; guessing one is worse.
    err << "mrxctl: " << r.store->LastError() << "\n";
    return kExitDataError;
  }
  return request.action == Action::kList ? List(r) : Control(r);
}

std::optional<int> DecibelTenths(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  auto digit = [&](std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
  };
  constexpr std::size_t kMaxWholeDigits = 5;  // far beyond any unit, far from overflow
  int whole = 0;
  std::size_t wholeDigits = 0;
  for (; digit(i); ++i, ++wholeDigits) {
    if (wholeDigits == kMaxWholeDigits) return std::nullopt;
    whole = whole * 10 + (text[i] - '0');
  }
  int tenth = 0;
  std::size_t fractionDigits = 0;
  if (i < text.size() && text[i] == '.') {
    for (++i; digit(i); ++i, ++fractionDigits) {
      if (fractionDigits == 0) tenth = text[i] - '0';
    }
  }
  if (i != text.size() || wholeDigits + fractionDigits == 0) return std::nullopt;
  const int tenths = whole * 10 + tenth;
  return negative ? -tenths : tenths;
}

void AddRemoteCommand(CLI::App& app, Context& ctx, std::function<int()>& action) {
  // The command line's words, kept until the action runs.
  struct Words {
    std::string address, onOff, decibels;
  };
  auto remote = std::make_shared<RemoteRequest>();
  auto words = std::make_shared<Words>();
  auto* remoteCommand =
      app.add_subcommand("remote", "remote control over Bluetooth (the handheld remote's link)");
  remoteCommand->fallthrough();
  remoteCommand
      ->add_option("--address", words->address,
                   "the unit (else the default unit the handheld records)")
      ->type_name("XX:XX:XX:XX:XX:XX")
      ->check(BluetoothAddress());
  remoteCommand->add_option("--timeout", remote->timeoutMs, "milliseconds to wait for the unit")
      ->type_name("MS")
      ->capture_default_str()
      ->check(CLI::Validator(CLI::PositiveNumber).description(""));
  auto remoteLeaf = [&](CLI::App* sub, RemoteRequest::Action what) {
    sub->callback([&ctx, &action, remote, words, what] {
      action = [&ctx, remote, words, what] {
        // The validators have accepted every text here.
        remote->action = what;
        if (!words->address.empty()) remote->address = platform::BtAddress::Parse(words->address);
        remote->on = words->onOff == "on";
        if (!words->decibels.empty()) {
          remote->volumeTenths = DecibelTenths(words->decibels).value_or(0);
        }
        return RunRemote(*remote, ctx);
      };
    });
  };
  remoteLeaf(remoteCommand->add_subcommand("list", "units found by inquiry"), Action::kList);
  remoteLeaf(remoteCommand->add_subcommand("status", "power, volume, source, output group, mute"),
             Action::kStatus);
  auto* power = remoteCommand->add_subcommand("power", "switch on or to standby");
  power->add_option("STATE", words->onOff, "on or off")
      ->required()
      ->check(CLI::IsMember({"on", "off"}));
  remoteLeaf(power, Action::kPower);
  auto* mute = remoteCommand->add_subcommand("mute", "mute (or fade, as the remote is set up)");
  mute->add_option("STATE", words->onOff, "on or off")
      ->required()
      ->check(CLI::IsMember({"on", "off"}));
  remoteLeaf(mute, Action::kMute);
  auto* volume = remoteCommand->add_subcommand(
      "volume",
      "set the volume: truncated toward 0 dB to the unit's step; outside its range, refused");
  volume->add_option("DB", words->decibels, "decimal decibels, for example -30 or -30.5")
      ->required()
      ->check(Decibels());
  remoteLeaf(volume, Action::kVolume);
  auto* source = remoteCommand->add_subcommand("source", "choose a source by its name");
  source->add_option("NAME", remote->source, "the source's name, as the unit lists it")->required();
  remoteLeaf(source, Action::kSource);
}

}  // namespace tools::mrxctl
