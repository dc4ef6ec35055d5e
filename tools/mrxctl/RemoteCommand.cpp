#include "tools/mrxctl/RemoteCommand.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/HandheldEnv.h"
#include "platform/MessageTarget.h"
#include "platform/Registry.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/link/DeviceStore.h"
#include "remote/link/UnitLink.h"
#include "remote/link/UnitState.h"
#include "tools/mrxctl/Mrxctl.h"

namespace tools::mrxctl {

namespace rl = remote::link;

namespace {

constexpr int kDefaultTimeoutMs = 5000;
constexpr int kPumpStepMs = 20;

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct Options {
  bool json = false;
  std::optional<platform::BtAddress> address;
  int timeoutMs = kDefaultTimeoutMs;
  std::vector<std::string> words;
};

// One connection to a unit, run from this thread as the remote's view runs it.
class Session {
 public:
  Session(platform::Bluetooth& bluetooth, int timeoutMs)
      : link_(bluetooth, platform::DefaultClock()), state_(link_, platform::DefaultClock()),
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
  Options options;
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
  const bool ok = r.bluetooth->Inquiry([&](const platform::BtDeviceInfo& d) {
    if (std::none_of(found.begin(), found.end(), [&](const auto& f) { return f.address == d.address; })) {
      found.push_back(d);
    }
    return true;
  }, error);
  if (!ok) {
    r.err << "mrxctl: inquiry failed: " << error << "\n";
    return kExitUnavailable;
  }
  if (r.options.json) {
    r.out << "[";
    for (std::size_t i = 0; i < found.size(); ++i) {
      r.out << (i ? ", " : "") << "{\"address\": " << JsonText(found[i].address.Colon())
            << ", \"name\": " << JsonText(found[i].name) << "}";
    }
    r.out << "]\n";
  } else {
    for (const auto& d : found) {
      r.out << d.address.Colon() << "  " << (d.name.empty() ? d.address.Bracketed() : d.name) << "\n";
    }
  }
  return kExitOk;
}

// The unit to talk to: --address, the default unit, or the first one found.
bool ChooseUnit(Remote& r, platform::BtAddress& address, std::string& name) {
  if (r.options.address) {
    address = *r.options.address;
    for (const auto& e : r.store->Devices()) {
      if (e.address == address) name = e.friendlyName;
    }
    return true;
  }
  if (!r.store->DefaultAddress().IsZero()) {
    address = r.store->DefaultAddress();
    name = r.store->DefaultName();
    return true;
  }
  std::string error;
  bool found = false;
  r.bluetooth->Inquiry([&](const platform::BtDeviceInfo& d) {
    address = d.address;
    name = d.name;
    found = true;
    return false;
  }, error);
  return found;
}

std::string SourceName(rl::UnitState& s) {
  const auto& st = s.Status();
  const std::string name = s.FirstName(false, st.sourceSlot, st.sourceInput);
  return name.empty() ? "slot " + std::to_string(st.sourceSlot) + " input " + std::to_string(st.sourceInput)
                      : name;
}

void PrintStatus(Remote& r, rl::UnitState& s, const platform::BtAddress& address, const std::string& name) {
  const auto& st = s.Status();
  const bool muted = r.store->MuteIsFade() ? st.FadedOut() : st.Muted();
  const char group = static_cast<char>('A' + st.Group());
  char volume[16];
  std::snprintf(volume, sizeof volume, "%.1f", st.volume / 10.0);
  if (r.options.json) {
    r.out << "{\"address\": " << JsonText(address.Colon()) << ", \"name\": " << JsonText(name)
          << ", \"serial\": " << s.Info().serialNumber << ", \"power\": " << (st.PowerOn() ? "true" : "false")
          << ", \"volume\": " << volume << ", \"source\": " << JsonText(SourceName(s))
          << ", \"group\": \"" << group << "\", \"mute\": " << (muted ? "true" : "false") << "}\n";
    return;
  }
  r.out << "unit    " << (name.empty() ? address.Bracketed() : name) << " " << address.Colon() << "\n"
        << "power   " << (st.PowerOn() ? "on" : "standby") << "\n"
        << "volume  " << volume << " dB\n"
        << "source  " << SourceName(s) << "\n"
        << "group   " << group << "\n"
        << "mute    " << (muted ? "on" : "off") << "\n";
}

std::optional<bool> OnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  return std::nullopt;
}

int Control(Remote& r) {
  const std::string& command = r.options.words[0];
  const std::vector<std::string> rest(r.options.words.begin() + 1, r.options.words.end());
  std::optional<bool> wanted;
  std::optional<int> volume;
  if (command == "status") {
    if (!rest.empty()) return r.err << "mrxctl: usage: remote status\n", kExitUsage;
  } else if (command == "power" || command == "mute") {
    if (rest.size() != 1 || !(wanted = OnOff(rest[0]))) {
      return r.err << "mrxctl: usage: remote " << command << " on|off\n", kExitUsage;
    }
  } else if (command == "volume") {
    char* end = nullptr;
    const double db = rest.size() == 1 ? std::strtod(rest[0].c_str(), &end) : NAN;
    if (rest.size() != 1 || end == rest[0].c_str() || *end != '\0' || !std::isfinite(db) ||
        std::fabs(db) > 3000) {
      return r.err << "mrxctl: usage: remote volume DB (for example -30 or -30.5)\n", kExitUsage;
    }
    volume = static_cast<int>(std::lround(db * 10));
  } else if (command == "source") {
    if (rest.size() != 1) return r.err << "mrxctl: usage: remote source NAME\n", kExitUsage;
  } else {
    r.err << "mrxctl: unknown remote command '" << command << "'\n";
    return kExitUsage;
  }

  platform::BtAddress address;
  std::string name;
  if (!ChooseUnit(r, address, name)) {
    r.err << "mrxctl: no MRX520 unit: none is recorded as the default and the inquiry ("
          << r.bluetooth->BackendName() << " stack) found none.\n"
          << "Start one (mrx520-sim) or give --address.\n";
    return kExitUnavailable;
  }
  Session session(*r.bluetooth, r.options.timeoutMs);
  session.Connect(address, name);
  auto& s = session.State();
  if (!session.RunUntil([&] { return session.Complete(); })) {
    r.err << "mrxctl: the unit " << address.Colon() << " did not answer"
          << (session.Connected() ? "" : " (no connection)") << "\n";
    return kExitUnavailable;
  }
  const bool fade = r.store->MuteIsFade();
  bool sent = true;
  if (command == "power" && s.Status().PowerOn() != *wanted) sent = s.TogglePower();
  if (command == "mute" && (fade ? s.Status().FadedOut() : s.Status().Muted()) != *wanted) {
    sent = s.ToggleMute(fade);
  }
  if (command == "volume") sent = s.SetVolume(*volume);
  if (command == "source") {
    const auto& sources = s.Sources();
    const auto it = std::find_if(sources.begin(), sources.end(),
                                 [&](const rl::UnitEntry& e) { return SameText(e.firstName, rest[0]); });
    if (it == sources.end()) {
      r.err << "mrxctl: the unit has no source '" << rest[0] << "'; it has:";
      for (const auto& e : sources) r.err << " \"" << e.firstName << "\"";
      r.err << "\n";
      return kExitDataError;
    }
    sent = s.SelectSource(it->slot, it->input);
  }
  if (!sent) {
    r.err << "mrxctl: the command could not be sent: the link broke\n";
    return kExitIoError;
  }
  if (command != "status" && !session.Confirm()) {
    r.err << "mrxctl: the unit did not report its new state\n";
    return kExitIoError;
  }
  PrintStatus(r, s, address, name);
  const auto& st = s.Status();
  const bool applied = (command != "power" || st.PowerOn() == *wanted) &&
                       (command != "mute" || (fade ? st.FadedOut() : st.Muted()) == *wanted) &&
                       (command != "source" || SameText(SourceName(s), rest[0]));
  if (!applied) {
    r.err << "mrxctl: the unit did not take the change\n";
    return kExitIoError;
  }
  return kExitOk;
}

}  // namespace

int RunRemote(const std::vector<std::string>& args, bool json, std::ostream& out, std::ostream& err) {
  Remote r{{}, out, err, nullptr, platform::HandheldEnv(platform::HandheldEnv::DefaultRoot()), nullptr, nullptr};
  r.options.json = json;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--address" || args[i] == "--timeout") {
      if (i + 1 >= args.size()) return err << "mrxctl: " << args[i] << " needs a value\n", kExitUsage;
      const std::string& v = args[++i];
      if (args[i - 1] == "--address") {
        r.options.address = platform::BtAddress::Parse(v);
        if (!r.options.address) return err << "mrxctl: '" << v << "' is not a Bluetooth address\n", kExitUsage;
      } else {
        r.options.timeoutMs = std::atoi(v.c_str());
        if (r.options.timeoutMs <= 0) return err << "mrxctl: --timeout takes milliseconds\n", kExitUsage;
      }
      continue;
    }
    r.options.words.push_back(args[i]);
  }
  if (r.options.words.empty()) {
    err << "mrxctl: usage: remote list|status|power on|off|volume DB|mute on|off|source NAME\n";
    return kExitUsage;
  }
  std::string error;
  r.bluetooth = platform::MakeBluetooth(error);
  if (!r.bluetooth) {
    err << "mrxctl: " << error << "\n";
    return kExitUnavailable;
  }
  if (!r.env.LoadConfig(error)) {
    err << "mrxctl: " << (r.env.Root() / "handheld.conf").string() << ": " << error << "\n";
    return kExitDataError;
  }
  r.registry = std::make_unique<platform::FileRegistry>(r.env.RegistryDir());
  r.store = std::make_unique<rl::DeviceStore>(*r.registry, r.env);
  r.store->Load();
  if (r.options.words[0] == "list") {
    if (r.options.words.size() != 1) return err << "mrxctl: usage: remote list\n", kExitUsage;
    return List(r);
  }
  return Control(r);
}

}  // namespace tools::mrxctl
