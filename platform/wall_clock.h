#pragma once
// The local date and time, for names people read (the snapshots of a load). Clock is steady time
// for the link's bounds and says nothing about the calendar.

#include <string>

namespace veskator {

struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "2026-12-08", "15:20:07", and both with a blank between, as people and the journal read them.
std::string dateText(const LocalTime& time);
std::string clockText(const LocalTime& time);
std::string dateTimeText(const LocalTime& time);

class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual LocalTime localNow() const = 0;
};

// The system's time in the system's time zone.
class SystemWallClock final : public WallClock {
  public:
    LocalTime localNow() const override;
};

}  // namespace veskator
