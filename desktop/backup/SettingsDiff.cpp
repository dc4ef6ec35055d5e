#include "desktop/backup/SettingsDiff.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "protocol/unit/ModuleCatalogue.h"
#include "protocol/unit/SettingsFields.h"

namespace desktop::backup {

namespace pu = protocol::unit;

namespace {

// A changed byte range shows at most this many bytes of each side.
constexpr std::size_t kMaxShownBytes = 16;

Difference Make(std::uint8_t address, std::string model, bool curves, std::string what,
                std::string before, std::string after) {
  Difference d;
  d.address = address;
  d.model = std::move(model);
  d.curves = curves;
  d.what = std::move(what);
  d.before = std::move(before);
  d.after = std::move(after);
  return d;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  char two[4];
  for (std::size_t i = 0; i < bytes.size() && i < kMaxShownBytes; ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    text += (i == 0 ? "" : " ") + std::string(two);
  }
  return bytes.size() > kMaxShownBytes ? text + " ..." : text;
}

std::string Present(const ModuleBackup& m) {
  return m.Model() + " " + m.VersionText();
}

void CompareImages(const ModuleBackup& a, const ModuleBackup& b, std::vector<Difference>& out) {
  const std::string model = a.Model();
  if (a.image.size() != b.image.size()) {
    out.push_back(Make(a.address, model, false, "settings image",
                       std::to_string(a.image.size()) + " bytes",
                       std::to_string(b.image.size()) + " bytes"));
    return;
  }
  if (a.image == b.image) return;
  // The main unit's layout is its own; cards go by type.
  const auto& fields =
      pu::FieldsFor(a.address == pu::kMainUnitAddress ? pu::kMainUnit.code : a.type);
  std::vector<std::uint8_t> covered(a.image.size(), 0);
  for (const pu::SettingsField& f : fields) {
    if (f.offset + f.size > a.image.size()) continue;
    for (std::size_t i = 0; i < f.size; ++i) covered[f.offset + i] |= f.CoveredBits(i);
    const std::string before = pu::FormatField(f, a.image);
    const std::string after = pu::FormatField(f, b.image);
    if (before != after) out.push_back(Make(a.address, model, false, f.name, before, after));
  }
  // What no named field explains, as byte ranges.
  for (std::size_t i = 0; i < a.image.size();) {
    if (((a.image[i] ^ b.image[i]) & ~covered[i]) == 0) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < a.image.size() && ((a.image[end] ^ b.image[end]) & ~covered[end]) != 0) ++end;
    const std::string what = end - i == 1
                                 ? "byte " + std::to_string(i)
                                 : "bytes " + std::to_string(i) + "-" + std::to_string(end - 1);
    const auto range = [&](const std::vector<std::uint8_t>& image) {
      return Hex(std::span(image).subspan(i, end - i));
    };
    out.push_back(Make(a.address, model, false, what, range(a.image), range(b.image)));
    i = end;
  }
}

// What a side without the module or its curves shows: a partial backup
// says it could not read them rather than that there are none.
std::string Absent(bool missing) {
  return missing ? "(not read: the backup is partial)" : "(none)";
}

void CompareCurves(const CurveBackup* a, const CurveBackup* b, bool aMissing, bool bMissing,
                   const std::string& model, std::vector<Difference>& out) {
  const std::uint8_t address = a != nullptr ? a->address : b->address;
  if (a == nullptr || b == nullptr) {
    const auto channels = [](const CurveBackup* c, bool missing) {
      return c == nullptr ? Absent(missing) : std::to_string(c->channels.size()) + " channels";
    };
    out.push_back(
        Make(address, model, true, "curves", channels(a, aMissing), channels(b, bMissing)));
    return;
  }
  const std::size_t count = std::max(a->channels.size(), b->channels.size());
  for (std::size_t c = 0; c < count; ++c) {
    const std::string what = "curve of channel " + std::to_string(c);
    if (c >= a->channels.size() || c >= b->channels.size()) {
      out.push_back(Make(address, model, true, what, c < a->channels.size() ? "present" : "(none)",
                         c < b->channels.size() ? "present" : "(none)"));
      continue;
    }
    const auto& x = a->channels[c];
    const auto& y = b->channels[c];
    std::size_t changed = std::max(x.size(), y.size()) - std::min(x.size(), y.size());
    for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) changed += x[i] == y[i] ? 0 : 1;
    if (changed > 0) {
      out.push_back(Make(address, model, true,
                         what + ": " + std::to_string(changed) + " of " +
                             std::to_string(std::max(x.size(), y.size())) + " bins differ",
                         "", ""));
    }
  }
}

}  // namespace

std::string Difference::Text() const {
  std::string text = model + " @" + std::to_string(address) + ": " + what;
  if (before.empty() && after.empty()) return text;
  return text + " " + (before.empty() ? "\"\"" : before) + " → " + (after.empty() ? "\"\"" : after);
}

std::vector<Difference> SettingsDiff(const UnitBackup& a, const UnitBackup& b) {
  std::vector<Difference> out;
  std::set<std::uint8_t> addresses;
  for (const auto& m : a.modules) addresses.insert(m.address);
  for (const auto& m : b.modules) addresses.insert(m.address);
  for (const auto& c : a.curves) addresses.insert(c.address);
  for (const auto& c : b.curves) addresses.insert(c.address);
  for (std::uint8_t address : addresses) {
    const ModuleBackup* x = a.FindModule(address);
    const ModuleBackup* y = b.FindModule(address);
    const std::string model = x != nullptr ? x->Model() : y != nullptr ? y->Model() : "KLF310";
    if (x == nullptr && y != nullptr) {
      out.push_back(
          Make(address, model, false, "module", Absent(a.ModuleMissing(address)), Present(*y)));
    } else if (x != nullptr && y == nullptr) {
      out.push_back(
          Make(address, model, false, "module", Present(*x), Absent(b.ModuleMissing(address))));
    } else if (x != nullptr && x->type != y->type) {
      out.push_back(Make(address, model, false, "type",
                         x->Model() + " (type " + std::to_string(x->type) + ")",
                         y->Model() + " (type " + std::to_string(y->type) + ")"));
      continue;  // nothing else of two different cards compares
    } else if (x != nullptr) {
      CompareImages(*x, *y, out);
    }
    const CurveBackup* cx = a.FindCurves(address);
    const CurveBackup* cy = b.FindCurves(address);
    if (cx != nullptr || cy != nullptr) {
      CompareCurves(cx, cy, a.CurvesMissing(address), b.CurvesMissing(address), model, out);
    }
  }
  return out;
}

}  // namespace desktop::backup
