#!/usr/bin/env python3
"""The JSON reports read by an independent parser (Python's json): every output that --json makes
is valid JSON, one object per line, with the members the manual promises and no secret in it.

    json_reports.py NOTEDIAG EXAMPLES_DIR
"""
import json
import os
import subprocess
import sys
import tempfile

tool, examples = sys.argv[1], sys.argv[2]
hello = os.path.join(examples, "hello.note")
password = b"correct horse"
failures = []


def run(*args, stdin=b""):
    done = subprocess.run([tool, *args], input=stdin, capture_output=True)
    return done.returncode, done.stdout, done.stderr


def objects(out):
    lines = out.split(b"\n")
    if lines[-1] != b"":
        failures.append("the output does not end with a newline")
    return [json.loads(line) for line in lines[:-1]]


def expect(condition, what):
    if not condition:
        failures.append(what)


REPORT = {"schema", "path", "document", "header", "computed_hash", "verdict", "reason",
          "wrong_password_chance_log2", "damage", "hints"}

with tempfile.TemporaryDirectory() as scratch:
    note = open(hello, "rb").read()
    damaged = bytearray(note)
    damaged[100] ^= 0x40
    host = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) + note + b"junk" + note
    odd_name = os.path.join(scratch.encode(), b"caf\xe9 \x01\n.note")
    files = {
        "hello": hello.encode(),
        "damaged": os.path.join(scratch, "damaged").encode(),
        "host": os.path.join(scratch, "host").encode(),
        "odd": odd_name,
    }
    open(files["damaged"], "wb").write(damaged)
    open(files["host"], "wb").write(host)
    open(files["odd"], "wb").write(b"SEK")

    for name, path in files.items():
        for given in (password, b"wrong password"):
            status, out, _ = run("--json", path, "--password-fd=0", stdin=given + b"\n")
            (report,) = objects(out)
            expect(REPORT <= report.keys(), f"{name}: members missing: {REPORT - report.keys()}")
            expect(report["schema"] == 1, f"{name}: schema")
            expect(os.fsencode(report["path"]) == path, f"{name}: path {report['path']!r}")
            text = out.decode("utf-8", "surrogateescape")
            expect(given.decode() not in text, f"{name}: the password is in the report")
            expect(b"Hello from" not in out, f"{name}: the text is in the report")

    status, out, _ = run("--json", files["hello"], "--password-fd=0", stdin=password + b"\n")
    (report,) = objects(out)
    expect(report["verdict"] == "intact" and report["header"]["plain_len"] == 65, "hello: intact")
    expect(report["computed_hash"] == report["header"]["stored_hash"], "hello: hashes")

    status, out, _ = run("--json", files["damaged"], "--password-fd=0", stdin=password + b"\n")
    (report,) = objects(out)
    expect(report["verdict"] in ("damaged", "undecided"), f"damaged: {report['verdict']}")

    # A path that is not UTF-8 reads back exactly through surrogateescape.
    status, out, _ = run("--json", files["odd"], "--password-fd=0", stdin=b"pw\n")
    (report,) = objects(out)
    expect(os.fsencode(report["path"]) == files["odd"], f"odd path: {report['path']!r}")
    expect(report["verdict"] == "no-document" and report["reason"] == "file-too-short",
           "odd: reason")

    status, out, _ = run("--json", files["host"], "--password-fd=0", stdin=password + b"\n")
    (report,) = objects(out)
    hits = [h for h in report["hints"] if h["kind"] == "signature-at"]
    expect([h["offset"] for h in hits] == [264, 264 + len(note) + 4], f"host: hints {hits}")

    status, out, _ = run("--info", "--json", files["host"])
    (info,) = objects(out)
    expect(sum(p["length"] for p in info["parts"]) == len(host), "info: parts add up")
    expect(status == 4, "info: no document in the host")

    status, out, _ = run("--info", "--json", "--offset=264", files["host"])
    (info,) = objects(out)
    expect(info["structure"] == "sound" and status == 0, "info at the offset")
    expect([p["name"] for p in info["parts"]][:3] == ["host", "signature", "stored-hash"],
           f"info parts {info['parts']}")

    status, out, _ = run("--scan", "--json", files["host"])
    hits = objects(out)
    expect([(h["offset"], h["version"], h["consistent"], h["end"]) for h in hits] ==
           [(264, 2, True, 264 + len(note)), (264 + len(note) + 4, 2, True, len(host))],
           f"scan: {hits}")

    status, out, err = run("--test", "--json", *files.values(), "--password-fd=0",
                           stdin=password + b"\n")
    reports = objects(out)
    expect([r["verdict"] for r in reports][0] == "intact", "test: the first is intact")
    expect(len(reports) == len(files), "test: one object per note")
    expect(status == 4, f"test: worst status {status}")

for failure in failures:
    print("json_reports:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
