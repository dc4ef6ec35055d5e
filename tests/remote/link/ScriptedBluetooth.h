#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/Bluetooth.h"
#include "platform/Clock.h"
#include "platform/UniqueFd.h"

namespace testing_support {

// A stack whose connect attempts follow a script, each answered with one end
// of a socket pair, so a test decides when a unit accepts, drops or hangs.
// Attempts are stamped with the clock the link runs on.
class ScriptedBluetooth final : public platform::Bluetooth {
 public:
  enum class Answer {
    kDrop,    // accepts, then closes at once
    kKeep,    // accepts; the test holds the unit's end (Peer)
    kRefuse,  // the attempt fails
    kHang,    // no answer until the attempt is cancelled (or 10 s pass)
  };

  explicit ScriptedBluetooth(platform::Clock& clock, Answer otherwise = Answer::kHang)
      : clock_(clock), otherwise_(otherwise) {}

  void Script(std::initializer_list<Answer> answers) {
    std::lock_guard lock(mutex_);
    script_.insert(script_.end(), answers);
  }
  std::vector<std::uint64_t> Attempts() {
    std::lock_guard lock(mutex_);
    return attempts_;
  }
  std::vector<platform::BtAddress> Addresses() {
    std::lock_guard lock(mutex_);
    return addresses_;
  }
  std::size_t AttemptCount() {
    std::lock_guard lock(mutex_);
    return attempts_.size();
  }
  // The unit's end of the newest kept connection; closing it drops the link.
  platform::UniqueFd TakePeer() {
    std::lock_guard lock(mutex_);
    if (peers_.empty()) return {};
    platform::UniqueFd peer = std::move(peers_.back());
    peers_.pop_back();
    return peer;
  }
  std::size_t Hanging() {
    std::lock_guard lock(mutex_);
    return hanging_;
  }
  platform::RadioMode radio = platform::RadioMode::kDiscoverable;

  std::string BackendName() const override { return "scripted"; }
  bool Inquiry(const std::function<bool(const platform::BtDeviceInfo&)>&, std::string&) override {
    return true;
  }
  int Connect(const platform::BtAddress& address, std::string_view, int cancelFd,
              std::string& error) override {
    Answer answer;
    {
      std::lock_guard lock(mutex_);
      attempts_.push_back(clock_.Milliseconds());
      addresses_.push_back(address);
      answer = otherwise_;
      if (!script_.empty()) {
        answer = script_.front();
        script_.pop_front();
      }
      if (answer == Answer::kHang) ++hanging_;
    }
    if (answer == Answer::kRefuse) {
      error = "refused";
      return -1;
    }
    if (answer == Answer::kHang) {
      pollfd p{cancelFd, POLLIN, 0};
      poll(&p, 1, 10000);
      std::lock_guard lock(mutex_);
      --hanging_;
      error = "cancelled";
      return -1;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return -1;
    if (answer == Answer::kDrop) {
      close(pair[1]);
    } else {
      std::lock_guard lock(mutex_);
      peers_.emplace_back(pair[1]);
    }
    return pair[0];
  }
  bool GetRadioMode(platform::RadioMode& mode) override {
    mode = radio;
    return true;
  }
  bool SetRadioMode(platform::RadioMode mode) override {
    radio = mode;
    return true;
  }

 private:
  platform::Clock& clock_;
  Answer otherwise_;
  std::mutex mutex_;
  std::deque<Answer> script_;
  std::vector<std::uint64_t> attempts_;
  std::vector<platform::BtAddress> addresses_;
  std::vector<platform::UniqueFd> peers_;
  std::size_t hanging_ = 0;
};

}  // namespace testing_support
