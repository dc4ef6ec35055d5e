#include "remote/link/LinkControl.h"

#include "remote/link/PowerEventThread.h"

namespace remote::link {

LinkControl::LinkControl(UnitLink& link, UnitState& state, DeviceStore& store,
                         platform::MessageTarget& view, platform::Prompt& prompt)
    : link_(link), state_(state), store_(store), view_(view), prompt_(prompt) {}

bool LinkControl::ConnectDefault() {
  link_.SetUnit(store_.DefaultAddress(), store_.DefaultName(), store_.DefaultService());
  if (store_.DefaultAddress().IsZero()) return false;
  return Connect();
}

bool LinkControl::Connect() {
  link_.SetEnabled(true);
  state_.StartPolling();
  if (!link_.Start(&view_, false)) {
    state_.StopPolling();
    link_.SetEnabled(false);
    connected_ = false;
    Refresh();
    prompt_.Error(kFatalTitle, kNoReaderText);
    return false;
  }
  connected_ = true;
  Refresh();
  return true;
}

void LinkControl::Disconnect() {
  state_.StopPolling();
  link_.SetEnabled(false);
  link_.Close();
  connected_ = false;
  Refresh();
}

void LinkControl::ChooseUnit(const DeviceEntry& unit) {
  link_.SetUnit(unit.address, unit.friendlyName, unit.serviceName);
  Disconnect();
  store_.Merge(unit, true);
  store_.Save();
  view_.Post({kWmDevicesChanged, 0, {}, {}});
  Connect();
}

bool LinkControl::HandlePowerMessage(const platform::Message& message) {
  if (message.id != kWmPowerResumed) return false;
  // A link the user dropped (the module configuration runs, no unit chosen)
  // stays down: waking must not take the unit from a dialog's own link.
  if (connected_) {
    Disconnect();
    Connect();
  }
  return true;
}

void LinkControl::Refresh() {
  state_.CheckLink();
  view_.Post({kWmLinkChanged, 0, {}, {}});
}

}  // namespace remote::link
