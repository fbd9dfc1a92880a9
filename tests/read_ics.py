#!/usr/bin/env python3
"""Reads an iCalendar file with the icalendar package (python3-icalendar) and
prints its to-dos as JSON, for tst_ctl. Exits 77 without the package.
  read_ics.py FILE"""
import json
import sys

try:
    import icalendar
except ImportError:
    sys.exit(77)

with open(sys.argv[1], "rb") as f:
    calendar = icalendar.Calendar.from_ical(f.read())
todos = []
for todo in calendar.walk("VTODO"):
    rule = todo.get("RRULE")
    todos.append({
        "summary": str(todo.get("SUMMARY")),
        "description": str(todo.get("DESCRIPTION", "")),
        "start": todo.decoded("DTSTART").isoformat(),
        "due": todo.decoded("DUE").isoformat(),
        "rrule": rule.to_ical().decode() if rule else "",
        "status": str(todo.get("STATUS")),
        "alarms": ["%s %s" % (a.get("ACTION"), a.decoded("TRIGGER")) for a in todo.walk("VALARM")],
    })
print(json.dumps(todos, ensure_ascii=False))
