#pragma once

#include <cstdint>

namespace remote::link {

// How long the reader waits before it connects again. A unit that drops the
// link right after accepting it is tried again after a pause that doubles up
// to a bound; a connection that lasted starts the series afresh, and a broken
// link that had been working is rebuilt at once.
class ReconnectPause {
 public:
  // After a connect attempt that failed (the unit out of reach).
  static constexpr std::uint32_t kAfterFailureMs = 500;
  // After a connection shorter than kLastedMs: the first pause, and the bound.
  static constexpr std::uint32_t kFirstMs = 500;
  static constexpr std::uint32_t kMaxMs = 8000;
  // A connection at least this long counts as working.
  static constexpr std::uint64_t kLastedMs = 5000;

  // A connection ended after `lastedMs`; the pause before the next attempt.
  std::uint32_t AfterConnection(std::uint64_t lastedMs) {
    if (lastedMs >= kLastedMs) {
      next_ = kFirstMs;
      return 0;
    }
    const std::uint32_t pause = next_;
    next_ = next_ >= kMaxMs / 2 ? kMaxMs : next_ * 2;
    return pause;
  }
  std::uint32_t AfterFailure() const { return kAfterFailureMs; }

 private:
  std::uint32_t next_ = kFirstMs;
};

}  // namespace remote::link
