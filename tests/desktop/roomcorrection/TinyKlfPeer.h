#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SocketIo.h"
#include "platform/UniqueFd.h"
#include "protocol/klf/KlfMessage.h"

namespace testing_support {

// A card stand-in on a loopback port: takes connections one after another,
// reads whole messages and answers each with the pieces the test's handler
// returns, every piece a separate send. No pieces: no answer (a silent card).
class TinyKlfPeer {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Handler = std::function<std::vector<Bytes>(const Bytes& request)>;

  // With `openWhen`, connections are refused (nobody listens) until it
  // first returns true.
  explicit TinyKlfPeer(Handler handler, std::function<bool()> openWhen = {})
      : handler_(std::move(handler)), openWhen_(std::move(openWhen)) {
    Listen();
    if (openWhen_) listener_.Reset();  // keep the port number, refuse for now
    thread_ = std::thread([this] { Serve(); });
  }
  ~TinyKlfPeer() {
    stop_ = true;
    thread_.join();
  }

  std::uint16_t Port() const { return port_; }
  std::vector<Bytes> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int Connections() const { return connections_.load(); }

 private:
  void Listen() {
    listener_.Reset(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    bind(listener_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(listener_.Get(), 4);
    socklen_t size = sizeof address;
    getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }

  void Serve() {
    while (!stop_) {
      if (!listener_) {
        if (openWhen_()) {
          Listen();
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the peer's own pace
        }
        continue;
      }
      pollfd p{listener_.Get(), POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      platform::UniqueFd client(accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!client) continue;
      ++connections_;
      Bytes buffer;
      std::uint8_t chunk[2048];
      while (!stop_) {
        const ssize_t n = platform::ReceiveWithin(client.Get(), chunk, sizeof chunk, 50);
        if (n == 0 || (n < 0 && errno != ETIMEDOUT)) break;
        if (n < 0) continue;
        buffer.insert(buffer.end(), chunk, chunk + n);
        std::size_t size = 0;
        while (protocol::klf::CheckMessage(buffer, size) ==
               protocol::klf::MessageState::kComplete) {
          const Bytes request(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
          buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
          {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
          }
          for (const Bytes& piece : handler_(request)) platform::WriteAll(client.Get(), piece);
        }
      }
    }
  }

  Handler handler_;
  std::function<bool()> openWhen_;
  platform::UniqueFd listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

}  // namespace testing_support
