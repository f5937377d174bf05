// What the command-line program records of the units: the list of units connected, JSON
// objects of versions and results, and the log of every unit handled.
#include "cli/cli.h"

#include "app/status.h"
#include "app/update.h"
#include "link/connection.h"
#include "link/frames.h"
#include "link/hid.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
// The log of --log: opened once, written from the threads of units updated at once.
std::mutex gLogLock;
std::FILE *gLog = nullptr;

} // namespace

std::string cliTimeText(bool utc) {
    std::time_t now = std::time(nullptr);
    std::tm parts = {};
    // The reentrant conversions: units updated at once ask for the time from their own threads.
#ifdef _WIN32
    bool converted = (utc ? gmtime_s(&parts, &now) : localtime_s(&parts, &now)) == 0;
#else
    bool converted = (utc ? gmtime_r(&now, &parts) : localtime_r(&now, &parts)) != nullptr;
#endif
    const char *format = utc ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d %H:%M:%S";
    char text[32];
    if (!converted || std::strftime(text, sizeof text, format, &parts) == 0) {
        return "-";
    }
    return text;
}

nlohmann::ordered_json cliVersionsJson(const UnitContext *unit) {
    const UnitConnection *connection = &unit->connection;
    if (!isUnitOpen(connection)) {
        return nullptr;
    }
    VersionTexts texts;
    versionTexts(unit, &texts);
    auto version = [](uint32_t raw, const wchar_t *shown) {
        return nlohmann::ordered_json{{"raw", raw}, {"shown", utf8Text(shown)}};
    };
    return {{"unit", version(connection->unitFirmwareVersion, texts.unit)},
            {"escBootloader", version(escBootloaderVersion(connection), texts.bootloader)},
            {"escFirmware", version(escFirmwareVersion(connection), texts.esc)}};
}

std::vector<ListedUnit> cliListUnits() {
    std::vector<ListedUnit> units;
    for (const std::wstring &path : cliInterfacePaths()) {
        auto unit = std::make_unique<UnitContext>(FRESH_UNIT_CONTEXT);
        int32_t opened = openUnitAt(&unit->connection, path.c_str());
        if (opened == LINK_NO_DEVICE) {
            continue; // not a unit
        }
        ListedUnit listed = {path, opened == LINK_UNIT_IN_USE, opened == 0, "", "", nullptr};
        if (listed.identified) {
            VersionTexts texts;
            versionTexts(unit.get(), &texts);
            listed.product = utf8Text(texts.unitLabel);
            listed.mode = unit->connection.unitInBootloader != 0 ? "bootloader" : "application";
            listed.versions = cliVersionsJson(unit.get());
        }
        closeConnection(&unit->connection);
        units.push_back(listed);
    }
    return units;
}

std::string cliListText(const std::vector<ListedUnit> &units, bool json) {
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ListedUnit &unit : units) {
            list.push_back({{"path", utf8Text(unit.path)},
                            {"held", unit.held},
                            {"identified", unit.identified},
                            {"product", unit.identified ? nlohmann::ordered_json(unit.product)
                                                        : nlohmann::ordered_json(nullptr)},
                            {"mode", unit.identified ? nlohmann::ordered_json(unit.mode)
                                                     : nlohmann::ordered_json(nullptr)},
                            {"versions", unit.versions}});
        }
        return nlohmann::ordered_json{{"schema", CLI_JSON_SCHEMA}, {"units", list}}.dump(2) + "\n";
    }
    std::string text;
    for (const ListedUnit &unit : units) {
        text += utf8Text(unit.path) + "  ";
        if (unit.held) {
            text += cliMessage(MSG_CLI_LIST_HELD);
        } else if (!unit.identified) {
            text += cliMessage(MSG_CLI_LIST_UNIDENTIFIED);
        } else {
            text += unit.product + "  " + unit.mode + "  ESC " +
                    unit.versions["escFirmware"]["shown"].get<std::string>() + " (bootloader " +
                    unit.versions["escBootloader"]["shown"].get<std::string>() + ")";
        }
        text += "\n";
    }
    return text;
}

nlohmann::ordered_json cliUnitRecord(const std::wstring &path, const std::string &product,
                                     const nlohmann::ordered_json &before,
                                     const nlohmann::ordered_json &after, const char *outcome,
                                     const UpdateResult *result) {
    return {{"schema", CLI_JSON_SCHEMA},
            {"event", "result"},
            {"time", cliTimeText(true)},
            {"device", utf8Text(path)},
            {"product",
             product.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(product)},
            {"before", before},
            {"after", after},
            {"outcome", outcome},
            {"result", result != nullptr ? result->result : 0},
            {"systemError", result != nullptr ? result->systemError : 0}};
}

bool cliOpenLog(const std::string &path) {
    std::lock_guard<std::mutex> locked(gLogLock);
    if (gLog != nullptr) {
        std::fclose(gLog);
    }
    gLog = std::fopen(path.c_str(), "ab");
    return gLog != nullptr;
}

void cliCloseLog() {
    std::lock_guard<std::mutex> locked(gLogLock);
    if (gLog != nullptr) {
        std::fclose(gLog);
        gLog = nullptr;
    }
}

// Each record is on the disk before the next unit is started: a crash loses no finished one.
bool cliLogRecord(const nlohmann::ordered_json &record) {
    std::lock_guard<std::mutex> locked(gLogLock);
    if (gLog == nullptr) {
        return true;
    }
    std::string line = record.dump() + "\n";
    bool written =
        std::fwrite(line.data(), 1, line.size(), gLog) == line.size() && std::fflush(gLog) == 0;
#ifdef _WIN32
    written = written && _commit(_fileno(gLog)) == 0;
#else
    written = written && fsync(fileno(gLog)) == 0;
#endif
    return written;
}

std::vector<std::wstring> cliInterfacePaths() {
    std::vector<std::wstring> paths;
    HidList *list = hidOpenList();
    for (uint32_t index = 0; list != nullptr && hidListHas(list, index); ++index) {
        size_t size = hidPathSize(list, index);
        std::wstring path(size, L'\0');
        if (size > 1 && hidGetPath(list, index, path.data(), size)) {
            path.resize(size - 1);
            paths.push_back(path);
        }
    }
    hidCloseList(list);
    return paths;
}
