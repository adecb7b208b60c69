#!/usr/bin/env python3
"""XML-RPC interop of the value model with Python's own xmlrpc.client.

Both ways, with seeded random values of every type Python writes:
  - texts made by xmlrpc.client.dumps (calls, responses, faults, bare params) are read by our
    reader (the helper's "read" mode) and must give the same values;
  - values made here (and calls: positional parameters, or named ones) are built in our value
    model and written by our writer (the helper's "write" mode); xmlrpc.client.loads must read
    each text as it reads what xmlrpc.client.dumps writes for the same value. A call's
    positional parameters are those of a standard peer's call, login({"user": "bob"}) included;
    a call's named parameters travel as one struct, as that peer would send them.
Usage: XmlRpcInterop.py HELPER [emulator...]; exits non-zero on the first difference.
"""
import base64
import json
import random
import subprocess
import sys
import xmlrpc.client as xc

HELPER = sys.argv[1:]
CASES = 300
# Texts: printable ASCII with the characters XML must escape, two Latin letters and the euro
# sign. No CR: XML readers turn it into LF, so a bare CR never survives Python's own writer.
TEXT_PIECES = list("abcXYZ019 <>&'\"\t\n;:#") + ["\u00e9", "\u00fc", "\u20ac"]
# Member names: Latin-1 letters only (our records keep names in the 8-bit code page), no blank
# at either end (names are trimmed when read).
NAME_LETTERS = list("abcXYZ_09&<>-.") + ["\u00e9"]


def text(rng, most=20):
    return "".join(rng.choice(TEXT_PIECES) for _ in range(rng.randrange(most)))


def name(rng):
    return rng.choice("abc") + "".join(rng.choice(NAME_LETTERS) for _ in range(rng.randrange(6)))


def value(rng, depth):
    kind = rng.randrange(11 if depth > 0 else 9)
    if kind == 0:
        return None
    if kind == 1:
        return rng.random() < 0.5
    if kind == 2:
        return rng.choice([0, -1, 2**31 - 1, -(2**31), rng.randrange(-(2**31), 2**31)])
    if kind == 3:
        return text(rng)
    if kind == 4:
        return rng.choice([0.0, -2.5, 1e300, 5e-324, 0.1 + 0.2, rng.uniform(-1e9, 1e9), rng.random()])
    if kind == 5:
        return xc.DateTime("%04d%02d%02dT%02d:%02d:%02d" % (
            rng.randrange(1900, 2100), rng.randrange(1, 13), rng.randrange(1, 29),
            rng.randrange(24), rng.randrange(60), rng.randrange(60)))
    if kind == 6:
        return xc.Binary(bytes(rng.randrange(256) for _ in range(rng.randrange(60))))
    if kind in (7, 8):
        return text(rng, 5)
    if kind == 9:
        return [value(rng, depth - 1) for _ in range(rng.randrange(5))]
    d = {}
    for _ in range(rng.randrange(5)):
        d.setdefault(name(rng), value(rng, depth - 1))
    return d


def form(v):
    """The neutral form of a Python value (see XmlRpcInterop.cpp)."""
    if v is None:
        return None
    if isinstance(v, bool):
        return {"bool": v}
    if isinstance(v, int):
        return {"int": str(v)}
    if isinstance(v, str):
        return {"str": v}
    if isinstance(v, float):
        return {"float": v}
    if isinstance(v, xc.DateTime):
        return {"date": v.value}
    if isinstance(v, xc.Binary):
        return {"b64": base64.b64encode(v.data).decode()}
    if isinstance(v, (list, tuple)):
        return {"array": [form(x) for x in v]}
    if isinstance(v, dict):
        return {"struct": [[k, form(x)] for k, x in v.items()]}
    raise TypeError(type(v))


def normal(f):
    """Floats as numbers, so that 1E300 and 1e+300 compare equal."""
    if isinstance(f, dict):
        if "float" in f:
            return {"float": float(f["float"])}
        return {k: normal(x) for k, x in f.items()}
    if isinstance(f, list):
        return [normal(x) for x in f]
    return f


def fail(what, *details):
    print("FAIL:", what)
    for d in details:
        print("  ", d)
    sys.exit(1)


def python_to_ours(rng):
    documents = []
    expected = []
    for i in range(CASES):
        shape = i % 4
        if shape == 0:
            v = value(rng, 3)
            documents.append(xc.dumps((v,), methodresponse=True, allow_none=True))
            expected.append(form(v))
        elif shape == 1:
            params = tuple(value(rng, 2) for _ in range(rng.randrange(4)))
            if rng.random() < 0.3:
                params = ({name(rng): value(rng, 1), name(rng) + "x": value(rng, 1)},)
            documents.append(xc.dumps(params, "method%d" % i, allow_none=True))
            if len(params) == 1 and isinstance(params[0], dict):
                fields = form(params[0])["struct"]
            else:
                fields = [["PARAMS", form(list(params))]]
            expected.append({"call": "method%d" % i, "fields": fields})
        elif shape == 2:
            code = rng.choice([1, -7, 2**31 - 1, rng.randrange(1, 1000)])
            message = text(rng).lstrip("#")
            documents.append(xc.dumps(xc.Fault(code, message), methodresponse=True, allow_none=True))
            expected.append({"fault": [str(code), message]})
        else:
            params = tuple(value(rng, 2) for _ in range(rng.randrange(1, 4)))
            documents.append(xc.dumps(params, allow_none=True))
            expected.append(form(params[0]) if len(params) == 1 else form(list(params)))
    run = subprocess.run(HELPER + ["read"], input="\0".join(documents).encode("utf-8"),
                         stdout=subprocess.PIPE, check=True)
    lines = run.stdout.decode("utf-8").splitlines()
    if len(lines) != len(documents):
        fail("the reader answered %d of %d documents" % (len(lines), len(documents)))
    for document, line, want in zip(documents, lines, expected):
        got = json.loads(line)
        if normal(got) != normal(want):
            fail("our reader differs from Python's writer", document, "ours:   " + line,
                 "Python: " + json.dumps(want))
    print("Python -> ours: %d documents read to the same values" % len(documents))


def counted(tag, data):
    return tag + str(len(data)).encode() + b":" + data


def encoded(v):
    """A value in the helper's write-mode input (see XmlRpcInterop.cpp)."""
    if v is None:
        return b"N"
    if isinstance(v, bool):
        return b"B1" if v else b"B0"
    if isinstance(v, int):
        return b"I%d;" % v
    if isinstance(v, float):
        return b"F" + repr(v).encode() + b";"
    if isinstance(v, str):
        return counted(b"S", v.encode("utf-8"))
    if isinstance(v, xc.DateTime):
        return b"D" + v.value.encode()
    if isinstance(v, xc.Binary):
        return counted(b"X", v.data)
    if isinstance(v, xc.Fault):
        return b"E%d;" % v.faultCode + counted(b"", v.faultString.encode("utf-8"))
    if isinstance(v, (list, tuple)):
        return b"A%d;" % len(v) + b"".join(encoded(x) for x in v)
    if isinstance(v, dict):
        return b"R%d;" % len(v) + b"".join(counted(b"", k.encode("utf-8")) + encoded(x) for k, x in v.items())
    raise TypeError(type(v))


def with_faults(rng, v):
    """v with now and then a fault in place of an element: our exception value inside a tree."""
    if isinstance(v, list):
        return [with_faults(rng, x) for x in v]
    if isinstance(v, dict):
        return {k: with_faults(rng, x) for k, x in v.items()}
    if rng.random() < 0.05:
        return xc.Fault(rng.choice([0, 1, -7, 2**31 - 1]), text(rng).lstrip("#"))
    return v


def as_python_sends(v):
    """What Python itself writes for v: a fault inside a value is its fault struct."""
    if isinstance(v, xc.Fault):
        return {"faultCode": v.faultCode, "faultString": v.faultString}
    if isinstance(v, list):
        return [as_python_sends(x) for x in v]
    if isinstance(v, dict):
        return {k: as_python_sends(x) for k, x in v.items()}
    return v


def ours_to_python(rng):
    cases = []   # (what our helper builds, what Python loads for it from its own writer)
    for i in range(CASES):
        shape = i % 4
        if shape == 3:
            method = "m%d" % i
            if rng.random() < 0.5:
                # Positional parameters; a lone struct among them is the commonest call shape.
                params = [value(rng, 2) for _ in range(rng.randrange(4))]
                if rng.random() < 0.3:
                    params = [{name(rng): value(rng, 1)}]
                params = with_faults(rng, params)
                built = b"C" + counted(b"", method.encode()) + b"P" + encoded(params)
                expected = xc.loads(xc.dumps(tuple(as_python_sends(params)), method, allow_none=True))
            else:
                fields = {}
                for _ in range(rng.randrange(4)):
                    fields.setdefault(name(rng), value(rng, 1))
                fields = with_faults(rng, fields)
                built = b"C" + counted(b"", method.encode()) + b"K" + encoded(fields)
                sent = (as_python_sends(fields),) if fields else ()
                expected = xc.loads(xc.dumps(sent, method, allow_none=True))
        else:
            v = with_faults(rng, value(rng, 3))
            built = encoded(v)
            expected = xc.loads(xc.dumps((as_python_sends(v),), allow_none=True))[0][0]
        cases.append((built, expected))
    run = subprocess.run(HELPER + ["write"], input=b"".join(built for built, _ in cases),
                         stdout=subprocess.PIPE, check=True)
    lines = run.stdout.decode("utf-8").splitlines()
    if len(lines) != len(cases):
        fail("the writer gave %d of %d texts" % (len(lines), len(cases)))
    for line, (built, expected) in zip(lines, cases):
        xml = json.loads(line)
        try:
            if xml.startswith("<methodCall>"):
                got = xc.loads(xml)
            else:
                got = xc.loads("<params><param>" + xml + "</param></params>")[0][0]
        except Exception as e:   # a text Python cannot read is a failure too
            fail("Python's reader refuses our text: %r" % e, xml)
        if got != expected:
            fail("Python reads our text otherwise than its own", xml, "Python reads ours:  %r" % (got,),
                 "Python reads its own: %r" % (expected,))
    print("ours -> Python: %d texts read as Python's own" % len(cases))


def main():
    rng = random.Random(20261210)
    python_to_ours(rng)
    ours_to_python(rng)


if __name__ == "__main__":
    main()
