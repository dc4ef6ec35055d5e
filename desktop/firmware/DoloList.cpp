#include <atomic>
#include <cstdint>
#include <cstdio>

#include "desktop/firmware/DoloPacket.h"

namespace desktop::firmware {

namespace {

// The lookup cursor: null means the embedded set.
std::atomic<const _DoloPacket*> attached{nullptr};

bool Matches(std::uint32_t want, std::uint32_t have) {
  return want == DOLO_ANY || want == have;
}

}  // namespace

bool IsDoloListEnd(const _DoloPacket* record) {
  return record == nullptr || reinterpret_cast<std::uintptr_t>(record) == UINTPTR_MAX;
}

int AttachDoloList(const _DoloPacket* head) {
  attached = head;
  return head != nullptr && head->kind == kDoloHead ? kDoloAttached : kDoloNotAList;
}

const _DoloPacket* FindDoloPacket(const _DoloPacket* head, std::uint32_t kind, std::uint16_t model,
                                  std::uint16_t component, int* status) {
  if (IsDoloListEnd(head) || head->kind != kDoloHead) return nullptr;
  for (const _DoloPacket* r = head; !IsDoloListEnd(r); r = r->next) {
    // Model and component are signed 16-bit in the record; compare their bits.
    if (Matches(kind, r->kind) && Matches(model, static_cast<std::uint16_t>(r->model)) &&
        Matches(component, static_cast<std::uint16_t>(r->component))) {
      if (status != nullptr) *status = kDoloFound;
      return r;
    }
  }
  if (status != nullptr) *status = kDoloNotFound;
  return nullptr;
}

const _DoloPacket* FindDoloPacket(std::uint32_t kind, std::uint16_t model, std::uint16_t component,
                                  int* status) {
  const _DoloPacket* head = attached.load();
  return FindDoloPacket(head != nullptr ? head : GetDoloBase(), kind, model, component, status);
}

std::uint32_t DoloChecksum(const _DoloPacket& record) {
  std::uint32_t sum = 0;
  for (const DoloSegment* s = record.segments; s != nullptr; s = s->next) {
    for (std::uint32_t i = 0; i < s->length; ++i) sum += s->data[i];
  }
  return sum;
}

std::uint32_t DoloImageSize(const _DoloPacket& record) {
  std::uint32_t size = 0;
  for (const DoloSegment* s = record.segments; s != nullptr; s = s->next) size += s->length;
  return size;
}

std::uint32_t DoloSegmentCount(const _DoloPacket& record) {
  std::uint32_t count = 0;
  for (const DoloSegment* s = record.segments; s != nullptr; s = s->next) ++count;
  return count;
}

std::string DoloVersionText(std::uint16_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "V%d.%03d", DoloMajor(version), DoloMinor(version));
  return text;
}

}  // namespace desktop::firmware
