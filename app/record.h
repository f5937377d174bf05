// The record of one unit handled: the JSON line that the command line's --log and --json and the
// page's log keep, the same in every program.
#pragma once

#include "app/context.h"
#include "app/update.h"

#include <cstdint>
#include <string>

// The version of every JSON object the programs print or log.
constexpr int RECORD_SCHEMA = 1;

// The versions of a unit at one moment.
struct Versions {
    bool known = false; // false: no unit open, or it did not answer (null in the records)
    uint32_t unit = 0;
    uint32_t escBootloader = 0;
    uint16_t escFirmware = 0;
    VersionTexts texts = {}; // as the window shows them ("0.0.0" without a unit)
};
Versions versionsOf(const UnitContext *unit);

// How the handling of one unit ended.
enum UnitOutcome { UNIT_UPDATED, UNIT_FAILED, UNIT_DECLINED, UNIT_NOTHING_TO_DO };
// The outcome of an update that ran: updated, declined, or failed (busy counts as failed).
UnitOutcome unitOutcomeOf(UpdateStatus status);

struct UnitRecord {
    std::wstring path;    // empty: no unit was open (null in the record)
    std::wstring product; // empty: none known (null)
    Versions before;
    Versions after;
    UnitOutcome outcome = UNIT_NOTHING_TO_DO;
    UpdateResult result = {UPDATE_DECLINED, 0, 0, 0};
};

// The record as one line of JSON without a line end, stamped with time (UTC, ISO 8601): schema,
// event "result", time, device, product, before, after, outcome, result, systemError.
std::string recordJson(const UnitRecord &record, const std::string &time);
// The versions as the records hold them: unit, escBootloader and escFirmware, each raw and as
// shown; null when not known.
std::string versionsJson(const Versions &versions);
