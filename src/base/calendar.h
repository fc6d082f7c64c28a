#pragma once

#include <cstdint>
#include <string>

namespace quern {

// The proleptic Gregorian calendar in UTC, for any time in seconds since
// 1970 that 64 bits hold: file times come from the disk or a listing and
// may lie far outside the years a clock shows.

struct civil_date {
  int64_t year;
  unsigned month;  // 1 to 12
  unsigned day;    // 1 to 31
};

civil_date date_of(int64_t seconds_since_epoch);

// The first second of the year.
int64_t start_of_year(int64_t year);

// "YYYY-MM-DD", the year with at least four digits and a sign only where it
// is negative.
void append_date(std::string& out, int64_t seconds_since_epoch);

}  // namespace quern
