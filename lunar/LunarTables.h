#pragma once

#include <QtGlobal>

// The astronomical facts the calendar is built from, written by
// generate_tables.py: each new moon's and each solar term's day in UTC+8,
// as Julian day numbers.
namespace LunarTables {
extern const int firstNewMoon; // Julian day of the first new moon
extern const int newMoonCount;
extern const quint32 monthLengthBits[]; // bit i: the month from new moon i has 30 days

extern const int firstTermYear;
extern const int termYearCount;
extern const quint8 termFirstDay[24]; // 小寒 ... 冬至: the earliest day of its month
extern const quint64 termOffsets[];   // per year, 2 bits per term: the day less termFirstDay
} // namespace LunarTables
