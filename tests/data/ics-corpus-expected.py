#!/usr/bin/python3
"""Writes what an independent reader makes of the calendar files in
ics-corpus/: for each file and time zone, the local start times of the
schedules an import must add, as the import of brenwick-ics defines them:

- an event without RRULE or RDATE: its start, whatever the date;
- a changed occurrence (RECURRENCE-ID): its start, from today on;
- a recurring event: its occurrences (less EXDATEs and changed ones) whose
  local start date lies from today to ten years ahead, at most 3,650.

The reader is Debian's python3-icalendar with python3-recurring-ical-events
(Debian 12: icalendar 4.0.3, recurring-ical-events 2.0.1, pytz). Run once,
from the repository, and keep the output:

    /usr/bin/python3 tests/data/ics-corpus-expected.py > tests/data/ics-corpus-expected.txt

Where the reader and RFC 5545 disagree, DECIDED below holds what the import
must do instead, and why; the output keeps the reader's view in a comment.
"""
import datetime
import hashlib
import os
import re
import sys
from collections import defaultdict

import icalendar
import pytz
import recurring_ical_events

TODAY = datetime.date(2026, 3, 31)
HORIZON = datetime.date(2036, 3, 31)
MAX_OCCURRENCES = 3650
ZONES = ["Asia/Shanghai", "America/New_York"]
CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ics-corpus")

# What the import must do where the reader fails or is wrong, and why; each
# was looked at by hand. An expectation is "refused LINE" (the import fails
# and names that line), "as FILE" (the reader's occurrences of another file
# that holds the same events in a form it reads), "skip: REASON", or the
# local start times for each zone.
NO_START = ("an event without DTSTART, which RFC 5545 3.6.1 requires in a calendar "
            "without METHOD; the import needs a start, so it refuses the file at the "
            "event; the reader fails too")
DECIDED = {
    "america_new_york_forward_reference.ics": (
        "as america_new_york.ics",
        "the VTIMEZONE follows the event that uses it, which RFC 5545 allows; the reader "
        "takes the time as floating, the import uses the zone"),
    "big_bad_calendar.ics": (
        "refused 41", "the file ends inside its calendar (no END:VCALENDAR, RFC 5545 3.4); "
        "the reader fails too"),
    "broken_dtstart.ics": (
        "refused 6", "DTSTART:INVALID-DATE is no date: no usable start; the reader fails too"),
    "broken_ical.ics": (
        {"*": ["2014-04-09T09:30:00"]},
        "DTSTART;;VALUE=DATE-TIME:20140409T093000 has an empty parameter, which the grammar "
        "of RFC 5545 3.1 does not allow, but its value is a sound DATE-TIME: libical reads "
        "past the empty parameter and the import takes the start; the reader drops the line"),
    "created_calendar_with_unicode_fields.ics": ("refused 20", NO_START),
    "fuzz_testcase_0_char_in_component_name.ics": (
        "refused 1", "a NUL byte: not a text file; the reader fails too"),
    "fuzz_testcase_invalid_month.ics": (
        "refused 1", "no BEGIN:VCALENDAR; the reader fails too"),
    "fuzz_testcase_vtimezone_lone_cr.ics": (
        "refused 1", "a VTIMEZONE without a calendar around it; the reader fails too"),
    "issue_1050_multiple_calendars.ics": ("refused 4", NO_START),
    "issue_1050_uid_in_description.ics": ("refused 4", NO_START),
    "issue_1081_invalid_rrule_freq.ics": (
        {"Asia/Shanghai": ["2025-01-01T18:00:00"], "America/New_York": ["2025-01-01T05:00:00"]},
        "RRULE:FREQ=INVALID_TYPE_CAUSES_ERROR cannot be read: the import leaves the line out, "
        "counts it and keeps the event at its DTSTART (10:00 UTC); the reader drops the event"),
    "issue_1081_invalid_start_and_end.ics": (
        "refused 6", "DTSTART:INVALID-DATE: no usable start; the reader fails too"),
    "issue_1081_invalid_start_valid_end.ics": (
        "refused 6", "DTSTART:INVALID-DATE: no usable start; the reader fails too"),
    "issue_1081_with_summary.ics": ("refused 4", NO_START),
    "issue_1549_binary_attachment.ics": ("refused 4", NO_START),
    "issue_1561_image_value.ics": ("refused 2", NO_START),
    "issue_178_component_with_invalid_name_represented.ics": (
        "refused 1", "no VCALENDAR at all, only a component of its own; not a calendar"),
    "issue_178_custom_component_contains_other.ics": (
        "refused 1", "the event lies in a component of its own, not in a VCALENDAR "
        "(RFC 5545 3.4): not a calendar; the reader takes the event"),
    "issue_218_bad_tzid.ics": (
        {"Asia/Shanghai": ["2017-02-28T20:00:00"], "America/New_York": ["2017-02-28T07:00:00"]},
        "the zone's only observance starts on a DATE where RFC 5545 wants a DATE-TIME; libical "
        "reads it as that day's midnight and the zone is +11:00 throughout, so 23:00 there is "
        "12:00 UTC; the reader fails"),
    "issue_313_globally_unique_tzid.ics": (
        {"Asia/Shanghai": ["2020-04-26T20:00:00", "2020-04-27T01:00:00", "2020-04-27T02:00:00"],
         "America/New_York": ["2020-04-26T08:00:00", "2020-04-26T13:00:00",
                              "2020-04-26T14:00:00"]},
        "TZIDs of libical (/freeassociation.sourceforge.net/...), Lightning (/mozilla.org/...) "
        "and a vendor prefix name Berlin, New York and Buenos Aires: 14:00 there is 12:00, 18:00 "
        "and 17:00 UTC; the reader takes the times as floating"),
    "issue_322_expected_calendar.ics": ("refused 2", NO_START),
    "issue_466_convert_tzid_with_slash.ics": (
        "as one_zone_named_once.ics",
        "TZID=/Europe/Stockholm is Stockholm behind a slash, the same event as in the other "
        "file, which has a VTIMEZONE; the reader takes the times as floating"),
    "issue_526_calendar_with_different_events.ics": (
        "refused 7", "TZID \"Western/Central Europe\" has no VTIMEZONE, which RFC 5545 3.2.19 "
        "requires, and names no zone: no usable start; the reader takes the time as floating"),
    "issue_526_calendar_with_event_subset.ics": (
        "refused 7", "as issue_526_calendar_with_different_events.ics"),
    "issue_526_calendar_with_events.ics": (
        "refused 7", "as issue_526_calendar_with_different_events.ics"),
    "issue_526_calendar_with_shuffeled_events.ics": (
        "refused 7", "as issue_526_calendar_with_different_events.ics"),
    "issue_722_missing_VTIMEZONE_custom.ics": (
        "refused 3", "TZID=CUSTOM_tzid has no VTIMEZONE (RFC 5545 3.2.19) and names no zone: "
        "no usable start; the reader takes the time as floating"),
    "issue_722_missing_timezones.ics": ("refused 9", NO_START),
    "issue_798_related_to.ics": ("refused 2", NO_START),
    "issue_82_expected_output.ics": (
        "refused 1", "a VEVENT without a calendar around it: not a calendar"),
    "parsing_error_in_UTC_offset.ics": (
        "0", "a VTIMEZONE with an offset of 57 hours and no event: nothing to add; the reader "
        "fails on the offset"),
    "pr_480_summary_with_colon.ics": (
        "refused 7", "the file ends inside its calendar (no END:VCALENDAR); the reader fails too"),
    "rfc_5545_RDATE_example.ics": ("refused 2", NO_START),
    "rfc_6868.ics": ("refused 3", NO_START),
    "rfc_7256_multi_value_parameters.ics": ("refused 2", NO_START),
    "rfc_7529.ics": (
        {"*": None},  # rscale_starts() below
        "RFC 7529's four examples, each reckoned in its own calendar by an independent "
        "library: 春节 (RSCALE=CHINESE) by python3-lunardate, 8 Adar I with SKIP=FORWARD "
        "(HEBREW, 5L) by python3-convertdate's Hebrew calendar, the first day of the 13th month "
        "(ETHIOPIC, whose months and days are the Coptic calendar's) by its Coptic one, and "
        "29 February with SKIP=FORWARD (GREGORIAN) by the standard library; the first "
        "occurrences agree with the RFC's (2014-01-31; 2015-02-27, 2016-02-17, 2017-03-06; "
        "2013-03-01); the reader fails on RSCALE"),
    "rfc_7986_conferences.ics": ("refused 2", NO_START),
    "rfc_7986_image.ics": ("refused 2", NO_START),
    "rfc_9253_gap.ics": ("refused 4", NO_START),
    "rfc_9253_related_to.ics": ("refused 4", NO_START),
    "small_bad_calendar.ics": (
        "refused 3", "the file ends inside its calendar (no END:VCALENDAR); the reader fails too"),
    "timezone_same_start_and_offset.ics": (
        "refused 23", "the calendar ends with END:VCALENDARD, which closes nothing: the file "
        "ends inside its calendar; the reader is lenient and takes the event"),
}


def rscale_starts():
    """The occurrences of rfc_7529.ics from TODAY to HORIZON, all-day events
    at local midnight in any zone."""
    import lunardate
    from convertdate import coptic, hebrew
    days = []
    for year in range(TODAY.year - 1, HORIZON.year + 1):
        days.append(lunardate.LunarDate(year, 1, 1).toSolarDate())  # 4.3.1
        # 4.3.3: Adar I (5L) in a leap year; Adar, the month after, in others.
        days.append(datetime.date(*hebrew.to_gregorian(year + 3761, 12, 8)))
        days.append(datetime.date(*coptic.to_gregorian(year - 284, 13, 1)))  # 4.3.2
        leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
        days.append(datetime.date(year, 2, 29) if leap else datetime.date(year, 3, 1))  # 4.3.4
    return sorted(d.isoformat() + "T00:00:00" for d in days if TODAY <= d < HORIZON)


def local(value, tz):
    if isinstance(value, datetime.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(tz).replace(tzinfo=None)
        return value
    return datetime.datetime(value.year, value.month, value.day)


def content_lines(raw):
    """The file's content lines, unfolded: LF or CR LF line ends, CR alone
    where there is no LF at all; a byte order mark first is dropped (the
    reader takes it for part of the first name)."""
    text = raw.decode("utf-8")
    if text.startswith("\ufeff"):
        text = text[1:]
    physical = text.split("\n") if "\n" in text else text.split("\r")
    lines = []
    for line in physical:
        if line.endswith("\r"):
            line = line[:-1]
        if line[:1] in (" ", "\t") and lines:
            lines[-1] += line[1:]
        elif line:
            lines.append(line)
    return lines


def value_of(line):
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == ":" and not quoted:
            return line[i + 1:]
    return None


def calendars(raw):
    """Each VCALENDAR of the file with only what decides occurrences: its
    events and time zones, without the properties whose value is empty (no
    value, as the import takes them), without RDATEs of VALUE=TIME, which
    RFC 5545 does not allow and the import skips, and without a second
    DTSTART in an event (RFC 5545 allows one; the import takes the first). Calendar properties, other
    components and anything after the last END:VCALENDAR do not decide
    occurrences; the reader fails on several of them, so they go."""
    out, kept, depth, keep = [], [], 0, False
    for line in content_lines(raw):
        name = line.split(":", 1)[0].split(";", 1)[0].strip().upper()
        value = value_of(line)
        if name == "BEGIN":
            depth += 1
            if depth == 2:
                keep = value.strip().upper() in ("VEVENT", "VTIMEZONE")
        if name == "END":
            depth -= 1
        if depth == 2 and name == "BEGIN":
            starts = 0
        if depth == 2 and name == "DTSTART":
            starts += 1
        if depth >= 2 or (depth == 1 and name == "END" and keep):
            if keep and value is not None and value.strip():
                if not (name == "RDATE" and "VALUE=TIME" in line.upper()) and \
                        not (name == "DTSTART" and depth == 2 and starts > 1):
                    kept.append(line)
        if depth == 0 and name == "END":
            out.append("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//corpus//EN\r\n" +
                       "".join(l + "\r\n" for l in local_until(kept)) + "END:VCALENDAR\r\n")
            kept = []
    return out


def local_until(lines):
    """The reader cannot take a time zone observance whose RRULE ends at a
    UTC UNTIL, as RFC 5545 has it: the same moment as a local time of the
    observance (in its TZOFFSETFROM) instead."""
    out, block = [], None
    for line in lines:
        upper = line.upper()
        if upper in ("BEGIN:STANDARD", "BEGIN:DAYLIGHT"):
            block = []
        if block is None:
            out.append(line)
            continue
        block.append(line)
        if upper in ("END:STANDARD", "END:DAYLIGHT"):
            offset = next((l.split(":", 1)[1].strip() for l in block
                           if l.upper().startswith("TZOFFSETFROM")), None)
            for l in block:
                match = re.search(r"UNTIL=(\d{8}T\d{6})Z", l, re.I)
                if match and offset and l.upper().startswith("RRULE"):
                    sign = -1 if offset.startswith("-") else 1
                    shift = datetime.timedelta(hours=int(offset[1:3]), minutes=int(offset[3:5]))
                    until = datetime.datetime.strptime(match.group(1), "%Y%m%dT%H%M%S")
                    until = (until + sign * shift).strftime("%Y%m%dT%H%M%S")
                    l = l[:match.start(1)] + until + l[match.end(1) + 1:]
                out.append(l)
            block = None
    return out


def readable(event):
    """What the reader cannot take as it is: RDATEs of VALUE=PERIOD (their
    starts are the occurrences) and an UNTIL without Z beside a zoned
    DTSTART (RFC 5545 wants UTC there; libical reads it in DTSTART's zone)."""
    rdates = event.get("RDATE")
    for rdate in (rdates if isinstance(rdates, list) else [rdates] if rdates else []):
        for d in rdate.dts:
            if isinstance(d.dt, tuple):
                d.dt = d.dt[0]
    start = event.get("DTSTART")
    rule = event.get("RRULE")
    if start is not None and rule is not None and isinstance(start.dt, datetime.datetime) \
            and start.dt.tzinfo is not None:
        until = [u if not (isinstance(u, datetime.datetime) and u.tzinfo is None)
                 else start.dt.tzinfo.localize(u).astimezone(pytz.utc)
                 for u in rule.get("UNTIL", [])]
        if until:
            rule["UNTIL"] = until


def occurrences(path, zone):
    tz = pytz.timezone(zone)
    icalendar.cal._timezone_cache.clear()  # the reader keeps zones from file to file
    with open(path, "rb") as f:
        texts = calendars(f.read())
    out = []
    for text in texts:
        cal = icalendar.Calendar.from_ical(text)
        for event in cal.walk("VEVENT"):
            if "DTSTART" not in event:
                raise ValueError("an event without DTSTART")
            readable(event)
            start = local(event["DTSTART"].dt, tz)
            if "RECURRENCE-ID" in event:
                if start.date() >= TODAY:
                    out.append(start)
            elif "RRULE" not in event and "RDATE" not in event:
                out.append(start)
        series = defaultdict(list)
        window = recurring_ical_events.of(cal, keep_recurrence_attributes=True).between(
            TODAY - datetime.timedelta(days=2), HORIZON + datetime.timedelta(days=2))
        for event in window:
            if "RECURRENCE-ID" in event or ("RRULE" not in event and "RDATE" not in event):
                continue
            start = local(event["DTSTART"].dt, tz)
            if TODAY <= start.date() < HORIZON:
                series[str(event.get("UID", ""))].append(start)
        for starts in series.values():
            out.extend(sorted(set(starts))[:MAX_OCCURRENCES])
    return sorted(out)


def line(starts):
    texts = [s.strftime("%Y-%m-%dT%H:%M:%S") for s in starts]
    digest = hashlib.sha1("\n".join(texts).encode()).hexdigest()[:12]
    if not texts:
        return "0"
    return f"{len(texts)} {digest} {texts[0]} {texts[-1]}"


def main():
    print("# Generated by ics-corpus-expected.py (see there for how it was run).")
    print("# file zone: count sha1-of-the-sorted-list first last | refused LINE | skip: why")
    readers = {}
    names = sorted(n for n in os.listdir(CORPUS) if n.endswith(".ics"))
    for name in names:
        for zone in ZONES:
            try:
                readers[name, zone] = line(occurrences(os.path.join(CORPUS, name), zone))
            except Exception as e:  # the reader refuses the file
                readers[name, zone] = "reader fails: " + " ".join(str(e).split())[:100]
    for name in names:
        for zone in ZONES:
            reader = readers[name, zone]
            if name not in DECIDED:
                print(f"{name} {zone}: {reader}")
                continue
            expected, why = DECIDED[name]
            if isinstance(expected, dict):
                starts = expected.get(zone, expected.get("*")) or rscale_starts()
                expected = line([datetime.datetime.fromisoformat(s) for s in starts])
            elif expected.startswith("as "):
                expected = readers[expected[3:], zone]
            if expected == reader:
                print(f"{name} {zone}: {reader}")
                continue
            print(f"# {name} {zone}: the reader says {reader}; {why}")
            print(f"{name} {zone}: {expected}")


if __name__ == "__main__":
    main()
