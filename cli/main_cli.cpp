// The command line: options parsed with CLI11, one command run, its exit code returned.
#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace {
struct Choices {
    bool json = false;
    bool updateYes = false;
    bool watchYes = false;
    uint32_t count = 0;
    bool all = false;
};

void describeOptions(CLI::App *app, const std::string &group) {
    app->option_defaults()->group(group);
    app->set_help_flag("-h,--help", cliMessage(MSG_CLI_HELP_HELP));
}
} // namespace

int cliMain(int argc, char **argv) {
    setMessageLanguage(terminalLanguage());
    // Until the update sends, Ctrl-C ends the program at once.
    interruptInstall(cliMessage(MSG_CLI_NOT_INTERRUPTED));
    interruptSetMode(INTERRUPT_EXIT);

    const std::string options = cliMessage(MSG_CLI_HELP_OPTIONS);
    const std::string commands = cliMessage(MSG_CLI_HELP_COMMANDS);
    CLI::App app(cliMessage(MSG_CLI_HELP_PROGRAM), "quillar-updater-cli");
    app.get_formatter()->label("Usage", cliMessage(MSG_CLI_HELP_USAGE));
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    describeOptions(&app, options);
    app.set_version_flag("--version", cliVersionText(), cliMessage(MSG_CLI_HELP_VERSION));
    app.require_subcommand(1, 1);

    Choices chosen;
    CLI::App *status = app.add_subcommand("status", cliMessage(MSG_CLI_HELP_STATUS));
    describeOptions(status, options);
    status->add_flag("--json", chosen.json, cliMessage(MSG_CLI_HELP_JSON));
    status->group(commands);
    CLI::App *update = app.add_subcommand("update", cliMessage(MSG_CLI_HELP_UPDATE));
    describeOptions(update, options);
    update->add_flag("--yes", chosen.updateYes, cliMessage(MSG_CLI_HELP_YES));
    update->group(commands);
    CLI::App *watch = app.add_subcommand("watch", cliMessage(MSG_CLI_HELP_WATCH));
    describeOptions(watch, options);
    watch->add_flag("--yes", chosen.watchYes, cliMessage(MSG_CLI_HELP_YES));
    watch->add_option("--count", chosen.count, cliMessage(MSG_CLI_HELP_COUNT))
        ->check(CLI::Range(1u, 1000000u).description(""))
        ->type_name("N");
    watch->add_flag("--all", chosen.all, cliMessage(MSG_CLI_HELP_ALL));
    watch->group(commands);

    std::ostringstream out;
    std::ostringstream err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        int code = app.exit(error, out, err);
        printOut(out.str());
        printErr(err.str());
        return code == 0 ? EXIT_OK : EXIT_USAGE;
    }
    if (status->parsed()) {
        return cliStatus(chosen.json);
    }
    if (update->parsed()) {
        return cliUpdate(chosen.updateYes);
    }
    if (chosen.all) {
        return cliWatchAll(chosen.watchYes, chosen.count);
    }
    return cliWatch(chosen.watchYes, chosen.count);
}
