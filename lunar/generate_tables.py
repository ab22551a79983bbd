#!/usr/bin/python3
"""Writes lunar/LunarTables.cpp: the astronomical facts the lunar calendar is
built from, for the Gregorian years 1899 to 2101.

  * the day, in China Standard Time (UTC+8), of every new moon from the one
    before the winter solstice of 1899 to the one after that of 2101;
  * the day, in UTC+8, of each of the 24 solar terms: the sun's apparent
    geocentric ecliptic longitude (true equinox and ecliptic of date) reaching
    a multiple of 15 degrees (小寒 285, 大寒 300, ... 冬至 270).

The months, leap months and festivals are worked out from these at run time
(LunarCalendar.cpp), so the rules stay in the program and are tested there.

Run once, on Debian 12, with Debian's interpreter and packages:
    apt-get install python3-ephem python3-erfa
    /usr/bin/python3 lunar/generate_tables.py > lunar/LunarTables.cpp
It prints its findings (events near midnight, cross-checks) on stderr.

Sources, and why:
  * New moons: python3-ephem (4.1.4), whose Moon is Moshier's fit to JPL's
    DE404 (better than 0.05" from -1369 to 2950, a tenth of a second in time).
    Cross-checked below against ERFA's Moon98 (Meeus's series, worst error
    18", half a minute): it gives the same day for every new moon of the
    range, the two within a minute of midnight included (2057-09-28
    23:59:50, 2097-08-07 23:59:18); the report lists any that differ.
  * The sun: python3-erfa (IAU SOFA): Earth from EPV00 (within 4.6 km of
    DE405 over 1900-2100), precession-nutation IAU 2006/2000A, the true
    ecliptic of date, light-time and aberration from the Earth's heliocentric
    velocity. Deliberately not ephem, whose solar terms are the test fixture
    (tests/data/solar_terms.txt): the two agree on every day but one, 1951's
    冬至, see tests/data/generate_solar_terms.py.
  * Delta T (TT - UT): ephem's convention (ephem.delta_t: the observed values
    to 2018, a parabola after), so that the two computations differ only in
    their astronomy. Nobody knows Delta T decades ahead; the one event of the
    range it decides is named below (2057-09-28).

Months before 1929: China's calendars were reckoned in Beijing local time
(116°25' E, UTC+7:45:40) until the 120° E standard time of 1929. Three new
moons of the Republic's years fell between 00:00 and 00:15 UTC+8, before
midnight in Beijing: their months began a day earlier than UTC+8 gives, as
the almanacs of the time (and python3-lunardate's table) have them. They are
HISTORICAL below. (1906's new moon at 00:06 UTC+8 is not among them: the Qing
calendar of that year began its month on the UTC+8 day, as the tables do.)
"""
import math
import sys
import warnings

import ephem
import erfa
import numpy as np

warnings.filterwarnings("ignore")  # EPV00 warns outside 1900-2100

FIRST_YEAR, LAST_YEAR = 1899, 2101
CST = 8 / 24.0
J2000 = 2451545.0
DUBLIN = 2415020.0  # ephem's dates count days from here
C_AU_PER_DAY = 173.14463267424034
TERM_NAMES = "小寒 大寒 立春 雨水 惊蛰 春分 清明 谷雨 立夏 小满 芒种 夏至 " \
             "小暑 大暑 立秋 处暑 白露 秋分 寒露 霜降 立冬 小雪 大雪 冬至".split()

# New moons whose month began a day before their UTC+8 day (Beijing local time).
HISTORICAL = {"1914-11-18": "1914-11-17", "1916-02-04": "1916-02-03",
              "1920-11-11": "1920-11-10"}


def log(*args):
    print(*args, file=sys.stderr)


def delta_t_days(ut_jd):
    return ephem.delta_t(ephem.Date(ut_jd - DUBLIN)) / 86400.0


def true_ecliptic(tt_jd, vec):
    """Longitude of a GCRS vector on the true ecliptic and equinox of date."""
    d2 = tt_jd - J2000
    x, y, z = erfa.pnm06a(J2000, d2) @ vec
    dpsi, deps = erfa.nut06a(J2000, d2)
    eps = erfa.obl06(J2000, d2) + deps
    return math.atan2(y * math.cos(eps) + z * math.sin(eps), x) % (2 * math.pi)


def sun_longitude(tt_jd):
    pvh, _ = erfa.epv00(J2000, tt_jd - J2000)
    p = -np.asarray(pvh[0])
    tau = np.linalg.norm(p) / C_AU_PER_DAY
    return true_ecliptic(tt_jd, p + tau * np.asarray(pvh[1]))


def moon_longitude(tt_jd):
    return true_ecliptic(tt_jd, np.asarray(erfa.moon98(J2000, tt_jd - J2000)[0]))


def solve(f, target, ut, rate):
    """UT Julian date near ut at which f(TT) reaches target (radians)."""
    for _ in range(40):
        diff = (target - f(ut + delta_t_days(ut)) + math.pi) % (2 * math.pi) - math.pi
        ut += diff / rate
        if abs(diff) < 1e-9:  # a few milliseconds
            return ut
    raise RuntimeError("no convergence")


def cst_day(ut_jd):
    """Julian day number of the UTC+8 calendar day of a UT Julian date."""
    return math.floor(ut_jd + CST + 0.5)


def iso(jdn):
    return ephem.Date(jdn - DUBLIN).datetime().date().isoformat()


def day_of_month(jdn, year, month):
    return jdn - cst_day(float(ephem.Date("%d/%d/1 4:00" % (year, month))) + DUBLIN) + 1


def seconds_from_midnight(ut_jd):
    f = (ut_jd + CST + 0.5) % 1.0
    return min(f, 1 - f) * 86400


def solar_terms():
    days = {}
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        for k in range(24):
            guess = ephem.Date("%d/1/6" % year) + DUBLIN + k * 15.2184
            ut = solve(sun_longitude, math.radians((285 + 15 * k) % 360), guess,
                       2 * math.pi / 365.2422)
            days[(year, k)] = cst_day(ut)
            if seconds_from_midnight(ut) < 60:
                log("near midnight: %d %s at %s UTC+8" % (
                    year, TERM_NAMES[k], ephem.Date(ut - DUBLIN + CST)))
    return days


def new_moons():
    days = []
    d = ephem.Date("%d/11/1" % FIRST_YEAR)
    end = ephem.Date("%d/2/1" % (LAST_YEAR + 1))
    while True:
        d = ephem.next_new_moon(d)
        if d > end:
            break
        ut = float(d) + DUBLIN
        day = cst_day(ut)
        check = cst_day(solve(lambda tt: (moon_longitude(tt) - sun_longitude(tt)) % (2 * math.pi),
                              0.0, ut, 2 * math.pi / 29.530589))
        if seconds_from_midnight(ut) < 60 or check != day:
            log("near midnight: new moon %s UTC+8 (Moon98 gives the day %s)" % (
                ephem.Date(d + CST), iso(check)))
        key = iso(day)
        if key in HISTORICAL:
            log("historical: the month of the new moon of %s began %s" % (key, HISTORICAL[key]))
            day -= 1
            assert iso(day) == HISTORICAL.pop(key)
        days.append(day)
        d = ephem.Date(d + 1)
    assert not HISTORICAL, HISTORICAL
    return days


def main():
    moons = new_moons()
    terms = solar_terms()
    lengths = [b - a for a, b in zip(moons, moons[1:])]
    assert set(lengths) == {29, 30}
    words = []
    for i in range(0, len(lengths), 32):
        word = 0
        for j, n in enumerate(lengths[i:i + 32]):
            word |= (n - 29) << j
        words.append((word, moons[i]))
    # Each term's day as an offset of 0..3 from its earliest day in the range.
    first = [min(day_of_month(terms[(y, k)], y, k // 2 + 1)
                 for y in range(FIRST_YEAR, LAST_YEAR + 1)) for k in range(24)]
    out = print
    out("// Generated by lunar/generate_tables.py: do not edit.")
    out("// New moons and solar terms, each as the day in UTC+8, %d to %d." % (FIRST_YEAR, LAST_YEAR))
    out('#include "lunar/LunarTables.h"')
    out()
    out("namespace LunarTables {")
    out("const int firstNewMoon = %d; // %s" % (moons[0], iso(moons[0])))
    out("const int newMoonCount = %d;" % len(moons))
    out("// Bit i of the words: the month from new moon i is 30 days long (else 29).")
    out("const quint32 monthLengthBits[] = {")
    for word, start in words:
        out("    0x%08x, // from %s" % (word, iso(start)))
    out("};")
    out()
    out("const int firstTermYear = %d;" % FIRST_YEAR)
    out("const int termYearCount = %d;" % (LAST_YEAR - FIRST_YEAR + 1))
    out("// The earliest day of the month of each term (小寒 in January ... 冬至 in December).")
    head = "const quint8 termFirstDay[24] = {"
    out(head + ", ".join(str(f) for f in first[:12]) + ",")
    out(" " * len(head) + ", ".join(str(f) for f in first[12:]) + "};")
    out("// Per year, 2 bits per term (小寒 lowest): its day less termFirstDay.")
    out("const quint64 termOffsets[] = {")
    for year in range(FIRST_YEAR, LAST_YEAR + 1):
        word = 0
        for k in range(24):
            off = day_of_month(terms[(year, k)], year, k // 2 + 1) - first[k]
            assert 0 <= off <= 3, (year, k, off)
            word |= off << (2 * k)
        out("    0x%012xULL, // %d" % (word, year))
    out("};")
    out("} // namespace LunarTables")


if __name__ == "__main__":
    main()
