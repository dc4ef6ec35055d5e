// Comparing two backups: fields by name where the layout is known, byte
// ranges elsewhere, modules and curves on one side only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop/backup/SettingsDiff.h"

namespace desktop::backup {
namespace {

ModuleBackup Module(std::uint8_t address, std::uint8_t type, std::size_t length) {
  ModuleBackup m;
  m.address = address;
  m.type = type;
  m.versionMajor = 1;
  m.versionMinor = 20;
  m.image.assign(length, 0);
  return m;
}

std::vector<std::string> Texts(const UnitBackup& a, const UnitBackup& b) {
  std::vector<std::string> texts;
  for (const Difference& d : SettingsDiff(a, b)) texts.push_back(d.Text());
  return texts;
}

TEST(SettingsDiffTest, NamesFieldsOfKnownLayoutsAndBytesOfOthers) {
  UnitBackup a;
  a.modules = {Module(0, 0, 128), Module(3, 2, 48), Module(5, 10, 28), Module(12, 12, 16)};
  UnitBackup b = a;
  // QVO520 level 2 (bytes 36-37): -12.5 dB to -10.0 dB; mode to stereo.
  a.modules[1].image[36] = 0x83;
  a.modules[1].image[37] = 0xFF;
  b.modules[1].image[36] = 0x9C;
  b.modules[1].image[37] = 0xFF;
  b.modules[1].image[34] = 1;
  // YOR310 name and the identity record's serial.
  b.modules[2].image[8] = 'S';
  b.modules[2].image[4] = 0x0A;
  // The main unit: the language bit is named, bit 3 of the same word is not.
  b.modules[0].image[64] = 0x02 | 0x08;
  // A type without layout: bytes 10-11.
  b.modules[3].image[10] = 1;
  b.modules[3].image[11] = 2;
  EXPECT_EQ(Texts(a, b), (std::vector<std::string>{
                             "MRX520 @0: language English → Deutsch",
                             "MRX520 @0: byte 64 00 → 0A",
                             "QVO520 @3: level 2 -12.5 dB → -10.0 dB",
                             "QVO520 @3: mode mono bi-amping → stereo",
                             "YOR310 @5: serial 0 → 10",
                             "YOR310 @5: name \"\" → \"S\"",
                             "unknown @12: bytes 10-11 00 00 → 01 02",
                         }));
  EXPECT_TRUE(SettingsDiff(a, a).empty());
}

TEST(SettingsDiffTest, ModulesTypesAndCurvesOnOneSide) {
  UnitBackup a;
  a.modules = {Module(0, 0, 8), Module(2, 11, 798), Module(4, 4, 64)};
  UnitBackup b;
  b.modules = {Module(0, 0, 8), Module(2, 11, 798), Module(4, 6, 34), Module(7, 7, 124)};
  CurveBackup curves;
  curves.address = 2;
  curves.channels.assign(2, std::vector<protocol::klf::CurveBin>(2048));
  a.curves = {curves};
  curves.channels[1][5].amplitude = 3;
  curves.channels[1][2047].phase = -1;
  curves.channels.resize(3, curves.channels[0]);
  b.curves = {curves};
  EXPECT_EQ(Texts(a, b), (std::vector<std::string>{
                             "KLF310 @2: curve of channel 1: 2 of 2048 bins differ",
                             "KLF310 @2: curve of channel 2 (none) → present",
                             "HEJ520 @4: type HEJ520 (type 4) → TWR310i (type 6)",
                             "NVO310 @7: module (none) → NVO310 V1.020",
                         }));
  b.curves.clear();
  EXPECT_EQ(Texts(a, b).front(), "KLF310 @2: curves 2 channels → (none)");
}

}  // namespace
}  // namespace desktop::backup
