#include "remote/ui/ViewText.h"

#include <cstdio>

namespace remote::ui {

namespace {

constexpr int kVersionMajor = 3;
constexpr int kVersionMinor = 107;
constexpr int kReleaseDay = 31;
constexpr int kReleaseMonth = 12;
constexpr int kReleaseYear = 2008;

}  // namespace

int FirstShownTrack(int track) {
  if (track < 20) return 1;
  return (track - 10) / 10 * 10 + 1;
}

std::string CdFirstLine(const protocol::remote::DiscStatusRecord& disc) {
  if (!disc.DiscPresent()) return "NO DISC";
  char text[64];
  std::snprintf(text, sizeof text, "Tr%2d-In%d  %2d:%02d", disc.track, disc.index, disc.minutes,
                disc.seconds);
  return text;
}

std::string CdSecondLine(const protocol::remote::DiscStatusRecord& disc) {
  if (!disc.DiscPresent()) return {};
  // A disc whose last track lies before its first would count backwards.
  const int tracks = disc.lastTrack >= disc.firstTrack ? disc.lastTrack - disc.firstTrack + 1 : 0;
  const char* word = tracks == 1 ? "Track" : "Tracks";
  char text[96];
  if (disc.actualSeconds == 0) {
    std::snprintf(text, sizeof text, "%2d %s, Total %2d:%02d", tracks, word, disc.totalMinutes,
                  disc.totalSeconds);
  } else {
    std::snprintf(text, sizeof text, "%2d %s, Total %2d:%02d, Act. %2d:%02d", tracks, word,
                  disc.totalMinutes, disc.totalSeconds, disc.actualSeconds / 60,
                  disc.actualSeconds % 60);
  }
  return text;
}

std::string VersionLine() {
  char text[48];
  std::snprintf(text, sizeof text, "V%d.%03d, %2d.%02d.%04d", kVersionMajor, kVersionMinor,
                kReleaseDay, kReleaseMonth, kReleaseYear);
  return text;
}

}  // namespace remote::ui
