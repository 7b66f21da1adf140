#pragma once

#include <cstdint>

// A calendar date and wall-clock time without a zone, with the proleptic Gregorian arithmetic that
// turns it into seconds since 1970 when read as UTC.
struct CivilDateTime {
    int year = 1970;
    int month = 1; // 1...12
    int day = 1;   // 1...31
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool isValid() const;
    int64_t secondsSinceUnixEpochAsUtc() const;
    static CivilDateTime fromSecondsSinceUnixEpochAsUtc(int64_t seconds);
};

int64_t daysFromCivil(int year, int month, int day);
