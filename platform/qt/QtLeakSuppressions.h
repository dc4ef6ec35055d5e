#pragma once

// Allocations of the system libraries under Qt that live until the process
// ends by design (the font configuration is loaded once and kept). Programs
// built with the leak checker return this from __lsan_default_suppressions.
inline constexpr const char* kQtLeakSuppressions = "leak:libfontconfig.so\n";

// Defines the leak checker's hook in the one file of a program that includes it.
#define MRX_QT_LEAK_SUPPRESSIONS()                                             \
  extern "C" __attribute__((used)) const char* __lsan_default_suppressions() { \
    return kQtLeakSuppressions;                                                \
  }
