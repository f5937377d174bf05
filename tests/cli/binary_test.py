#!/usr/bin/env python3
"""Runs the command-line programs themselves: exit codes, texts, output through a pipe, Ctrl-C
and SIGTERM in update and in the bench, a log on a full disk.

Usage: binary_test.py CLI DEMO
CLI is the shipped program (this machine has no programming unit); DEMO is the program over
the simulated unit with a short image.
"""
import concurrent.futures
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


def run(args, language="en", stdin=subprocess.DEVNULL, input_text=None):
    if input_text is not None:
        return subprocess.run(args, env=env(language), input=input_text, capture_output=True,
                              text=True, timeout=60)
    return subprocess.run(args, env=env(language), stdin=stdin, capture_output=True, text=True,
                          timeout=60)


def progress_lines(out):
    return [line for line in out.splitlines() if line.startswith("[") and "%" in line]


def interrupted_update(demo, args, marker, signals, watched="stdout", units=1,
                       sent=signal.SIGINT):
    """Starts the demo with its units and sends the signal once the watched output shows marker,
    after each delay given. Returns the exit code, stdout and stderr."""
    values = env("en")
    values["QUILLAR_DEMO_UNITS"] = str(units)
    process = subprocess.Popen([demo] + args, env=values, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    seen = b""
    deadline = time.monotonic() + 30
    while marker.encode() not in seen and time.monotonic() < deadline:
        chunk = os.read(getattr(process, watched).fileno(), 4096)
        if not chunk:
            break
        seen += chunk
    for delay in signals:
        time.sleep(delay)
        process.send_signal(sent)
    try:
        out, err = process.communicate(timeout=60)
    except subprocess.TimeoutExpired:  # a program that does not end: its code is -9
        process.kill()
        out, err = process.communicate()
    if watched == "stdout":
        return process.returncode, (seen + out).decode(), err.decode()
    return process.returncode, out.decode(), (seen + err).decode()


def main(cli, demo):
    for language in ("en", "de"):
        result = run([cli, "status"], language)
        check(f"status without a unit ({language}) exit code", result.returncode == 3,
              result.returncode)
        check(f"status without a unit ({language}) text",
              result.stdout.startswith(text(40017, language) + "\n\n" + text(40135, language)),
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
    lines = progress_lines(result.stderr)
    check("update through a pipe: at most 11 progress lines", 2 <= len(lines) <= 11, len(lines))

    # Results to stdout, the rest to stderr: a log of stdout holds no question and no progress.
    result = run([demo, "update"], stdin=subprocess.PIPE, input_text="n\n")
    check("declined: exit code 7 and a line saying so",
          result.returncode == 7 and text(40134) + "\n" in result.stderr, result.stderr[-200:])
    check("declined: the question on stderr only",
          text(40132) in result.stderr and text(40132) not in result.stdout
          and "[y/N]" not in result.stdout, result.stdout[-200:])
    result = run([cli, "update", "--yes"])
    check("update without a unit: exit code 3, the status on stderr only",
          result.returncode == 3 and result.stdout == "" and text(40017) in result.stderr,
          f"{result.returncode} {result.stdout[:100]!r}")

    # The lock and the protection take milliseconds; the erase pause of four seconds follows.
    code, out, err = interrupted_update(demo, ["update", "--yes"], "ESC ", [1.0, 0.5])
    check("SIGINT while sending: the update goes on", code == 0 and text(40032) in out,
          f"{code} {err}")
    check("SIGINT while sending: said once", err.count(text(40102)) == 1, err)

    code, out, err = interrupted_update(demo, ["update"], "[y/N]", [0.3], watched="stderr")
    check("SIGINT at the question ends at once, its line ended", code == 130 and
          err.endswith("[y/N] \n"), f"{code} {err[-200:]!r}")

    result = run([demo, "watch", "--yes", "--count", "2"])
    check("watch --count 2 exit code", result.returncode == 0, result.stderr)
    check("watch --count 2 result lines",
          result.stdout.count("TALOMIR  ESC 2.10 -> 3.0  updated\n") == 2, result.stdout[-400:])
    check("watch --count 2 summary",
          result.stdout.endswith("Updated: 2, failed: 0, not ready: 0\n"), result.stdout[-200:])

    # Ctrl-C or SIGTERM among the blocks of a bench: the updates under way are finished and
    # logged, none starts after them (the demo plugs in a fresh unit a second after each), 130.
    # A record that cannot be logged: the update is done, the line names log and unit, code 9.
    # The runs wait out their erase pauses side by side.
    def bench(name, args, units, sent, marker):
        log = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"cli-{os.getpid()}-{hash(name)}.jsonl")
        code, out, err = interrupted_update(demo, ["watch", "--yes", "--log", log] + args, marker,
                                            [0, 0.05], "stderr", units, sent)
        records = [json.loads(line) for line in open(log, encoding="utf-8")]
        os.remove(log)
        return name, units, code, out, err, records

    cases = (("watch --all, SIGINT", ["--all"], 2, signal.SIGINT, " 0 %"),
             ("watch --all, SIGTERM", ["--all"], 2, signal.SIGTERM, " 0 %"),
             ("watch, SIGINT", [], 1, signal.SIGINT, text(40029)))
    with concurrent.futures.ThreadPoolExecutor(len(cases) + 1) as pool:
        benches = [pool.submit(bench, *case) for case in cases]
        full = pool.submit(run, [demo, "update", "--yes", "--log", "/dev/full"])
        for future in benches:
            name, units, code, out, err, records = future.result()
            check(f"{name}: exit code 130", code == 130, f"{code} {err[-300:]}")
            check(f"{name}: said at each signal", err.count(text(40173)) == 2, err[-300:])
            check(f"{name}: no update after those under way", err.count(text(40130)) == units,
                  err[-300:])
            check(f"{name}: each unit's result and record, read back as 3.0",
                  out.count("ESC 2.10 -> 3.0  updated\n") == units and len(records) == units and
                  all(r["outcome"] == "updated" and r["after"]["escFirmware"]["shown"] == "3.0"
                      for r in records), out + repr(records))
        result = full.result()
    check("log on a full disk: exit code 9 and the unit named",
          result.returncode == 9 and text(40032) in result.stdout and
          f"{text(40172) % '/dev/hidraw0'} /dev/full (" in result.stderr,
          f"{result.returncode} {result.stderr[-300:]}")

    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
