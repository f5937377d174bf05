// The page's log: one JSON line per update, as the command line's --log writes it.
#include "web/records.h"

#include "app/status.h"
#include "link/connection.h"

#include <cstdio>
#include <ctime>

namespace {
// The log's schema, as the command line's.
constexpr int LOG_SCHEMA = 1;

// A JSON string of a wide text (UTF-8, escaped), or null.
std::string jsonText(const wchar_t *text) {
    if (text == nullptr) {
        return "null";
    }
    std::string out = "\"";
    for (const wchar_t *at = text; *at != L'\0'; ++at) {
        uint32_t code = static_cast<uint32_t>(*at);
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (code < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            out += escaped;
        } else if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out + "\"";
}

std::string versionJson(uint32_t raw, const wchar_t *shown) {
    return "{\"raw\":" + std::to_string(raw) + ",\"shown\":" + jsonText(shown) + "}";
}

std::string utcNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts = {};
    char text[32];
    if (gmtime_r(&now, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) {
        return "-";
    }
    return text;
}

const char *outcomeName(UpdateStatus status) {
    switch (status) {
    case UPDATE_SUCCEEDED:
        return "updated";
    case UPDATE_DECLINED:
        return "declined";
    case UPDATE_FAILED:
    case UPDATE_BUSY:
        break;
    }
    return "failed";
}
} // namespace

std::string webVersionsJson(const UnitContext *unit) {
    const UnitConnection *connection = &unit->connection;
    if (!isUnitOpen(connection)) {
        return "null";
    }
    VersionTexts texts;
    versionTexts(unit, &texts);
    return "{\"unit\":" + versionJson(connection->unitFirmwareVersion, texts.unit) +
           ",\"escBootloader\":" + versionJson(escBootloaderVersion(connection), texts.bootloader) +
           ",\"escFirmware\":" + versionJson(escFirmwareVersion(connection), texts.esc) + "}";
}

std::string webRecordLine(const wchar_t *device, const wchar_t *product, const std::string &before,
                          const std::string &after, const UpdateResult *result) {
    // A declined update sent nothing: no result and no system error, as the command line logs it.
    bool declined = result->status == UPDATE_DECLINED;
    return "{\"schema\":" + std::to_string(LOG_SCHEMA) + ",\"event\":\"result\",\"time\":\"" +
           utcNow() + "\",\"device\":" + jsonText(device) + ",\"product\":" + jsonText(product) +
           ",\"before\":" + before + ",\"after\":" + after + ",\"outcome\":\"" +
           outcomeName(result->status) +
           "\",\"result\":" + std::to_string(declined ? 0 : result->result) +
           ",\"systemError\":" + std::to_string(declined ? 0u : result->systemError) + "}";
}
