#!/usr/bin/env python3
"""Runs the Windows command-line programs under Wine and checks their exit code and output.

Usage:
  cli_under_wine.py WINE EXE status LANGUAGE   no unit is connected: exit code 3, the no-unit
                                               text with the instructions (LANGUAGE en or de)
  cli_under_wine.py WINE DEMO update           the demo's update --yes through a pipe: exit code
                                               0, at most 11 progress lines on stderr, the success text
Output through a pipe is UTF-8.
"""
import json
import os
import subprocess
import sys

TEXTS_JSON = os.path.join(os.path.dirname(__file__), "..", "..", "resources", "texts.json")
MESSAGES = json.load(open(TEXTS_JSON, encoding="utf-8"))["messages"]


def text(message_id, language="en"):
    return MESSAGES[str(message_id)][language].replace("\r\n", "\n")


def main(argv):
    if len(argv) < 4 or argv[3] not in ("status", "update"):
        sys.exit(__doc__)
    wine, exe, command = argv[1:4]
    args = [wine, exe, "status"] if command == "status" else [wine, exe, "update", "--yes"]
    result = subprocess.run(args, capture_output=True, timeout=120)
    out = result.stdout.decode("utf-8", errors="replace")
    err = result.stderr.decode("utf-8", errors="replace")
    checks = []
    if command == "status":
        expected = text(40017, argv[4]) + "\n\n" + text(40135, argv[4])
        checks.append((result.returncode == 3, f"exit code {result.returncode}, expected 3"))
        checks.append((out.startswith(expected), f"output starts {out[:160]!r}"))
    else:
        progress = [line for line in err.splitlines() if line.startswith("[") and "%" in line]
        checks.append((result.returncode == 0, f"exit code {result.returncode}"))
        checks.append((2 <= len(progress) <= 11, f"{len(progress)} progress lines"))
        checks.append((out.endswith(text(40032) + "\n"), f"output ends {out[-160:]!r}"))
    failed = [message for passed, message in checks if not passed]
    for message in failed:
        print("FAIL", message)
    print(f"{len(checks) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
