#pragma once

#include <ctime>

namespace platform {

// Broken-down local time as the programs show and send it.
struct LocalTime {
  int year = 2000;  // full year
  int month = 1;    // 1-12
  int day = 1;      // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int dayOfWeek = 0;  // 0 = Sunday
};

LocalTime ToLocalTime(std::time_t t);
std::time_t FromLocalTime(const LocalTime& t);

}  // namespace platform
