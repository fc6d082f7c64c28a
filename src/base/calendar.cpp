#include "base/calendar.h"

#include "base/text.h"

namespace quern {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Days of a 400-year cycle of the calendar.
constexpr int64_t kDaysPerEra = 146097;

int64_t floor_divide(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return quotient - (value % divisor < 0 ? 1 : 0);
}

// Days since 1970-01-01 of the date, counting years from March so that the
// leap day ends a year.
int64_t days_from_date(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = floor_divide(year, 400);
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * kDaysPerEra + day_of_era - 719468;
}

}  // namespace

civil_date date_of(int64_t seconds_since_epoch) {
  const int64_t days = floor_divide(seconds_since_epoch, kSecondsPerDay) + 719468;
  const int64_t era = floor_divide(days, kDaysPerEra);
  const int64_t day_of_era = days - era * kDaysPerEra;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const auto day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t start_of_year(int64_t year) { return days_from_date(year, 1, 1) * kSecondsPerDay; }

void append_date(std::string& out, int64_t seconds_since_epoch) {
  const civil_date date = date_of(seconds_since_epoch);
  if (date.year < 0) out += '-';
  const uint64_t year = date.year < 0 ? 0 - static_cast<uint64_t>(date.year) : static_cast<uint64_t>(date.year);
  append_format(out, "%04llu-%02u-%02u", static_cast<unsigned long long>(year), date.month, date.day);
}

}  // namespace quern
