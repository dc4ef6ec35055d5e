#include "sim/CdDrive.h"

#include <algorithm>

namespace sim {

std::uint32_t CdDrive::TrackMs(std::uint8_t t) {
  return (180u + 17u * t) * 1000u;
}

void CdDrive::Settle(std::uint64_t now) {
  if (mode != Mode::kPlaying) return;
  elapsedMs += now - since;
  since = now;
  while (elapsedMs >= TrackMs(track)) {
    elapsedMs -= TrackMs(track);
    if (track == kTrackCount) {  // the end of the disc
      mode = Mode::kStopped;
      track = 1;
      elapsedMs = 0;
      return;
    }
    ++track;
  }
}

bool CdDrive::Play(std::uint8_t startTrack, std::uint64_t now) {
  if (!disc || startTrack > kTrackCount) return false;
  if (startTrack != 0) {
    track = startTrack;
    elapsedMs = 0;
  }
  mode = Mode::kPlaying;
  since = now;
  return true;
}

void CdDrive::Stop() {
  mode = Mode::kStopped;
  track = 1;
  elapsedMs = 0;
}

void CdDrive::TogglePause(std::uint64_t now) {
  if (mode == Mode::kPlaying) {
    mode = Mode::kPaused;
  } else if (mode == Mode::kPaused) {
    mode = Mode::kPlaying;
    since = now;
  }
}

void CdDrive::Eject() {  // the tray opens, or closes with the disc
  disc = !disc;
  Stop();
}

void CdDrive::Previous() {
  if (elapsedMs < kRestartWindowMs && track > 1) --track;
  elapsedMs = 0;
}

void CdDrive::Next() {
  if (track < kTrackCount) {
    ++track;
    elapsedMs = 0;
  }
}

void CdDrive::Forward() {
  elapsedMs = std::min<std::uint64_t>(elapsedMs + kSeekMs, TrackMs(track) - 1000);
}

void CdDrive::Rewind() {
  elapsedMs = elapsedMs > kSeekMs ? elapsedMs - kSeekMs : 0;
}

}  // namespace sim
