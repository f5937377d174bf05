// The command-line program's commands in-process: the simulated unit, the captured terminal,
// the recorded clock and the demo's bench.
#include "app/mainwindow.h"
#include "app/messages.h"
#include "link/connection.h"
#include "link/frames.h"
#include "cli/carried_image.h"
#include "cli/cli.h"
#include "sim/sim.h"
#include "tests/cli/terminal_capture.h"
#include "tests/support/clock.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
std::string text(uint16_t id) {
    return utf8Text(catalogueText(id, LANGUAGE_ENGLISH));
}

bool contains(const std::string &haystack, const std::string &needle) {
    return haystack.find(needle) != std::string::npos;
}

size_t countOf(const std::string &haystack, const std::string &needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

size_t commandsSent(uint8_t command) {
    size_t count = 0;
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        count += frame.size() > 1 && frame[1] == command ? 1 : 0;
    }
    return count;
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        simReset();
        resetRecordedPauses();
        captureReset("");
        setMessageLanguage(LANGUAGE_ENGLISH);
    }

    void TearDown() override {
        setPauseHook(nullptr);
        cliSetQuiet(false);
        cliSetVerbose(false);
        EXPECT_EQ(simOpenHandleCount(), 0u);
        EXPECT_EQ(simBadHandleUses(), 0u);
    }

    // A fresh PC with a ready TALOMIR whose ESC has the given firmware, for tables of cases.
    void plugReady(uint16_t escFirmware = 0x020A) {
        simReset();
        simSetEscFirmwareVersion(escFirmware);
        simAddInterface(simUnitInterface(PRODUCT_ID_TALOMIR, L"/dev/hidraw0"));
    }
};

TEST_F(Cli, questions_misanswered) {
    struct Case {
        const char *name;
        uint16_t escFirmware;
        const char *input;
        bool yes;
        int exitCode;
        bool versionAsked;
        MessageLanguage language = LANGUAGE_ENGLISH;
    };
    const Case cases[] = {
        {"declined", 0x020A, "n\n", false, EXIT_DECLINED, false},
        {"end of input", 0x020A, "", false, EXIT_DECLINED, false},
        {"a yes that is no word", 0x020A, "yess\n", false, EXIT_DECLINED, false},
        {"yes", 0x020A, " Yes \n", false, EXIT_OK, false},
        {"same version, both yes", 0x0300, "y\ny\n", false, EXIT_OK, true},
        {"same version, end of input", 0x0300, "y\n", false, EXIT_DECLINED, true},
        {"older version", 0x02FF, "y\n", false, EXIT_OK, false},
        {"--yes on the same version", 0x0300, "", true, EXIT_NOTHING_TO_DO, false},
        {"German ja", 0x020A, "ja\n", false, EXIT_OK, false, LANGUAGE_GERMAN},
        {"English y in German", 0x020A, "y\n", false, EXIT_OK, false, LANGUAGE_GERMAN},
        {"German J in English", 0x020A, "J\n", false, EXIT_OK, false},
        {"German no in German", 0x020A, "nein\n", false, EXIT_DECLINED, false, LANGUAGE_GERMAN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        plugReady(c.escFirmware);
        captureReset(c.input);
        setMessageLanguage(c.language);
        EXPECT_EQ(cliUpdate(c.yes), c.exitCode);
        setMessageLanguage(LANGUAGE_ENGLISH);
        // The questions are on standard error, in the terminal's words.
        EXPECT_EQ(contains(capturedErr(),
                           utf8Text(catalogueText(MSG_NEWER_FIRMWARE_CAPTION, c.language))),
                  c.versionAsked);
        EXPECT_EQ(
            contains(capturedErr(), utf8Text(catalogueText(MSG_IMPORTANT_CAPTION, c.language))),
            !c.yes);
        EXPECT_EQ(contains(capturedErr(), utf8Text(catalogueText(MSG_CLI_ASK_UPDATE, c.language))),
                  !c.yes);
        EXPECT_FALSE(contains(capturedOut(), "[y/N]"));
        EXPECT_FALSE(contains(capturedOut(), "[j/N]"));
        EXPECT_EQ(contains(capturedErr(), utf8Text(catalogueText(MSG_CLI_DECLINED, c.language))),
                  c.exitCode == EXIT_DECLINED);
        bool written = c.exitCode == EXIT_OK;
        EXPECT_EQ(commandsSent(CMD_SYSTEM_LOCK), written ? 2u : 0u);
        EXPECT_EQ(
            contains(capturedOut(), utf8Text(catalogueText(MSG_UPDATE_SUCCEEDED, c.language))),
            written);
    }
}

TEST_F(Cli, failure_not_on_stderr_or_reported_as_success) {
    struct Case {
        const char *name;
        SimFault fault;
        uint16_t textId;
    };
    const Case cases[] = {
        {"lock", {SIM_FAULT_STATE, CMD_SYSTEM_LOCK, 1, 0, 0}, MSG_SYSTEM_LOCK_FAILED},
        {"protection",
         {SIM_FAULT_ERROR_REPLY, CMD_WRITE_PROTECT, 1, 0x56, 0},
         MSG_WRITE_PROTECT_FAILED},
        {"erase", {SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 16, 0}, MSG_ERASE_FAILED},
        {"address", {SIM_FAULT_ERROR_REPLY, CMD_SET_ADDRESS, 1, 0x57, 0}, MSG_SET_ADDRESS_FAILED},
        {"block", {SIM_FAULT_READ_FAILS, CMD_WRITE_BLOCK, 3, 0, 31}, MSG_WRITE_BLOCK_FAILED},
    };
    std::string errorLine = text(MSG_ERROR_CODE).substr(0, text(MSG_ERROR_CODE).find('%'));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        plugReady();
        simInjectFault(c.fault);
        captureReset("");
        EXPECT_EQ(cliUpdate(true), EXIT_UPDATE_FAILED);
        EXPECT_TRUE(contains(capturedErr(), text(MSG_UPDATE_FAILED_CAPTION) + "\n" +
                                                text(c.textId) + "\n" + errorLine));
        EXPECT_FALSE(contains(capturedOut(), text(MSG_UPDATE_SUCCEEDED)));
    }
}

TEST_F(Cli, status_outcome_or_versions_wrong) {
    struct Case {
        const char *name;
        void (*prepare)();
        const char *outcome;
        int exitCode;
    };
    const Case cases[] = {
        {"no unit", [] {}, "no-unit", EXIT_NO_UNIT},
        {"wrong mode", [] { gSimUnit.identifyState = 1; }, "wrong-mode", EXIT_WRONG_MODE},
        {"no updatable ESC", [] { gSimUnit.escStatus = 0; }, "no-updatable-esc",
         EXIT_NO_UPDATABLE_ESC},
        {"incompatible ESC", [] { simSetEscType(0x12345678); }, "incompatible-esc",
         EXIT_INCOMPATIBLE_ESC},
        {"ready", [] {}, "ready", EXIT_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        plugReady();
        if (c.exitCode == EXIT_NO_UNIT) {
            simReset();
        }
        c.prepare();
        captureReset("");
        EXPECT_EQ(cliStatus(true), c.exitCode);
        // Nothing but the object is printed.
        nlohmann::json status = nlohmann::json::parse(capturedOut(), nullptr, false);
        ASSERT_FALSE(status.is_discarded()) << capturedOut();
        EXPECT_EQ(status["outcome"], c.outcome);
        EXPECT_EQ(status["imageVersion"], (nlohmann::json{{"raw", 0x0300}, {"shown", "3.0"}}));
        if (c.exitCode != EXIT_OK) {
            EXPECT_TRUE(status["product"].is_null());
            EXPECT_TRUE(status["versions"].is_null());
            EXPECT_TRUE(status["device"].is_null());
            EXPECT_TRUE(contains(status["status"], text(MSG_CLI_INSTRUCTIONS)));
            continue;
        }
        EXPECT_EQ(status["product"], "TALOMIR");
        EXPECT_EQ(status["status"], text(MSG_CLI_READY));
        const nlohmann::json &versions = status["versions"];
        EXPECT_EQ(versions["unit"]["shown"], "2.3");
        EXPECT_EQ(versions["escBootloader"], (nlohmann::json{{"raw", 0x0102}, {"shown", "1.2"}}));
        EXPECT_EQ(versions["escFirmware"], (nlohmann::json{{"raw", 0x020A}, {"shown", "2.10"}}));
    }
}

// A unit that another of our programs holds is not there for this one, and the user learns why;
// a unit that is simply missing gets no such line.
TEST_F(Cli, held_unit_unexplained_or_used) {
    for (bool held : {true, false}) {
        SCOPED_TRACE(held ? "held by another of our programs" : "missing");
        for (bool update : {false, true}) {
            simReset();
            if (held) {
                SimInterface unit = simUnitInterface(PRODUCT_ID_TALOMIR, L"/dev/hidraw0");
                unit.heldByOurs = true;
                simAddInterface(unit);
            }
            captureReset("");
            EXPECT_EQ(update ? cliUpdate(true) : cliStatus(false), EXIT_NO_UNIT);
            // status reports on standard output; update's refusal is all on standard error.
            const std::string &report = update ? capturedErr() : capturedOut();
            EXPECT_TRUE(contains(report, text(MSG_NO_UNIT)));
            EXPECT_EQ(contains(capturedErr(), text(MSG_CLI_UNIT_IN_USE)), held);
            EXPECT_EQ(capturedOut().empty(), update);
            EXPECT_TRUE(simSentFrames().empty());
        }
    }
}

TEST_F(Cli, progress_more_than_a_line_per_block) {
    // The test image is eleven blocks: each block moves the percentage.
    for (bool interactive : {false, true}) {
        SCOPED_TRACE(interactive ? "terminal" : "pipe");
        plugReady();
        captureReset("", interactive, 120); // room for the whole bar
        ASSERT_EQ(cliUpdate(true), EXIT_OK);
        const std::string &err = capturedErr();
        size_t start = err.find(text(MSG_PROGRESS));
        ASSERT_NE(start, std::string::npos);
        std::string progress = err.substr(start);
        EXPECT_TRUE(contains(progress, "[" + std::string(30, '#') + "] 100%"));
        EXPECT_FALSE(contains(capturedOut(), "%"));
        if (interactive) {
            EXPECT_EQ(countOf(progress, "\n"), 2u);  // the title's and the one line's end
            EXPECT_EQ(countOf(progress, "\r"), 12u); // 0 % and once per block
        } else {
            EXPECT_EQ(countOf(progress, "\r"), 0u);
            EXPECT_EQ(countOf(progress, "%  "), 11u); // 0 % and every next ten
        }
    }
}

TEST_F(Cli, bench_updates_unit_again_or_miscounts) {
    struct Case {
        const char *name;
        bool eraseFailsFirst;
        uint32_t count;
        bool ctrlCWhenIdle;
        const char *summary;
        int exitCode;
    };
    const Case cases[] = {
        {"two units", false, 2, false, "Updated: 2, failed: 0, not ready: 0", EXIT_OK},
        {"first fails", true, 2, false, "Updated: 2, failed: 1, not ready: 0", EXIT_UPDATE_FAILED},
        {"Ctrl-C while idle", false, 0, true, "Updated: 1, failed: 0, not ready: 0", EXIT_OK},
    };
    // Without --yes the bench asks once; declined, it touches no unit.
    plugReady();
    captureReset("n\n");
    EXPECT_EQ(cliWatch(false, 2), EXIT_DECLINED);
    EXPECT_EQ(simSentFrames().size(), 0u);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        plugReady();
        if (c.eraseFailsFirst) {
            simInjectFault({SIM_FAULT_ERROR_REPLY, CMD_ERASE_FIRMWARE, 1, 16, 0});
        }
        captureReset("");
        // The bench's own waits are slices of 100 ms: Ctrl-C comes in the first. A bench that
        // never reaches its count is ended the same way after a few minutes of its waits.
        setPauseHook([&c](size_t index, uint32_t milliseconds) {
            if ((c.ctrlCWhenIdle && milliseconds == 100) || index > 20000) {
                interruptArrived();
            }
        });
        EXPECT_EQ(cliWatch(true, c.count), c.exitCode);
        setPauseHook(nullptr);
        const std::string &out = capturedOut();
        EXPECT_TRUE(contains(out, std::string(c.summary) + "\n")) << out;
        size_t units = c.count + (c.eraseFailsFirst ? 1 : 0) + (c.ctrlCWhenIdle ? 1 : 0);
        // Every unit is a fresh one at a node of its own: none is updated twice.
        EXPECT_EQ(commandsSent(CMD_ERASE_FIRMWARE), units);
        EXPECT_EQ(simOpenedPaths().back(), L"/dev/hidraw" + std::to_wstring(units - 1));
        EXPECT_EQ(countOf(out, "TALOMIR  ESC 2.10 -> 3.0  updated\n"),
                  units - (c.eraseFailsFirst ? 1 : 0));
    }
}

// Several units: update does not pick one itself, --device picks it, an ESC that holds the image
// already is left alone unless --reinstall, and the log keeps one line per unit handled, with
// the version read back after the write.
TEST_F(Cli, units_chosen_wrongly_or_rewritten_or_unrecorded) {
    simReset();
    SimUnit *first = simPlugOwnDemoUnit(L"/dev/hidraw0");
    SimUnit *second = simPlugOwnDemoUnit(L"/dev/hidraw1");
    const std::vector<uint8_t> untouched = first->flash;
    captureReset("");
    EXPECT_EQ(cliUpdate(true), EXIT_USAGE);
    EXPECT_TRUE(contains(capturedErr(), text(MSG_CLI_SEVERAL_UNITS))) << capturedErr();
    EXPECT_TRUE(contains(capturedErr(), "/dev/hidraw1  TALOMIR  application  ESC 2.10"));
    EXPECT_EQ(commandsSent(CMD_ERASE_FIRMWARE), 0u);

    captureReset("");
    EXPECT_EQ(cliList(true), EXIT_OK);
    nlohmann::json list = nlohmann::json::parse(capturedOut(), nullptr, false);
    ASSERT_FALSE(list.is_discarded()) << capturedOut();
    EXPECT_EQ(list["schema"], 1);
    ASSERT_EQ(list["units"].size(), 2u);
    EXPECT_EQ(list["units"][1]["path"], "/dev/hidraw1");
    EXPECT_EQ(list["units"][1]["product"], "TALOMIR");
    EXPECT_EQ(list["units"][1]["held"], false);

    const char *log = "cli-test-units.jsonl";
    std::remove(log);
    CommandOptions chosen;
    chosen.device = L"/dev/hidraw1";
    chosen.log = log;
    const struct {
        bool reinstall;
        int exitCode;
        const char *outcome;
    } runs[] = {{false, EXIT_OK, "updated"},
                {false, EXIT_NOTHING_TO_DO, "nothing-to-do"},
                {true, EXIT_OK, "updated"}};
    for (const auto &run : runs) {
        chosen.reinstall = run.reinstall;
        captureReset("");
        EXPECT_EQ(cliUpdate(true, chosen), run.exitCode) << capturedErr();
    }
    EXPECT_EQ(first->flash, untouched);
    const std::vector<uint8_t> image(CARRIED_IMAGE, CARRIED_IMAGE + CARRIED_IMAGE_SIZE);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), second->flash.begin()));
    std::FILE *file = std::fopen(log, "r");
    ASSERT_NE(file, nullptr);
    char line[4096];
    size_t records = 0;
    while (std::fgets(line, sizeof line, file) != nullptr && records < std::size(runs)) {
        nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << line;
        EXPECT_EQ(record["device"], "/dev/hidraw1");
        EXPECT_EQ(record["outcome"], runs[records].outcome);
        EXPECT_EQ(record["after"]["escFirmware"]["shown"], "3.0");
        ++records;
    }
    EXPECT_EQ(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    std::remove(log);
    EXPECT_EQ(records, std::size(runs));
}

// A unit that does not answer its identification after the write is logged with no versions
// after it, never with the version the write was meant to leave.
TEST_F(Cli, unanswered_read_back_logged_as_written) {
    plugReady();
    // Identifications: the start-up classification, the read-back.
    simInjectFault({SIM_FAULT_READ_FAILS, CMD_IDENTIFY, 2, 0, 5});
    const char *log = "cli-test-read-back.jsonl";
    std::remove(log);
    CommandOptions chosen;
    chosen.log = log;
    captureReset("");
    EXPECT_EQ(cliUpdate(true, chosen), EXIT_OK);
    std::FILE *file = std::fopen(log, "r");
    ASSERT_NE(file, nullptr);
    char line[4096];
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    std::remove(log);
    nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    EXPECT_EQ(record["outcome"], "updated");
    EXPECT_TRUE(record["after"].is_null()) << line;
}

// Every unit connected is updated at once, each from its own context and thread: each flash
// ends up holding the image, none is written twice, and no answer goes to the wrong unit.
TEST_F(Cli, units_at_once_mixed_up_or_written_twice) {
    simReset();
    // Units of their own: the bench may replug one that is done while the others still write.
    std::vector<SimUnit *> units = {simPlugOwnDemoUnit(L"/dev/hidraw0"),
                                    simPlugOwnDemoUnit(L"/dev/hidraw1"),
                                    simPlugOwnDemoUnit(L"/dev/hidraw2")};
    captureReset("");
    CommandOptions all;
    all.all = true;
    EXPECT_EQ(cliWatch(true, 3, all), EXIT_OK);
    EXPECT_TRUE(contains(capturedOut(), "Updated: 3, failed: 0, not ready: 0\n")) << capturedOut();
    // The bench replugs a unit a second of recorded time after its write, which passes at once
    // here: the unplug may come before the read-back, and then the line shows no version.
    EXPECT_EQ(countOf(capturedOut(), "TALOMIR  ESC 2.10 -> 3.0  updated\n") +
                  countOf(capturedOut(), "TALOMIR  ESC 2.10 -> -  updated\n"),
              3u)
        << capturedOut();
    EXPECT_EQ(commandsSent(CMD_ERASE_FIRMWARE), 3u);
    const std::vector<uint8_t> image(CARRIED_IMAGE, CARRIED_IMAGE + CARRIED_IMAGE_SIZE);
    for (size_t i = 0; i < units.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), units[i]->flash.begin()));
        EXPECT_TRUE(units[i]->writeProtected);
    }
}

// Ctrl-C while units send: update holds it and says so once; the bench says each time that the
// updates under way are finished, finishes them, starts none after them and ends with 130.
TEST_F(Cli, ctrl_c_cuts_update_or_bench_goes_on) {
    struct Case {
        const char *name;
        const char *command;
        size_t units;
        std::vector<InterruptAction> actions;
        int exitCode;
    };
    const Case cases[] = {
        {"update", "update", 1, {INTERRUPT_SAY_HELD, INTERRUPT_TAKEN}, EXIT_OK},
        {"watch", "watch", 1, {INTERRUPT_SAY_FINISHING, INTERRUPT_SAY_FINISHING}, EXIT_INTERRUPTED},
        {"watch --all",
         "--all",
         2,
         {INTERRUPT_SAY_FINISHING, INTERRUPT_SAY_FINISHING},
         EXIT_INTERRUPTED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simReset();
        std::vector<SimUnit *> units;
        for (size_t node = 0; node < c.units; ++node) {
            units.push_back(simPlugOwnDemoUnit(L"/dev/hidraw" + std::to_wstring(node)));
        }
        captureReset("");
        // Two Ctrl-C among the blocks: the step pauses of 20 ms after the fourth are theirs. A
        // bench that goes on regardless is ended after a few minutes of its waits.
        std::vector<InterruptAction> actions;
        size_t steps = 0;
        setPauseHook([&](size_t index, uint32_t milliseconds) {
            if (milliseconds == STEP_PAUSE_MS && (++steps == 6 || steps == 8)) {
                actions.push_back(interruptArrived());
            } else if (index >= 20000) {
                interruptArrived();
            }
        });
        CommandOptions options;
        options.all = c.units > 1;
        int code = c.command[0] == 'u' ? cliUpdate(true) : cliWatch(true, 0, options);
        setPauseHook(nullptr);
        EXPECT_EQ(code, c.exitCode) << capturedErr();
        EXPECT_EQ(actions, c.actions);
        EXPECT_EQ(commandsSent(CMD_ERASE_FIRMWARE), c.units);
        const std::vector<uint8_t> image(CARRIED_IMAGE, CARRIED_IMAGE + CARRIED_IMAGE_SIZE);
        for (SimUnit *unit : units) {
            EXPECT_TRUE(std::equal(image.begin(), image.end(), unit->flash.begin()));
        }
        if (c.command[0] != 'u') {
            EXPECT_TRUE(contains(capturedOut(), "Updated: " + std::to_string(c.units) +
                                                    ", failed: 0, not ready: 0\n"))
                << capturedOut();
        }
    }
}

// A record that cannot be appended to the log is named on standard error with its unit, and the
// run ends with its own code once the updates under way are over.
TEST_F(Cli, log_failure_unreported) {
    struct Case {
        const char *name;
        const char *log;
        bool removedWhileSending;
        bool bench;
        size_t units;
    };
    const Case cases[] = {
        {"update, log removed", "cli-test-removed.jsonl", true, false, 1},
        {"watch, log removed", "cli-test-removed.jsonl", true, true, 1},
        {"watch --all, log removed", "cli-test-removed.jsonl", true, true, 2},
#ifndef _WIN32
        {"update, disk full", "/dev/full", false, false, 1},
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simReset();
        for (size_t node = 0; node < c.units; ++node) {
            simPlugOwnDemoUnit(L"/dev/hidraw" + std::to_wstring(node));
        }
        captureReset("");
        setPauseHook([&c](size_t index, uint32_t milliseconds) {
            // From the first step of the first unit to send, before any record is logged.
            if (c.removedWhileSending && milliseconds == STEP_PAUSE_MS) {
                std::remove(c.log);
            } else if (index >= 20000) {
                interruptArrived(); // a bench that goes on regardless
            }
        });
        CommandOptions options;
        options.log = c.log;
        options.all = c.units > 1;
        int code = c.bench ? cliWatch(true, 0, options) : cliUpdate(true, options);
        setPauseHook(nullptr);
        EXPECT_EQ(code, EXIT_LOG_FAILED);
        // The recorded clock lets the demo plug in a fresh unit at once after a write: under
        // --all it may start before the failed record of the first is collected.
        if (!options.all) {
            EXPECT_EQ(commandsSent(CMD_ERASE_FIRMWARE), c.units);
        }
        for (size_t node = 0; node < c.units; ++node) {
            std::string unit = "/dev/hidraw" + std::to_string(node);
            EXPECT_TRUE(contains(capturedErr(), "The record of " + unit +
                                                    " could not be appended to the log: " + c.log))
                << capturedErr();
        }
    }
}

int runMain(const std::vector<const char *> &arguments) {
    std::vector<char *> argv = {const_cast<char *>("quillar-updater-cli")};
    for (const char *argument : arguments) {
        argv.push_back(const_cast<char *>(argument));
    }
    return cliMain(static_cast<int>(argv.size()), argv.data());
}

TEST_F(Cli, bad_command_line_accepted_or_unnamed) {
    struct Case {
        std::vector<const char *> arguments;
        int exitCode;
        const char *firstLine; // of standard error, or of standard output when it succeeds
    };
    const std::string version = "quillar-updater-cli 3.0, firmware image 3.0 TEST BUILD";
    const Case cases[] = {
        {{"stauts"}, EXIT_USAGE, "quillar-updater-cli: unknown command 'stauts'"},
        {{}, EXIT_USAGE, "quillar-updater-cli: a command is required"},
        {{"status", "--yes"}, EXIT_USAGE, "quillar-updater-cli: unknown option '--yes'"},
        {{"status", "now"}, EXIT_USAGE, "quillar-updater-cli: unexpected argument 'now'"},
        {{"watch", "--count", "0"},
         EXIT_USAGE,
         "quillar-updater-cli: --count wants a whole number from 1 to 1000000, not '0'"},
        {{"watch", "--count", "abc"},
         EXIT_USAGE,
         "quillar-updater-cli: --count wants a whole number from 1 to 1000000, not 'abc'"},
        {{"help", "stauts"}, EXIT_USAGE, "quillar-updater-cli: unknown command 'stauts'"},
        {{"--version"}, EXIT_OK, version.c_str()},
        {{"-V"}, EXIT_OK, version.c_str()},
        {{"help"}, EXIT_OK, "Firmware updater for the QUILLAR ESC"},
        {{"help", "update"}, EXIT_OK, "Write the carried firmware into the connected ESC"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.firstLine);
        captureReset("");
        EXPECT_EQ(runMain(c.arguments), c.exitCode) << capturedErr();
        const std::string &shown = c.exitCode == EXIT_OK ? capturedOut() : capturedErr();
        EXPECT_EQ(shown.substr(0, shown.find('\n')).find(c.firstLine), 0u) << shown;
        if (c.exitCode != EXIT_OK) {
            EXPECT_EQ(capturedOut(), "");
            EXPECT_TRUE(contains(capturedErr(), text(MSG_CLI_SEE_HELP) + "\n"));
        }
    }
    // The program's help lists the commands, help included; a command's names the program.
    captureReset("");
    runMain({"help"});
    EXPECT_TRUE(contains(capturedOut(), text(MSG_CLI_HELP_WATCH)));
    EXPECT_TRUE(contains(capturedOut(), text(MSG_CLI_HELP_HELP_COMMAND)));
    captureReset("");
    runMain({"help", "update"});
    EXPECT_TRUE(contains(capturedOut(), "quillar-updater-cli update"));
    EXPECT_TRUE(contains(capturedOut(), text(MSG_CLI_HELP_YES)));
}

// The results alone on standard output with either; -q leaves out everything else, -v adds a
// line for every report written and read, in order.
TEST_F(Cli, quiet_chatters_or_verbose_misses_reports) {
    for (const char *manner : {"-q", "-v"}) {
        SCOPED_TRACE(manner);
        plugReady();
        captureReset("", true);
        ASSERT_EQ(runMain({manner, "update", "--yes"}), EXIT_OK) << capturedErr();
        EXPECT_TRUE(contains(capturedOut(), text(MSG_UPDATE_SUCCEEDED) + "\n"));
        EXPECT_FALSE(contains(capturedOut(), "%"));
        const std::string &err = capturedErr();
        if (manner[1] == 'q') {
            EXPECT_EQ(err, "");
            continue;
        }
        EXPECT_EQ(countOf(err, "sent     01 "), simSentFrames().size());
        EXPECT_EQ(countOf(err, "received 02 "), simSentFrames().size());
        // The erase with its confirmation code, then its reply.
        size_t at = err.find("sent     01 1E 04 00 E1 96 3C 5A 00");
        ASSERT_NE(at, std::string::npos) << err;
        EXPECT_EQ(err.compare(err.find('\n', at) + 1, 12, "received 02 "), 0);
    }
    // The trace goes with -v: the next command traces nothing.
    cliSetVerbose(false);
    plugReady();
    captureReset("");
    ASSERT_EQ(cliUpdate(true), EXIT_OK);
    EXPECT_FALSE(contains(capturedErr(), "sent     "));
}

// On a terminal of any width the line is rewritten within it, with its counts when there is
// room; the erase line comes before the pause and the progress.
TEST_F(Cli, progress_wider_than_terminal_or_silent_erase) {
    for (uint32_t columns : {80u, 40u, 20u}) {
        SCOPED_TRACE(columns);
        plugReady();
        captureReset("", true, columns);
        ASSERT_EQ(cliUpdate(true), EXIT_OK);
        const std::string &err = capturedErr();
        size_t erasing = err.find(text(MSG_CLI_ERASING) + "\n");
        ASSERT_NE(erasing, std::string::npos);
        EXPECT_LT(erasing, err.find(text(MSG_PROGRESS)));
        std::string line = err.substr(err.rfind('\r') + 1);
        line = line.substr(0, line.find_last_not_of(" \n") + 1);
        EXPECT_LT(line.size(), columns) << line;
        if (columns == 80) {
            // The test image is 500 bytes: ten whole blocks and one of 20 bytes.
            EXPECT_TRUE(contains(line, "100%  0:00 left  500/500 bytes  11/11 blocks  "));
            EXPECT_TRUE(contains(line, " B/s")) << line;
        }
        for (size_t at = err.find('\r'); at != std::string::npos; at = err.find('\r', at + 1)) {
            size_t end = err.find_first_of("\r\n", at + 1);
            EXPECT_LT(err.substr(at + 1, end - at - 1).size(), columns);
        }
    }
}

#ifdef QUILLAR_WINDOW_FRAMES
TEST_F(Cli, frames_differ_from_window_program) {
    std::vector<std::string> window;
    FILE *pipe = popen(QUILLAR_WINDOW_FRAMES, "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        window.emplace_back(line, std::string(line).find('\n'));
    }
    ASSERT_EQ(pclose(pipe), 0);
    plugReady();
    ASSERT_EQ(cliUpdate(true), EXIT_OK);
    std::vector<std::string> cli;
    for (const std::vector<uint8_t> &frame : simSentFrames()) {
        std::string hex = simHex(frame.data(), frame.size());
        for (char &c : hex) {
            c = c == '\n' ? ' ' : c;
        }
        cli.push_back(hex);
    }
    ASSERT_GT(window.size(), 11u);
    // The window program's frames, then the identification once more, to read the versions
    // back: counting the units sends nothing.
    size_t identification = 0;
    while (identification < window.size() && window[identification].rfind("01 0B", 0) != 0) {
        ++identification;
    }
    std::vector<std::string> expected(window.begin(), window.end());
    expected.insert(expected.end(), window.begin(), window.begin() + identification);
    EXPECT_EQ(cli, expected);
}
#endif
} // namespace
