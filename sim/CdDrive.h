#pragma once

#include <cstdint>

namespace sim {

// The unit's CD drive as the remote sees it: a disc of twelve tracks whose
// time runs on the unit's clock.
struct CdDrive {
  enum class Mode { kStopped, kPlaying, kPaused };
  static constexpr std::uint8_t kTrackCount = 12;
  static constexpr std::uint32_t kSeekMs = 10000;
  // A previous-track press this early in a track goes to the track before.
  static constexpr std::uint64_t kRestartWindowMs = 3000;

  bool disc = true;
  Mode mode = Mode::kStopped;
  std::uint8_t track = 1;
  std::uint64_t elapsedMs = 0;  // in the current track, up to `since`
  std::uint64_t since = 0;      // clock time of the last play or resume

  static std::uint32_t TrackMs(std::uint8_t track);

  // Brings the play position up to `now`; at the end of the disc it stops.
  void Settle(std::uint64_t now);
  // Track 0 plays on from where it is.
  bool Play(std::uint8_t startTrack, std::uint64_t now);
  void Stop();
  void TogglePause(std::uint64_t now);
  void Eject();
  void Previous();
  void Next();
  void Forward();
  void Rewind();
};

}  // namespace sim
