// The record of one unit handled, the same JSON line in every program.
#include "app/record.h"

#include "app/status.h"
#include "app/utf8.h"
#include "link/connection.h"

#include <nlohmann/json.hpp>

namespace {
using Json = nlohmann::ordered_json;

// The names of the outcomes, in the order of their enumeration.
const char *const UNIT_OUTCOME_NAMES[] = {"updated", "failed", "declined", "nothing-to-do"};
static_assert(UNIT_NOTHING_TO_DO == 3, "one name for each outcome");

Json versionsObject(const Versions &versions) {
    if (!versions.known) {
        return nullptr;
    }
    auto version = [](uint32_t raw, const wchar_t *shown) {
        return Json{{"raw", raw}, {"shown", utf8Text(shown)}};
    };
    return {{"unit", version(versions.unit, versions.texts.unit)},
            {"escBootloader", version(versions.escBootloader, versions.texts.bootloader)},
            {"escFirmware", version(versions.escFirmware, versions.texts.esc)}};
}

Json textOrNull(const std::wstring &text) {
    return text.empty() ? Json(nullptr) : Json(utf8Text(text));
}
} // namespace

Versions versionsOf(const UnitContext *unit) {
    Versions versions;
    const UnitConnection *connection = &unit->connection;
    versionTexts(unit, &versions.texts);
    if (isUnitOpen(connection)) {
        versions.known = true;
        versions.unit = connection->unitFirmwareVersion;
        versions.escBootloader = escBootloaderVersion(connection);
        versions.escFirmware = escFirmwareVersion(connection);
    }
    return versions;
}

UnitOutcome unitOutcomeOf(UpdateStatus status) {
    switch (status) {
    case UPDATE_SUCCEEDED:
        return UNIT_UPDATED;
    case UPDATE_DECLINED:
        return UNIT_DECLINED;
    case UPDATE_FAILED:
    case UPDATE_BUSY:
        break;
    }
    return UNIT_FAILED;
}

std::string recordJson(const UnitRecord &record, const std::string &time) {
    Json line = {{"schema", RECORD_SCHEMA},
                 {"event", "result"},
                 {"time", time},
                 {"device", textOrNull(record.path)},
                 {"product", textOrNull(record.product)},
                 {"before", versionsObject(record.before)},
                 {"after", versionsObject(record.after)},
                 {"outcome", UNIT_OUTCOME_NAMES[record.outcome]},
                 {"result", record.result.result},
                 {"systemError", record.result.systemError}};
    return line.dump();
}

std::string versionsJson(const Versions &versions) {
    return versionsObject(versions).dump();
}
