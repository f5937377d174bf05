#!/usr/bin/env python3
"""Runs the command-line programs themselves: exit codes, texts, output through a pipe, Ctrl-C.

Usage: binary_test.py CLI DEMO
CLI is the shipped program (this machine has no programming unit); DEMO is the program over
the simulated unit with a short image.
"""
import json
import os
import signal
import subprocess
import sys
import time

TEXTS = json.load(open(os.path.join(os.path.dirname(__file__), "..", "..", "resources",
                                    "texts.json"), encoding="utf-8"))["messages"]
failures = []
passed = 0


def text(message_id, language="en"):
    return TEXTS[str(message_id)][language].replace("\r\n", "\n")


def env(language):
    values = dict(os.environ)
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"):
        values.pop(name, None)
    values["LANGUAGE"] = language
    return values


def check(name, condition, detail=""):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name}: {detail}")


def run(args, language="en", stdin=subprocess.DEVNULL):
    return subprocess.run(args, env=env(language), stdin=stdin, capture_output=True, text=True,
                          timeout=60)


def progress_lines(out):
    return [line for line in out.splitlines() if line.startswith("[") and "%" in line]


def interrupted_update(demo, args, marker, signals):
    """Starts the demo and sends SIGINT once its output shows marker, after each delay given."""
    process = subprocess.Popen([demo] + args, env=env("en"), stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    seen = b""
    deadline = time.monotonic() + 30
    while marker.encode() not in seen and time.monotonic() < deadline:
        chunk = os.read(process.stdout.fileno(), 4096)
        if not chunk:
            break
        seen += chunk
    for delay in signals:
        time.sleep(delay)
        process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=60)
    return process.returncode, (seen + out).decode(), err.decode()


def main(cli, demo):
    for language in ("en", "de"):
        result = run([cli, "status"], language)
        check(f"status without a unit ({language}) exit code", result.returncode == 3,
              result.returncode)
        check(f"status without a unit ({language}) text",
              result.stdout.startswith(text(40017, language) + "\n\n" + text(40001, language)),
              result.stdout[:200])
    result = run([cli, "status", "--json"])
    check("status --json outcome", json.loads(result.stdout)["outcome"] == "no-unit",
          result.stdout[:200])
    result = run([cli, "flash"])
    check("unknown command exit code", result.returncode == 2, result.returncode)

    result = run([demo, "update", "--yes"])
    check("update through a pipe exit code", result.returncode == 0, result.stderr)
    check("update through a pipe ends in success",
          result.stdout.endswith(text(40032) + "\n"), result.stdout[-200:])
    lines = progress_lines(result.stdout)
    check("update through a pipe: at most 11 progress lines", 2 <= len(lines) <= 11, len(lines))

    # The lock and the protection take milliseconds; the erase pause of four seconds follows.
    code, out, err = interrupted_update(demo, ["update", "--yes"], "ESC ", [1.0, 0.5])
    check("SIGINT while sending: the update goes on", code == 0 and text(40032) in out,
          f"{code} {err}")
    check("SIGINT while sending: said once", err.count(text(40102)) == 1, err)

    code, out, err = interrupted_update(demo, ["update"], "[y/N]", [0.3])
    check("SIGINT at the question ends at once", code == 130, f"{code} {out[-200:]}")

    result = run([demo, "watch", "--yes", "--count", "2"])
    check("watch --count 2 exit code", result.returncode == 0, result.stderr)
    check("watch --count 2 result lines",
          result.stdout.count("TALOMIR  ESC 2.10 -> 3.0  updated\n") == 2, result.stdout[-400:])
    check("watch --count 2 summary",
          result.stdout.endswith("Updated: 2, failed: 0, not ready: 0\n"), result.stdout[-200:])

    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
