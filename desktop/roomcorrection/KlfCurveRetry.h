#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "desktop/roomcorrection/KlfLink.h"
#include "platform/Clock.h"
#include "protocol/klf/CurveBin.h"

namespace desktop::roomcorrection {

// A curve exchange is asked this often before it counts as failed: a card on
// a network drops a connection now and then.
inline constexpr int kCurveAttempts = 3;
// A card that has just restarted (after its update, or switched on with the
// unit) opens its curve port a little after it answers over USB.
inline constexpr std::uint32_t kCurvePortWaitMs = 10000;
inline constexpr std::uint32_t kCurvePortRetryMs = 500;

// Connects to the card's curve port, waiting up to kCurvePortWaitMs for it;
// `waiting` is called before each pause and ends the wait when it says so.
bool ConnectCurvePort(KlfLink& link, const std::string& host, platform::Clock& clock,
                      const std::function<bool()>& waiting = {});

// A channel's bins from 0, each message asked again on its own (a read
// changes nothing in the card); a failed exchange closes the link, so an
// attempt after it connects again.
bool ReadCurveAsked(KlfLink& link, const std::string& host, std::uint16_t channel,
                    std::span<protocol::klf::CurveBin> bins);

// A channel's whole curve from bin 0, the transfer sent again whole when it
// fails: whatever the card kept of a broken transfer, a whole one leaves
// the curve as sent.
bool WriteCurveAsked(KlfLink& link, const std::string& host, std::uint16_t channel,
                     std::span<const protocol::klf::CurveBin> bins);

}  // namespace desktop::roomcorrection
