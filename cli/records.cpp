// What the command-line program records of the units, and the program's only JSON: the list of
// units connected, the status object, the progress lines, and the record of every unit handled,
// printed by --json and appended to the log of --log.
#include "cli/cli.h"

#include "app/status.h"
#include "app/texts.h"
#include "link/connection.h"
#include "link/frames.h"
#include "link/hid.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>

// The log is appended to with the system's own calls, so that each record is synced to the disk.
#ifdef _WIN32
#include <io.h>
#define fsync _commit
constexpr int LOG_FLAGS = O_WRONLY | O_APPEND | O_BINARY;
#else
#include <unistd.h>
constexpr int LOG_FLAGS = O_WRONLY | O_APPEND | O_CLOEXEC;
#endif

using Json = nlohmann::ordered_json;

namespace {
// The names of the classification outcomes, in the order of their enumeration; a unit held by
// another of our programs is reported as none.
const char *const CONNECTION_OUTCOME_NAMES[] = {
    "no-unit", "wrong-mode", "no-updatable-esc", "incompatible-esc", "ready", "no-unit"};
static_assert(OUTCOME_UNIT_IN_USE == 5, "one name for each classification outcome");

// The versions as the records hold them, inside the objects of status and list.
Json versionsObject(const Versions &versions) {
    return Json::parse(versionsJson(versions));
}

std::string imageVersionText() {
    wchar_t text[32];
    const FormatArg args[] = {{nullptr, IMAGE_FIRMWARE_VERSION >> 8u},
                              {nullptr, IMAGE_FIRMWARE_VERSION & 0xFFu}};
    formatText(text, 32, TEXT_VERSION_PAIR_FORMAT, args, 2);
    return utf8Text(text);
}

} // namespace

std::string recordLine(const UnitReport &report) {
    return recordJson(report, cliTimeText(true)) + "\n";
}

std::string progressJsonLine(const std::wstring &device, uint32_t percent) {
    Json event = {{"schema", CLI_JSON_SCHEMA},
                  {"event", "progress"},
                  {"device", utf8Text(device)},
                  {"percent", percent}};
    return event.dump() + "\n";
}

// The keys in the order the interface names them.
std::string statusJson(const UnitContext *unit, ConnectionOutcome outcome,
                       const std::string &status) {
    Versions versions = versionsOf(unit);
    bool open = versions.texts.unitLabel != nullptr;
    Json object = {
        {"schema", CLI_JSON_SCHEMA},
        {"outcome", CONNECTION_OUTCOME_NAMES[outcome]},
        {"device", open ? Json(utf8Text(unit->connection.devicePath)) : Json(nullptr)},
        {"product", open ? Json(utf8Text(versions.texts.unitLabel)) : Json(nullptr)},
        {"versions", versionsObject(versions)},
        {"imageVersion", {{"raw", IMAGE_FIRMWARE_VERSION}, {"shown", imageVersionText()}}},
        {"status", status}};
    return object.dump(2) + "\n";
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

// A glance at each interface, as the search takes one: its identity, no command sent.
size_t cliUnitCount() {
    size_t units = 0;
    for (const std::wstring &path : cliInterfacePaths()) {
        HidHandle device = hidOpenPath(path.c_str());
        if (device == HID_INVALID_HANDLE) {
            units += hidLastError() == HID_ERROR_IN_USE ? 1 : 0;
            continue;
        }
        uint16_t vendor = 0;
        uint16_t product = 0;
        units += hidGetAttributes(device, &vendor, &product) && vendor == UNIT_VENDOR_ID &&
                         (product == PRODUCT_ID_MERIVAN || product == PRODUCT_ID_TALOMIR)
                     ? 1
                     : 0;
        hidClose(device);
    }
    return units;
}

std::string cliListText(bool json) {
    Json list = Json::array();
    std::string text;
    for (const std::wstring &path : cliInterfacePaths()) {
        auto unit = std::make_unique<UnitContext>(FRESH_UNIT_CONTEXT);
        int32_t opened = openUnitAt(&unit->connection, path.c_str());
        if (opened == LINK_NO_DEVICE) {
            continue; // not a unit
        }
        Versions versions = versionsOf(unit.get());
        std::string product = utf8Text(versions.texts.unitLabel);
        std::string mode = unit->connection.unitInBootloader != 0 ? "bootloader" : "application";
        closeConnection(&unit->connection);
        bool identified = opened == 0;
        versions.known = identified;
        list.push_back({{"path", utf8Text(path)},
                        {"held", opened == LINK_UNIT_IN_USE},
                        {"identified", identified},
                        {"product", identified ? Json(product) : Json(nullptr)},
                        {"mode", identified ? Json(mode) : Json(nullptr)},
                        {"versions", versionsObject(versions)}});
        text += utf8Text(path) + "  ";
        if (opened == LINK_UNIT_IN_USE) {
            text += cliMessage(MSG_CLI_LIST_HELD);
        } else if (!identified) {
            text += cliMessage(MSG_CLI_LIST_UNIDENTIFIED);
        } else {
            text += product + "  " + mode + "  ESC " + utf8Text(versions.texts.esc) +
                    " (bootloader " + utf8Text(versions.texts.bootloader) + ")";
        }
        text += "\n";
    }
    return json ? Json{{"schema", CLI_JSON_SCHEMA}, {"units", list}}.dump(2) + "\n" : text;
}

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

bool logOpen(RecordLog *log, const std::string &path) {
    if (path.empty()) {
        return true;
    }
    int fd = open(path.c_str(), LOG_FLAGS | O_CREAT, 0666);
    if (fd < 0) {
        printErr(cliMessage(MSG_CLI_LOG_FAILED) + " " + path + "\n");
        return false;
    }
    close(fd);
    log->path = path;
    return true;
}

// Each record is on the disk before the next unit is started: a crash loses no finished one.
// The log is opened anew for each, never created: one removed meanwhile fails.
bool logAppend(RecordLog *log, const std::string &line, const std::wstring &unit) {
    std::lock_guard<std::mutex> locked(log->lock);
    if (log->path.empty()) {
        return true;
    }
    int fd = open(log->path.c_str(), LOG_FLAGS);
    bool written = fd >= 0;
    for (size_t done = 0; written && done < line.size();) {
        auto wrote = write(fd, line.data() + done, static_cast<unsigned>(line.size() - done));
        written = wrote > 0 || (wrote < 0 && errno == EINTR);
        done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }
    written = written && fsync(fd) == 0;
    int error = errno; // the failed call's, if one failed
    if (fd >= 0 && close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        const FormatArg arg = {unit.c_str(), 0};
        printErr(cliFormat(MSG_CLI_LOG_WRITE_FAILED, &arg, 1) + " " + log->path + " (" +
                 std::strerror(error) + ")\n");
    }
    return written;
}
