#pragma once

#include <cstdint>

// The ids of the remote's view: its controls (what a button sends with
// kWmButton), its menu items and its timers.
namespace remote::ui::ids {

// Controls.
inline constexpr int kLogo = 0x7FFF;
inline constexpr int kMute = 2001;
inline constexpr int kPower = 2003;
inline constexpr int kBattery = 107;
inline constexpr int kMainPanel = 106;
inline constexpr int kVolumePanel = 110;
inline constexpr int kVolumeDown = 105;
inline constexpr int kVolumeUp = 103;
inline constexpr int kVolumeSlider = 102;
inline constexpr int kKeyDown = 111;
inline constexpr int kKeyUp = 112;
inline constexpr int kCdPanel = 108;
inline constexpr int kCdPlay = 10100;
inline constexpr int kCdStop = 10101;  // 10101-10107: stop, pause, eject, previous, next, ff, rew
inline constexpr int kCdPause = 10102;
inline constexpr int kCdEject = 10103;
inline constexpr int kCdPrevious = 10104;
inline constexpr int kCdNext = 10105;
inline constexpr int kCdForward = 10106;
inline constexpr int kCdRewind = 10107;
inline constexpr int kFirstTrackButton = 32601;
inline constexpr int kTrackButtons = 20;
inline constexpr int kFirstSourceButton = 9001;
inline constexpr int kSourceButtons = 6;

// Menu items.
inline constexpr int kMenuVersion = 32861;
inline constexpr int kMenuGetTime = 32820;
inline constexpr int kMenuSetTime = 32821;
inline constexpr int kMenuFixed35Volt = 32822;
inline constexpr int kMenuFixedCurrent = 32864;
inline constexpr int kMenuFirstUnit = 32824;  // up to ten known units
inline constexpr int kMenuRemoveAll = 32865;
inline constexpr int kMenuNew = 32776;
inline constexpr int kMenuConfigBluetooth = 32777;
inline constexpr int kMenuFirstBits = 32906;  // "6 Bit" ... "16 Bit"
inline constexpr int kMenuBits24 = 32924;
inline constexpr int kMenuExit = 32775;
inline constexpr int kMenuPolarity = 32878;
inline constexpr int kMenuFirstGroup = 32838;  // groups A-D
inline constexpr int kMenuRoomOff = 32778;
inline constexpr int kMenuRoomNeutral = 32779;  // preset 0
inline constexpr int kMenuRoom2 = 32780;        // 32780-32782: presets 2-4
// The resources gave "Room correction 1" the neutral item's id; it has one of its own here.
inline constexpr int kMenuRoom1 = 32783;
inline constexpr int kMenuFirstModule = 32845;
inline constexpr int kMenuSetupMainUnit = 32867;
inline constexpr int kMenuSetupOutput = 32862;
inline constexpr int kMenuSetupDisplay = 32866;
inline constexpr int kMenuMuteIsFade = 32879;
inline constexpr int kMenuFirstSource = 10000;  // the source context menu

// Timers.
inline constexpr int kBatteryTimerMs = 2000;
inline constexpr int kStartKeyHoldMs = 750;
// A source button held this long opens its assignment menu instead of selecting.
inline constexpr int kTapAndHoldMs = kStartKeyHoldMs;
inline constexpr int kInquiryDelayMs = 1000;
inline constexpr int kCdPanelDelayMs = 5000;
inline constexpr int kCdPanelUpMs = 40;
inline constexpr int kCdPanelDownMs = 10;
inline constexpr int kCdPanelStep = 8;

// Module places of the main unit's setup pages.
inline constexpr int kMainUnitSlot = 0;
inline constexpr int kMainUnitSubAddress = 1;
inline constexpr int kDisplaySlot = 14;
// The output groups are no module block: their page is asked for with this slot.
inline constexpr int kOutputGroupsSlot = -1;

}  // namespace remote::ui::ids
