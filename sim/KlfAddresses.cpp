#include "sim/KlfAddresses.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "protocol/klf/KlfMessage.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "sim/Scenario.h"
#include "sim/SimUnit.h"

namespace sim {

namespace pk = protocol::klf;

bool IsLoopback(const Ipv4& ip) {
  return ip[0] == 127;
}

std::string Dotted(const Ipv4& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

platform::UniqueFd ListenOn(const Ipv4& ip, std::uint16_t port) {
  if (!IsLoopback(ip)) {
    errno = EADDRNOTAVAIL;
    return platform::UniqueFd();
  }
  platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return fd;
  const int on = 1;
  setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_addr.s_addr, ip.data(), ip.size());  // first octet first
  address.sin_port = htons(port);
  if (bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd.Get(), 16) != 0) {
    const int why = errno;
    fd.Reset();
    errno = why;
  }
  return fd;
}

bool CardPortsFree(const Ipv4& ip) {
  // Both held at once, as the card's application holds them.
  const platform::UniqueFd update = ListenOn(ip, pk::kUpdatePort);
  return update && ListenOn(ip, pk::kCurvePort);
}

Ipv4 RandomLoopback() {
  thread_local std::mt19937 random{std::random_device{}()};
  auto in = [&](int low, int high) {
    return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(low, high)(random));
  };
  return {127, in(1, 254), in(0, 255), in(1, 254)};
}

std::optional<Ipv4> PickFreeLoopback(const std::function<Ipv4()>& candidate, int tries) {
  for (int i = 0; i < tries; ++i) {
    const Ipv4 ip = candidate();
    if (CardPortsFree(ip)) return ip;
  }
  return std::nullopt;
}

bool PickKlfAddresses(Scenario& scenario, std::string& error) {
  for (ModuleRecord& m : scenario.modules) {
    if (m.type != protocol::unit::type::kKLF310 || m.ip) continue;
    m.ip = PickFreeLoopback();
    if (!m.ip) {
      error = "no free loopback address for the ports of the KLF310 card at " +
              std::to_string(m.address);
      return false;
    }
  }
  return true;
}

void SettleKlfAddresses(SimUnit& unit, const Scenario& scenario, std::vector<std::string>& notes) {
  for (const SimUnit::KlfCard& card : unit.KlfCards()) {
    const ModuleRecord* wanted = scenario.Find(card.address);
    if (wanted == nullptr || !wanted->ip || card.ip == *wanted->ip) continue;
    if (CardPortsFree(card.ip)) continue;
    if (!unit.KlfMoveCard(card.address, *wanted->ip)) continue;
    notes.push_back("KLF310 at " + std::to_string(card.address) + ": its stored address " +
                    Dotted(card.ip) +
                    (IsLoopback(card.ip) ? " is taken" : " is no loopback address") +
                    "; it moves to " + Dotted(*wanted->ip));
  }
}

}  // namespace sim
