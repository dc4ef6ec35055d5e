#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/unit/FieldRow.h"

namespace protocol::unit {

// The KLF310 room-correction card: network identity, sixteen channel records
// and the channel configuration.
struct Klf310Image {
  static constexpr std::size_t kMac = 8;  // 6 bytes
  static constexpr std::size_t kMacSize = 6;
  static constexpr std::size_t kIp = 14;  // 4 bytes, first octet first
  static constexpr std::size_t kSubnet = 18;
  static constexpr std::size_t kAddressSize = 4;
  static constexpr std::size_t kChannelTable = 28;
  static constexpr std::size_t kChannelCount = 16;
  static constexpr std::size_t kConfig = 796;  // u16
  static constexpr std::uint16_t kChannelCountMask = 0x1F;
  static constexpr std::uint16_t kAdvancedBit = 1u << 5;
  static constexpr std::size_t kEnd = kConfig + 2;

  static constexpr std::size_t ChannelOffset(std::size_t channel);
  static constexpr std::size_t ChannelNameOffset(std::size_t channel);
};

// One 48-byte channel record of the KLF310 image (and of command 175).
struct Klf310Channel {
  static constexpr std::size_t kSize = 48;
  static constexpr std::size_t kFlags = 0;             // u32
  static constexpr std::uint32_t kInUseBit = 1u << 0;  // index < number of channels
  static constexpr std::uint32_t kActiveBit = 1u << 1;
  static constexpr unsigned kFractionShift = 2;  // bits 2-5: octave fraction 1-12
  static constexpr std::uint32_t kFractionMask = 0x0F;
  static constexpr unsigned kIndexShift = 6;  // bits 6-10: channel index
  static constexpr std::uint32_t kIndexMask = 0x1F;
  static constexpr std::size_t kStart = 4;      // f32, Hz
  static constexpr std::size_t kStop = 8;       // f32, Hz
  static constexpr std::size_t kDelay = 12;     // f32, ms
  static constexpr std::size_t kReserved = 16;  // 8 zero bytes
  static constexpr std::size_t kName = 24;
  static constexpr std::size_t kNameSize = 24;
};

constexpr std::size_t Klf310Image::ChannelOffset(std::size_t channel) {
  return kChannelTable + Klf310Channel::kSize * channel;
}
constexpr std::size_t Klf310Image::ChannelNameOffset(std::size_t channel) {
  return ChannelOffset(channel) + Klf310Channel::kName;
}

// One field of every channel record, `row.offset` within the record;
// channels are numbered 0-15, as the card's curves are.
constexpr FieldRow Klf310PerChannel(FieldRow row) {
  row.offset += Klf310Image::kChannelTable;
  return Repeated(row, Klf310Image::kChannelCount, Klf310Channel::kSize, 0);
}
constexpr FieldRow Klf310ChannelBits(std::string_view name, std::uint32_t mask,
                                     std::span<const std::string_view> choices, int min = 0,
                                     int max = 0) {
  FieldRow row = BitsField(name, Klf310Channel::kFlags, FieldKind::kU32, mask, choices, 0);
  row.min = min;
  row.max = max;
  return Klf310PerChannel(row);
}
constexpr FieldRow Klf310ChannelFloat(std::string_view name, std::size_t at,
                                      std::string_view unit) {
  return Klf310PerChannel(
      {.name = name, .offset = at, .kind = FieldKind::kF32, .size = 4, .unit = unit});
}

// The KLF310 image's fields.
struct Klf310Fields {
  using I = Klf310Image;
  using C = Klf310Channel;

  static constexpr FieldRow kRows[] = {
      {.name = "MAC address", .offset = I::kMac, .kind = FieldKind::kMac, .size = I::kMacSize},
      {.name = "IP address", .offset = I::kIp, .kind = FieldKind::kIpv4, .size = I::kAddressSize},
      {.name = "subnet mask",
       .offset = I::kSubnet,
       .kind = FieldKind::kIpv4,
       .size = I::kAddressSize},
      Klf310ChannelBits("channel # in use", C::kInUseBit, kNoYes),
      Klf310ChannelBits("channel # active", C::kActiveBit, kNoYes),
      Klf310ChannelBits("channel # octave fraction", C::kFractionMask << C::kFractionShift, {}, 1,
                        12),
      Klf310ChannelBits("channel # index", C::kIndexMask << C::kIndexShift, {}, 0,
                        I::kChannelCount - 1),
      Klf310ChannelFloat("channel # start", C::kStart, "Hz"),
      Klf310ChannelFloat("channel # stop", C::kStop, "Hz"),
      Klf310ChannelFloat("channel # delay", C::kDelay, "ms"),
      Klf310PerChannel({.name = "channel # name",
                        .offset = C::kName,
                        .kind = FieldKind::kText,
                        .size = C::kNameSize}),
      {.name = "channel count",
       .offset = I::kConfig,
       .kind = FieldKind::kU16,
       .size = 2,
       .mask = I::kChannelCountMask,
       .min = 0,
       .max = I::kChannelCount,
       .defaultValue = 6},
      BitsField("advanced mode", I::kConfig, FieldKind::kU16, I::kAdvancedBit, kOffOn, 1),
  };
};

// The descriptor's module-specific bytes of a KLF310: a 16-byte version entry
// for the boot software, then one for the application.
struct Klf310VersionEntry {
  static constexpr std::size_t kSize = 16;
  static constexpr std::size_t kBootDescriptorOffset = 20;
  static constexpr std::size_t kMainDescriptorOffset = 36;
  static constexpr std::size_t kMarker = 0;  // u32
  static constexpr std::uint32_t kValidMarker = 0x17081990;
  static constexpr std::size_t kMajor = 5;
  static constexpr std::size_t kMinor = 6;  // u16
  static constexpr std::size_t kDay = 8;
  static constexpr std::size_t kMonth = 9;
  static constexpr std::size_t kYear = 10;  // u16, full year

  bool valid = false;  // the marker is there
  std::uint8_t major = 0;
  std::uint16_t minor = 0;
  std::uint8_t day = 0;
  std::uint8_t month = 0;
  std::uint16_t year = 0;

  // `in` holds the entry's 16 bytes.
  static Klf310VersionEntry Decode(std::span<const std::uint8_t> in);
  // A valid entry: the marker and the version; the bytes not shown stay zero.
  std::array<std::uint8_t, kSize> Encode() const;
};

}  // namespace protocol::unit
