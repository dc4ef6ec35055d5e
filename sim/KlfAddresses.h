#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace sim {

class SimUnit;
struct Scenario;

// Where a simulated KLF310 card serves its ports. Only loopback addresses
// (127.0.0.0/8) are ever listened on, and each simulator picks its own, so
// any number of simulators and tests run side by side on one machine.
using Ipv4 = std::array<std::uint8_t, 4>;

bool IsLoopback(const Ipv4& ip);
std::string Dotted(const Ipv4& ip);

// A listening socket on `port` of `ip`; none (errno set) when it cannot be
// had, or when `ip` is not a loopback address (EADDRNOTAVAIL).
platform::UniqueFd ListenOn(const Ipv4& ip, std::uint16_t port);
// This process could listen on the card's ports 4000 and 4010 at `ip` now:
// it is a loopback address and nothing listens there.
bool CardPortsFree(const Ipv4& ip);

// A random address in 127.1.0.1 to 127.254.255.254: clear of 127.0.0.x,
// where the host's own services listen.
Ipv4 RandomLoopback();
// The first of up to `tries` candidates whose card ports are free; none when
// every one was taken.
std::optional<Ipv4> PickFreeLoopback(const std::function<Ipv4()>& candidate = RandomLoopback,
                                     int tries = 64);

// Gives every KLF310 card of `scenario` that names no address (ip=) a free
// loopback address of its own, which becomes its factory setting. False with
// `error` when no free address was found.
bool PickKlfAddresses(Scenario& scenario, std::string& error);

// Run once the state file is read. A card's stored address is kept while it
// is a loopback address with free ports; otherwise (another simulator serves
// it, or it is no loopback address) the card goes back to its factory address
// in its working and stored settings, and `notes` says so. The scenario's
// own address is kept even when taken: the card waits for it.
void SettleKlfAddresses(SimUnit& unit, const Scenario& scenario, std::vector<std::string>& notes);

}  // namespace sim
