#!/usr/bin/env python3
"""Writes the fuzz target's seed inputs into tests/fuzz/seeds (the format is in app_fuzz.cpp)."""
import pathlib

UPDATE, PLUG, UNPLUG, ARRIVAL, REMOVAL, OTHER_EVENT, UNIT = range(7)
WRITE_FAILS = 0x80
START = [0x00, 0x00, 1, 0x00, 0, 0, 0]  # ready TALOMIR, 96-byte image, identified


def in_question(*actions):
    """Update pressed; inside its first question the actions run; then OK."""
    flat = [byte for action in actions for byte in action]
    return START + [UPDATE, 0, len(actions)] + flat


SEEDS = {
    # The unit leaves inside the first question and arrives again, and its identification fails
    # (ESC info error 5): it stays open, but must not be updated.
    "unidentified_unit_in_question": in_question(
        [UNPLUG, 0], [REMOVAL, 0, 0], [UNIT, 0x40], [PLUG, 0x00], [ARRIVAL, 0, 0]),
    # The same, but the unit's report lengths cannot be read: it stays open with lengths 0.
    "unreadable_lengths_in_question": in_question(
        [UNPLUG, 0], [REMOVAL, 0, 0], [PLUG, 0x04], [ARRIVAL]),
    "whole_update": START + [UPDATE],
    # Lock, protection, erase (two pauses), address, then the first block's write fails.
    "failed_block": START + [UPDATE, 0, 0] + [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, WRITE_FAILS],
    # During the pause after the lock the unit is removed and arrives again: both are held.
    "events_during_transfer": START + [UPDATE, 0, 0, 0, 0x81, REMOVAL, 0, 0, ARRIVAL],
    # An incompatible ESC at start; inside its box a supported one arrives, then the update.
    "ready_arrival_in_incompatible_box": [0x03, 0x00, 1, 0x00, 0, 0, 0, 2, UNIT, 0x00, ARRIVAL,
                                          0, 0, 0, UPDATE],
    "version_question_declined": [0x04, 0x00, 1, 0x00, 0, 0, 0, UPDATE, 0, 0, 1, 0],
    "output_report_too_short": [0x00, 0x00, 1, 0x08, 60, 16, UPDATE],
}

if __name__ == "__main__":
    folder = pathlib.Path(__file__).parent / "seeds"
    folder.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (folder / name).write_bytes(bytes(data))
