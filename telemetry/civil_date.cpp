// Gregorian calendar arithmetic shared by every reader and writer of times.
#include "telemetry/civil_date.hpp"

namespace camvault {

bool is_leap_year(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned days_in_month(int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
    // Counting from 1 March of a 400-year era puts the leap day last, so
    // every era and every year in it has the same shape.
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;                            // 0..399
    const int64_t month_from_march = month > 2 ? month - 3 : month + 9;      // 0..11
    const int64_t day_of_year = (153 * month_from_march + 2) / 5 + day - 1;  // 0..365
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;  // 0..146096
    return era * 146097 + day_of_era - 719468;  // 719468: 0000-03-01 to 1970-01-01
}

CivilDate civil_from_days(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;  // 0..146096
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t month_from_march = (5 * day_of_year + 2) / 153;  // 0..11
    const auto day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
    const auto month =
        static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
    return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace camvault
