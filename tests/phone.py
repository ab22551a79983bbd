#!/usr/bin/python3
"""Another client of the test calendar (Debian's python3-caldav): what a
phone would do between two sync rounds.

    phone.py CALENDAR_URL USER PASSWORD COMMAND... 

Commands, run in order: put UID SUMMARY (adds, or changes the event of that
UID), series UID SUMMARY YYYYMMDD (adds an event every week, six times, from
that day), del UID, get UID (prints the event's text as the server keeps
it), list (prints "UID<TAB>SUMMARY" lines, sorted), occurrences UID (prints
"START<TAB>SUMMARY" for each occurrence as recurring-ical-events expands
the event, START in UTC), mkcal URL NAME COMPONENTS (makes a calendar at URL;
COMPONENTS: VEVENT,VTODO).
"""
import datetime
import sys
import caldav
import icalendar
import recurring_ical_events


def event_text(uid, summary):
    return "\r\n".join([
        "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//phone//test//EN",
        "BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20260101T000000Z",
        "DTSTART:20260301T090000Z", "SUMMARY:" + summary,
        "LOCATION:会议室 B", "X-PHONE-ONLY:kept",
        "END:VEVENT", "END:VCALENDAR", ""])


def series_text(uid, summary, day):
    return "\r\n".join([
        "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//phone//test//EN",
        "BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20260101T000000Z",
        "DTSTART:%sT010000Z" % day, "DTEND:%sT020000Z" % day,
        "RRULE:FREQ=WEEKLY;COUNT=6", "SUMMARY:" + summary,
        "LOCATION:会议室 B", "X-PHONE-ONLY:kept",
        "END:VEVENT", "END:VCALENDAR", ""])


def find(calendar, uid):
    try:
        return calendar.event_by_uid(uid)
    except caldav.lib.error.NotFoundError:
        return None


def main(argv):
    url, user, password = argv[1:4]
    client = caldav.DAVClient(url, username=user or None, password=password or None)
    calendar = caldav.Calendar(client=client, url=url)
    args = argv[4:]
    while args:
        command = args.pop(0)
        if command == "put":
            uid, summary = args.pop(0), args.pop(0)
            event = find(calendar, uid)
            if event is None:
                calendar.save_event(event_text(uid, summary))
            else:
                event.load()
                event.icalendar_component["SUMMARY"] = summary
                event.save()
        elif command == "series":
            uid, summary, day = args.pop(0), args.pop(0), args.pop(0)
            calendar.save_event(series_text(uid, summary, day))
        elif command == "occurrences":
            event = find(calendar, args.pop(0))
            if event is not None:
                whole = icalendar.Calendar.from_ical(event.data)
                start = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
                end = datetime.datetime(2100, 1, 1, tzinfo=datetime.timezone.utc)
                rows = []
                for o in recurring_ical_events.of(whole).between(start, end):
                    when = o["DTSTART"].dt.astimezone(datetime.timezone.utc)
                    rows.append("%s\t%s" % (when.strftime("%Y%m%dT%H%M%SZ"), o.get("SUMMARY", "")))
                for row in sorted(rows):
                    print(row)
        elif command == "del":
            event = find(calendar, args.pop(0))
            if event is not None:
                event.delete()
        elif command == "get":
            event = find(calendar, args.pop(0))
            if event is not None:
                print(event.data)
        elif command == "list":
            rows = []
            for event in calendar.events():
                component = event.icalendar_component
                rows.append("%s\t%s" % (component["UID"], component.get("SUMMARY", "")))
            for row in sorted(rows):
                print(row)
        elif command == "mkcal":
            where, name, components = args.pop(0), args.pop(0), args.pop(0)
            comps = "".join('<c:comp name="%s"/>' % c for c in components.split(","))
            body = ('<?xml version="1.0" encoding="utf-8"?>'
                    '<c:mkcalendar xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">'
                    '<d:set><d:prop><d:displayname>%s</d:displayname>'
                    '<c:supported-calendar-component-set>%s</c:supported-calendar-component-set>'
                    '</d:prop></d:set></c:mkcalendar>' % (name, comps))
            response = client.mkcalendar(where, body.encode("utf-8"))
            if response.status >= 300:
                sys.exit("phone.py: MKCALENDAR %s: %s" % (where, response.status))
        else:
            sys.exit("phone.py: unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
