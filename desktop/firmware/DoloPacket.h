#pragma once

#include <cstdint>
#include <string>

namespace desktop::firmware {

struct DoloSegment;

// One package record of the list the program carries in its constant data
// (the names are the design's, `_DoloPacket` included).
struct _DoloPacket {
  const _DoloPacket* next;  // null (or all ones) ends the list
  std::uint32_t kind;
  std::uint16_t format;  // 1 in every record; nobody reads it
  std::int16_t model;
  std::int16_t component;
  std::uint16_t version;  // bits 0-5 major, bits 6-15 minor
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint16_t second;
  std::uint32_t checksum;       // kinds 3 and 5 only; 0 elsewhere
  const DoloSegment* segments;  // null for the head
};

// One contiguous stretch of an image.
struct DoloSegment {
  std::uint32_t address;
  std::uint32_t length;
  const DoloSegment* next;
  const std::uint8_t* data;
};

// Package kinds.
inline constexpr std::uint32_t kDoloHead = 1;
inline constexpr std::uint32_t kDoloCardDspSecond = 3;
inline constexpr std::uint32_t kDoloCardDspFirst = 5;
inline constexpr std::uint32_t kDoloUnitImage = 6;
inline constexpr std::uint32_t kDoloHandheldFile = 9;
inline constexpr std::uint32_t kDoloKlf310 = 10;

// Matches every kind, model or component in a lookup.
inline constexpr std::uint32_t DOLO_ANY = 0xFFFF;

// FindDoloPacket's status.
inline constexpr int kDoloFound = 0;
inline constexpr int kDoloNotFound = 1;
// AttachDoloList's status.
inline constexpr int kDoloAttached = 0;
inline constexpr int kDoloNotAList = 2;

// Attaches the process's lookup cursor to a list: 0 when its head is of kind 1,
// else 2 (and lookups through the cursor then find nothing). Null attaches the
// embedded set again.
int AttachDoloList(const _DoloPacket* head);

// First record of the list at `head` matching the key, DOLO_ANY matching
// anything; the head itself takes part. `status` (when given) gets 0 on a match
// and 1 at the end of the list, and is left alone when the head is not of kind 1.
const _DoloPacket* FindDoloPacket(const _DoloPacket* head, std::uint32_t kind, std::uint16_t model,
                                  std::uint16_t component, int* status = nullptr);
// The same through the attached cursor (GetDoloBase() until one is attached).
const _DoloPacket* FindDoloPacket(std::uint32_t kind, std::uint16_t model, std::uint16_t component,
                                  int* status = nullptr);

// Sum of every data byte of the record's segments, modulo 2^32.
std::uint32_t DoloChecksum(const _DoloPacket& record);
// Sum of the segment lengths: what progress percentages are taken of.
std::uint32_t DoloImageSize(const _DoloPacket& record);
std::uint32_t DoloSegmentCount(const _DoloPacket& record);

// "V%d.%03d" of a version word, major first.
std::string DoloVersionText(std::uint16_t version);
inline int DoloMajor(std::uint16_t version) {
  return version & 0x3F;
}
inline int DoloMinor(std::uint16_t version) {
  return version >> 6;
}

// True for the two values that end a list.
bool IsDoloListEnd(const _DoloPacket* record);

}  // namespace desktop::firmware

// The head of the embedded set, exported from the program under this name.
extern "C" __attribute__((visibility("default"))) const desktop::firmware::_DoloPacket*
GetDoloBase();
