#include "remote/link/DevicesFile.h"

#include <cstdio>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"

namespace remote::link {

namespace {

constexpr std::size_t kLineBuffer = 2000;  // bytes with the NUL, as fgets reads

bool ParseLine(std::string line, ImportedDevice& out) {
  // The line as a C string: it ends at its first NUL.
  line = line.c_str();
  char marker = 0;
  unsigned high = 0;
  unsigned long low = 0;
  int consumed = 0;
  if (std::sscanf(line.c_str(), "%c%04X%08lX%n", &marker, &high, &low, &consumed) != 3)
    return false;
  std::size_t pos = static_cast<std::size_t>(consumed);
  auto atEnd = [&] { return pos >= line.size() || line[pos] == '\n' || line[pos] == '\r'; };
  auto skipTo = [&] {
    while (!atEnd() && line[pos] != '"') ++pos;
  };
  auto skipQuotes = [&] {
    while (!atEnd() && line[pos] == '"') ++pos;
  };
  auto take = [&] {
    const std::size_t start = pos;
    while (!atEnd() && line[pos] != '"') ++pos;
    return line.substr(start, pos - start);
  };
  skipTo();
  skipQuotes();
  const std::string name = take();
  skipQuotes();
  skipTo();
  skipQuotes();
  const std::string service = take();
  out.isDefault = marker == '*';
  out.entry.address = {static_cast<std::uint32_t>(low), high & 0xFFFF};
  out.entry.friendlyName = platform::CodePageToUtf8(name);
  out.entry.serviceName = platform::CodePageToUtf8(service);
  return true;
}

}  // namespace

std::vector<ImportedDevice> ParseDevicesText(std::string_view text) {
  std::vector<ImportedDevice> devices;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // What one fgets into the 2000-byte buffer returns.
    std::size_t end = pos;
    while (end < text.size() && end - pos < kLineBuffer - 1) {
      if (text[end++] == '\n') break;
    }
    ImportedDevice device;
    if (ParseLine(std::string(text.substr(pos, end - pos)), device)) devices.push_back(device);
    pos = end;
  }
  return devices;
}

bool ReadDevicesFile(const std::filesystem::path& path, std::vector<ImportedDevice>& devices,
                     std::string& error) {
  std::string text;
  if (!platform::ReadFileUpTo(path, kMaxDevicesFileBytes, text, error)) return false;
  devices = ParseDevicesText(text);
  return true;
}

}  // namespace remote::link
