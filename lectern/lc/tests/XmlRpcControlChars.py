#!/usr/bin/env python3
"""Texts XML cannot carry, with Python's xmlrpc.client as the peer.

XML 1.0 allows no character below U+0020 but tab, LF and CR, not even as a character
reference: a document holding one is refused whole ("not well-formed (invalid token)"). Each
such character, inside a text in each place our writer puts text (a string value of each of
the model's text classes, a struct member's name, a fault's message, a method name), must make
our writer refuse the value with the format's error, whose message names the character. The
characters XML allows there (tab, LF, CR, blank, DEL, Latin letters, the euro sign) must reach
Python as they are.
Usage: XmlRpcControlChars.py HELPER [emulator...] (the helper of XmlRpcInterop.py, write mode);
prints every case that differs and exits non-zero when one does.
"""
import json
import subprocess
import sys
import xmlrpc.client as xc

HELPER = sys.argv[1:]
FORBIDDEN = [c for c in range(0x20) if c not in (0x09, 0x0A, 0x0D)]
ALLOWED = [0x09, 0x0A, 0x0D, 0x20, 0x7F, 0xE9, 0x20AC]
# The helper builds a text value as String, Text, WideString and VariableName in turn, by the
# number of values it has built so far (see XmlRpcInterop.cpp).
TEXT_CLASSES = ["String", "Text", "WideString", "VariableName"]


def counted(data):
    return str(len(data)).encode() + b":" + data


class Cases:
    """The helper's input, value by value, with what Python must read of each (None: padding)."""

    def __init__(self):
        self.input = []
        self.expected = []   # (label, the text, what Python reads) or None
        self.turn = 0        # values the helper has built so far

    def add(self, built, values, expected):
        self.input.append(built)
        self.expected.append(expected)
        self.turn += values

    def text_values(self, c, text):
        while self.turn % len(TEXT_CLASSES) != 0:
            self.add(b"N", 1, None)
        data = text.encode("utf-8")
        for name in TEXT_CLASSES:
            self.add(b"S" + counted(data), 1, ("a %s value" % name, c, text))
        self.add(b"R1;" + counted(data) + b"B1", 2, ("a member name", c, {text: True}))
        self.add(b"E3;" + counted(data), 1, ("a fault message", c, {"faultCode": 3, "faultString": text}))
        self.add(b"C" + counted(data) + b"PA0;", 1, ("a method name", c, ((), text)))


def python_reads(xml):
    if xml.startswith("<methodCall>"):
        return xc.loads(xml)
    return xc.loads("<params><param>" + xml + "</param></params>")[0][0]


def main():
    cases = Cases()
    for c in FORBIDDEN + ALLOWED:
        cases.text_values(c, "a" + chr(c) + "b")
    run = subprocess.run(HELPER + ["write"], input=b"".join(cases.input), stdout=subprocess.PIPE, check=True)
    lines = run.stdout.decode("utf-8").splitlines()
    if len(lines) != len(cases.input):
        print("FAIL: the writer gave %d of %d texts" % (len(lines), len(cases.input)))
        return 1
    failures = []
    checked = 0
    for line, expected in zip(lines, cases.expected):
        if expected is None:
            continue
        label, c, wanted = expected
        checked += 1
        case = "U+%04X in %s" % (c, label)
        got = json.loads(line)
        if c in FORBIDDEN:
            if isinstance(got, dict) and "U+%04X" % c in got.get("error", ""):
                continue
            if isinstance(got, dict):
                failures.append("%s: refused without naming the character: %s" % (case, got["error"]))
                continue
            try:
                python_reads(got)
                failures.append("%s: written, and Python reads it: %r" % (case, got))
            except Exception as e:
                failures.append("%s: written, and Python refuses the text: %s: %r" % (case, e, got))
            continue
        if isinstance(got, dict):
            failures.append("%s: refused: %s" % (case, got["error"]))
            continue
        try:
            read = python_reads(got)
        except Exception as e:
            failures.append("%s: Python refuses the text: %s: %r" % (case, e, got))
            continue
        if read != wanted:
            failures.append("%s: Python reads %r, not %r" % (case, read, wanted))
    for failure in failures:
        print("FAIL:", failure)
    print("%d of %d cases as XML requires (%d characters XML forbids, %d it allows, each in %d places)"
          % (checked - len(failures), checked, len(FORBIDDEN), len(ALLOWED), len(TEXT_CLASSES) + 3))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
