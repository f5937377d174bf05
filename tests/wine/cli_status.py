#!/usr/bin/env python3
"""Runs the Windows command-line program's status under Wine, where no unit is connected.

Usage: cli_status.py WINE EXE LANGUAGE   (LANGUAGE en or de: the catalogue's texts expected)
It must exit with the no-unit code 3 and print the no-unit text with the instructions, in UTF-8
through the pipe.
"""
import json
import os
import subprocess
import sys

TEXTS_JSON = os.path.join(os.path.dirname(__file__), "..", "..", "resources", "texts.json")


def main(wine, exe, language):
    messages = json.load(open(TEXTS_JSON, encoding="utf-8"))["messages"]
    expected = (messages["40017"][language] + "\r\n\r\n" + messages["40001"][language])
    expected = expected.replace("\r\n", "\n")
    result = subprocess.run([wine, exe, "status"], capture_output=True, timeout=120)
    out = result.stdout.decode("utf-8", errors="replace")
    failures = []
    if result.returncode != 3:
        failures.append(f"exit code {result.returncode}, expected 3")
    if not out.startswith(expected):
        failures.append(f"output starts {out[:160]!r}, expected {expected[:160]!r}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{2 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
