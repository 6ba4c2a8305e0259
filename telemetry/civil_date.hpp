// Dates of the proleptic Gregorian calendar, as cameras stamp them in UTC:
// one place for leap years, month lengths and the day count from 1970 that
// the script writer, the script reader, the GoPro reader and the route
// exporters all carry times by.
#pragma once

#include <cstdint>

namespace camvault {

bool is_leap_year(int64_t year);

// Days in `month` (1..12) of `year`.
unsigned days_in_month(int64_t year, unsigned month);

// Days from 1970-01-01 to the given date (negative before 1970). Exact for
// every year a record key can hold.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day);

struct CivilDate {
    int64_t year;
    unsigned month, day;
};

// The date `days` after 1970-01-01; the inverse of days_from_civil.
CivilDate civil_from_days(int64_t days);

}  // namespace camvault
