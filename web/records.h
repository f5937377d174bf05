// The page's log: one JSON line per update, the records of the command line's --log.
#pragma once

#include "app/context.h"
#include "app/update.h"

#include <string>

// The versions of the unit open in the context, as the log records them ({"unit": {"raw",
// "shown"}, "escBootloader": ..., "escFirmware": ...}), or null while none is open.
std::string webVersionsJson(const UnitContext *unit);

// The record of one update: schema, event "result", time (UTC, ISO 8601), device, product,
// before, after, outcome ("updated", "failed" or "declined"), result and systemError. device and
// product may be null; before and after are webVersionsJson texts.
std::string webRecordLine(const wchar_t *device, const wchar_t *product, const std::string &before,
                          const std::string &after, const UpdateResult *result);
