#pragma once

#include <string>

#include "protocol/remote/DiscStatusRecord.h"

// The texts and numbers the remote's view draws from the unit's records.
namespace remote::ui {

// The number on the first track button: 1 while the track is below 20, else
// the decade that keeps the current track on the second row.
int FirstShownTrack(int track);
// "Tr%2d-In%d  %2d:%02d", or "NO DISC".
std::string CdFirstLine(const protocol::remote::DiscStatusRecord& disc);
// "%2d %s, Total %2d:%02d[, Act. %2d:%02d]"; empty without a disc.
std::string CdSecondLine(const protocol::remote::DiscStatusRecord& disc);
// "V%d.%03d, %2d.%02d.%04d" of this build of the remote.
std::string VersionLine();

}  // namespace remote::ui
