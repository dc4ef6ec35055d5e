#pragma once

#include <functional>
#include <span>

#include "protocol/klf/CurveBin.h"

namespace desktop::roomcorrection {

// How the KLF310 page and its advanced dialog move one channel's 2048 curve
// bins to and from the card. Each call is one whole transfer: connect to the
// card's curve port, all messages, close. False when the card could not be
// reached or a message failed; the caller then tells the user and keeps what
// it showed. An empty function counts as an unreachable card.
struct KlfCurveTransport {
  std::function<bool(int channel, std::span<protocol::klf::CurveBin> out)> read;
  std::function<bool(int channel, std::span<const protocol::klf::CurveBin> in)> write;
};

}  // namespace desktop::roomcorrection
