#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class QFont;

namespace desktop::pages {

class CMRXPropertyPage;

// Fields of a card's settings image as the card tabs show and take them. Every
// access is limited to the bytes the module holds (its descriptor's settings
// length), so a card reporting a short image shows what it holds and nothing
// is read or written past it.
namespace card {

// The image bytes the module holds.
std::span<std::uint8_t> Held(CMRXPropertyPage& page);

// A 16-byte name: up to the NUL, at most 15 characters, as UTF-8.
std::string NameAt(std::span<const std::uint8_t> held, std::size_t at);
// The 16 bytes zeroed, then the first 15 characters of `text`.
void PutNameZeroed(std::span<std::uint8_t> held, std::size_t at, std::string_view text);
// The first 15 characters of `text` and their NUL over the old field; the
// bytes after the NUL stay as they were.
void PutNameTerminated(std::span<std::uint8_t> held, std::size_t at, std::string_view text);
// Bytes [from, to) zeroed.
void Zero(std::span<std::uint8_t> held, std::size_t from, std::size_t to);

bool Bit(std::span<const std::uint8_t> held, std::size_t at, unsigned bit);
void SetBit(std::span<std::uint8_t> held, std::size_t at, unsigned bit, bool on);
std::uint8_t U8(std::span<const std::uint8_t> held, std::size_t at);
void PutU8(std::span<std::uint8_t> held, std::size_t at, std::uint8_t v);
std::uint16_t U16(std::span<const std::uint8_t> held, std::size_t at);
void PutU16(std::span<std::uint8_t> held, std::size_t at, std::uint16_t v);
std::int16_t I16(std::span<const std::uint8_t> held, std::size_t at);
void PutI16(std::span<std::uint8_t> held, std::size_t at, std::int16_t v);

// Serial number and delivery date into controls 1005 and 1004, and back.
void ShowIdentity(CMRXPropertyPage& page);
void TakeIdentity(CMRXPropertyPage& page);

// A column button: when fewer than half of the column's check boxes are
// checked, all of them are checked, else all are cleared.
void SwitchColumn(CMRXPropertyPage& page, std::span<const int> ids);

// A channel list (filled by FillChannelList) shows the assignment at index
// `value`; a value past the list's end selects nothing.
void ShowAssignment(CMRXPropertyPage& page, int id, std::uint16_t value);
// The list's selection, or the image's u16 at `at` while nothing is selected,
// so an assignment the list cannot show is kept.
std::uint16_t Assignment(CMRXPropertyPage& page, int id, std::size_t at);

// A level in tenths of a dB as every program shows one ("-12.5 dB").
std::string LevelText(int tenths);
// The bold font of the level texts beside the sliders.
QFont LevelFont();

}  // namespace card
}  // namespace desktop::pages
