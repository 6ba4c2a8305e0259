// Runs a test under German number formatting (a decimal comma), as GTK sets
// it up for a German user, and puts the C locale back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace camvault::testing {

class DecimalCommaLocale {
  public:
    DecimalCommaLocale() {
        ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        if (ok_ && std::string(std::localeconv()->decimal_point) != ",")
            ok_ = false;
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, "C"); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

}  // namespace camvault::testing

// Skips the test where the locale is not generated (scripts/run-tests generates it).
#define CAMVAULT_WITH_DECIMAL_COMMA(guard)         \
    ::camvault::testing::DecimalCommaLocale guard; \
    if (!guard.ok())                               \
    GTEST_SKIP() << "de_DE.UTF-8 is not available; scripts/run-tests generates it"
