#include "protocol/unit/ProcessorRecord.h"

#include <algorithm>

#include "platform/Bytes.h"

namespace protocol::unit {

namespace {

constexpr unsigned kDayMask = 0x1F;
constexpr unsigned kMonthShift = 5;
constexpr unsigned kMonthMask = 0x0F;
constexpr unsigned kYearShift = 9;
constexpr unsigned kYearMask = 0x7F;

constexpr unsigned kUpdateBit = 0x01;
constexpr unsigned kMainMajorShift = 1;
constexpr unsigned kMainMajorMask = 0x1F;
constexpr unsigned kSecondMajorMask = 0x3F;
constexpr unsigned kMinorShift = 6;
constexpr unsigned kMinorMask = 0x3FF;

constexpr unsigned kModelShift = 1;
constexpr unsigned kSoftwareFlag = 0x01;

}  // namespace

PackedDate PackedDate::Unpack(std::uint16_t word) {
  PackedDate d;
  d.day = static_cast<int>(word & kDayMask);
  d.month = static_cast<int>((word >> kMonthShift) & kMonthMask);
  d.year = 2000 + static_cast<int>((word >> kYearShift) & kYearMask);
  return d;
}

std::uint16_t PackedDate::Pack() const {
  return static_cast<std::uint16_t>(
      (static_cast<unsigned>(day) & kDayMask) |
      ((static_cast<unsigned>(month) & kMonthMask) << kMonthShift) |
      ((static_cast<unsigned>(year - 2000) & kYearMask) << kYearShift));
}

BoardIdentity BoardIdentity::Decode(std::span<const std::uint8_t> in) {
  BoardIdentity b;
  b.written = in[kWritten];
  b.deliveryYear = in[kDeliveryYear];
  b.deliveryMonth = in[kDeliveryMonth];
  b.deliveryDay = in[kDeliveryDay];
  const std::uint32_t word = platform::GetU32(in, kSerial);
  b.serial = (word >> 16) * kSerialModulus + (word & 0xFFFF);
  return b;
}

std::array<std::uint8_t, BoardIdentity::kSize> BoardIdentity::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  out[kWritten] = written;
  out[kDeliveryYear] = deliveryYear;
  out[kDeliveryMonth] = deliveryMonth;
  out[kDeliveryDay] = deliveryDay;
  platform::PutU32(out, kSerial, ((serial / kSerialModulus) << 16) | (serial % kSerialModulus));
  return out;
}

ProcessorRecord ProcessorRecord::Decode(std::span<const std::uint8_t> in) {
  ProcessorRecord r;
  r.softwareFlag = (in[kModel] & kSoftwareFlag) != 0;
  r.model = static_cast<std::uint8_t>(in[kModel] >> kModelShift);
  r.component = in[kComponent];
  r.date = PackedDate::Unpack(platform::GetU16(in, kDate));
  const std::uint16_t version = platform::GetU16(in, kVersion);
  r.update = (version & kUpdateBit) != 0;
  r.major = static_cast<std::uint8_t>((version >> kMainMajorShift) & kMainMajorMask);
  r.minor = static_cast<std::uint16_t>((version >> kMinorShift) & kMinorMask);
  r.unused = in[kUnused];
  r.secondComponent = in[kSecondComponent];
  r.secondDate = PackedDate::Unpack(platform::GetU16(in, kSecondDate));
  const std::uint16_t second = platform::GetU16(in, kSecondVersion);
  r.secondMajor = static_cast<std::uint8_t>(second & kSecondMajorMask);
  r.secondMinor = static_cast<std::uint16_t>((second >> kMinorShift) & kMinorMask);
  r.board = BoardIdentity::Decode(in.subspan(kBoardIdentity, BoardIdentity::kSize));
  return r;
}

std::array<std::uint8_t, ProcessorRecord::kSize> ProcessorRecord::Encode() const {
  std::array<std::uint8_t, kSize> out{};
  out[kModel] =
      static_cast<std::uint8_t>((model << kModelShift) | (softwareFlag ? kSoftwareFlag : 0));
  out[kComponent] = component;
  platform::PutU16(out, kDate, date.Pack());
  platform::PutU16(out, kVersion,
                   static_cast<std::uint16_t>((update ? kUpdateBit : 0) |
                                              ((major & kMainMajorMask) << kMainMajorShift) |
                                              ((minor & kMinorMask) << kMinorShift)));
  out[kUnused] = unused;
  out[kSecondComponent] = secondComponent;
  platform::PutU16(out, kSecondDate, secondDate.Pack());
  platform::PutU16(out, kSecondVersion,
                   static_cast<std::uint16_t>((secondMajor & kSecondMajorMask) |
                                              ((secondMinor & kMinorMask) << kMinorShift)));
  const auto identity = board.Encode();
  std::copy(identity.begin(), identity.end(), out.begin() + kBoardIdentity);
  return out;
}

}  // namespace protocol::unit
