// Frame assembly and dispatch of whatever a unit (or noise) sends the remote.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/Clock.h"
#include "protocol/remote/FrameAssembler.h"
#include "remote/link/RemoteLink.h"
#include "remote/link/UnitState.h"

namespace {

class NullLink final : public remote::link::RemoteLink {
 public:
  bool Send(std::uint16_t, std::span<const std::uint8_t>) override { return true; }
  bool IsOpen() const override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NullLink link;
  platform::VirtualClock clock;
  platform::QueueTarget view;
  remote::link::UnitState state(link, clock);
  state.SetView(&view);
  state.SetPage(&view);
  state.SetInitPending(true);
  state.SetLocalTimeSetter([](const platform::LocalTime&, int&) { return true; });
  protocol::remote::FrameAssembler assembler;
  // The first byte picks the chunk size, so frames also arrive split.
  const std::size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
  std::span<const std::uint8_t> rest(data, size);
  std::uint32_t tick = 0;
  while (!rest.empty()) {
    const auto piece = rest.first(std::min(chunk, rest.size()));
    assembler.Feed(piece, tick,
                   [&](std::span<const std::uint8_t> frame) { state.Dispatch(frame); });
    rest = rest.subspan(piece.size());
    tick += 7;
  }
  state.Dispatch(std::span(data, size));  // a frame handed over as it came
  state.Tick();
  state.SetVolume(size > 1 ? data[1] * 7 - 900 : 0);
  view.Drain([](const platform::Message&) {});
  return 0;
}
