// The command line: options parsed with CLI11, one command run, its exit code returned.
#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <vector>

namespace {
struct Choices {
    bool json = false;
    bool updateYes = false;
    bool watchYes = false;
    uint32_t count = 0;
    bool all = false;
    // Units, records and nothing to do.
    std::string device;
    std::string log;
    bool reinstall = false;
    bool jsonLines = false;
    bool listJson = false;
};

void describeOptions(CLI::App *app, const std::string &group) {
    app->option_defaults()->group(group);
    app->set_help_flag("-h,--help", cliMessage(MSG_CLI_HELP_HELP));
}

// ---- Quiet, verbose, help, and the parser's messages ----

constexpr uint32_t COUNT_LOWEST = 1;
constexpr uint32_t COUNT_HIGHEST = 1000000;

struct Manners {
    bool quiet = false;
    bool verbose = false;
    std::string helpTopic;
    std::string usageMessage; // set by a check whose value was refused
};

std::string formatted(uint16_t id, const std::string &word) {
    std::wstring wide = wideText(word);
    const FormatArg arg = {wide.c_str(), 0};
    return cliFormat(id, &arg, 1);
}

// A value of --count: digits only, within its range; anything else names the value.
CLI::Validator wholeNumberCheck(const std::string &option, Manners *manners) {
    return CLI::Validator(
        [option, manners](std::string &value) {
            bool digits = !value.empty() && value.size() <= 7 &&
                          value.find_first_not_of("0123456789") == std::string::npos;
            unsigned long number = digits ? std::stoul(value) : 0;
            if (digits && number >= COUNT_LOWEST && number <= COUNT_HIGHEST) {
                return std::string();
            }
            std::wstring wideOption = wideText(option);
            std::wstring wideValue = wideText(value);
            const FormatArg args[] = {{wideOption.c_str(), 0},
                                      {nullptr, COUNT_LOWEST},
                                      {nullptr, COUNT_HIGHEST},
                                      {wideValue.c_str(), 0}};
            manners->usageMessage = cliFormat(MSG_CLI_WHOLE_NUMBER, args, 4);
            return manners->usageMessage;
        },
        "");
}

// The words that the parser took for no command, option or value, of the program and of the
// command given.
std::vector<std::string> leftOver(CLI::App *app) {
    return app->remaining(true);
}

// The one line of a usage error, naming the word at fault where there is one.
std::string usageText(CLI::App *app, const CLI::ParseError &error, const Manners &manners) {
    if (!manners.usageMessage.empty()) {
        return manners.usageMessage;
    }
    std::vector<std::string> words = leftOver(app);
    if (!words.empty()) {
        const std::string &word = words.front();
        if (word.size() > 1 && word[0] == '-') {
            return formatted(MSG_CLI_UNKNOWN_OPTION, word.substr(0, word.find('=')));
        }
        bool commandGiven = !app->get_subcommands().empty();
        return formatted(commandGiven ? MSG_CLI_UNEXPECTED_ARGUMENT : MSG_CLI_UNKNOWN_COMMAND,
                         word);
    }
    if (app->get_subcommands().empty()) {
        return cliMessage(MSG_CLI_COMMAND_REQUIRED);
    }
    return error.what();
}

int usageError(const std::string &message) {
    printErr("quillar-updater-cli: " + message + "\n" + cliMessage(MSG_CLI_SEE_HELP) + "\n");
    return EXIT_USAGE;
}

// help, or help COMMAND: the help that --help prints.
int printHelp(CLI::App *app, const std::string &topic) {
    // The program's own help: App::help would show the help of the command parsed, help itself.
    if (topic.empty()) {
        printOut(app->get_formatter()->make_help(app, app->get_name(), CLI::AppFormatMode::Normal));
        return EXIT_OK;
    }
    for (CLI::App *command : app->get_subcommands({})) {
        if (command->get_name() == topic) {
            printOut(command->help(app->get_name()));
            return EXIT_OK;
        }
    }
    return usageError(formatted(MSG_CLI_UNKNOWN_COMMAND, topic));
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
    app.set_version_flag("-V,--version", cliVersionText(), cliMessage(MSG_CLI_HELP_VERSION));
    app.require_subcommand(1, 1);
    app.footer(cliMessage(MSG_CLI_HELP_EXIT_CODES));

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
    Manners manners;
    watch->add_option("--count", chosen.count, cliMessage(MSG_CLI_HELP_COUNT))
        ->check(wholeNumberCheck("--count", &manners))
        ->type_name("N");
    watch->add_flag("--all", chosen.all, cliMessage(MSG_CLI_HELP_ALL));
    watch->group(commands);

    // Units, records and nothing to do: list, --device, --reinstall, --json lines and --log.
    CLI::App *list = app.add_subcommand("list", cliMessage(MSG_CLI_HELP_LIST));
    describeOptions(list, options);
    list->add_flag("--json", chosen.listJson, cliMessage(MSG_CLI_HELP_JSON));
    list->group(commands);
    for (CLI::App *command : {status, update, watch}) {
        command->add_option("--device", chosen.device, cliMessage(MSG_CLI_HELP_DEVICE))
            ->type_name("PATH");
    }
    for (CLI::App *command : {update, watch}) {
        command->add_flag("--reinstall", chosen.reinstall, cliMessage(MSG_CLI_HELP_REINSTALL));
        command->add_flag("--json", chosen.jsonLines, cliMessage(MSG_CLI_HELP_JSON_LINES));
        command->add_option("--log", chosen.log, cliMessage(MSG_CLI_HELP_LOG))->type_name("FILE");
    }

    // Quiet and verbose, for every command; help as a command of its own.
    CLI::App *help = app.add_subcommand("help", cliMessage(MSG_CLI_HELP_HELP_COMMAND));
    describeOptions(help, options);
    help->add_option("command", manners.helpTopic, cliMessage(MSG_CLI_HELP_TOPIC))
        ->type_name("COMMAND");
    help->group(commands);
    app.add_flag("-q,--quiet", manners.quiet, cliMessage(MSG_CLI_HELP_QUIET));
    app.add_flag("-v,--verbose", manners.verbose, cliMessage(MSG_CLI_HELP_VERBOSE));
    for (CLI::App *command : app.get_subcommands({})) {
        command->fallthrough(); // "update -q" as well as "-q update"
    }

    std::ostringstream out;
    std::ostringstream err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() != 0) {
            return usageError(usageText(&app, error, manners));
        }
        app.exit(error, out, err);
        printOut(out.str());
        printErr(err.str());
        return EXIT_OK;
    }
    if (help->parsed()) {
        return printHelp(&app, manners.helpTopic);
    }
    cliSetQuiet(manners.quiet);
    cliSetVerbose(manners.verbose);
    if (list->parsed()) {
        return cliList(chosen.listJson);
    }
    CommandOptions unitOptions;
    unitOptions.device = wideText(chosen.device);
    unitOptions.reinstall = chosen.reinstall;
    unitOptions.json = chosen.jsonLines;
    if (status->parsed()) {
        return cliStatus(chosen.json, unitOptions);
    }
    // A log that cannot be written is known before anything is sent.
    if (!chosen.log.empty() && !cliOpenLog(chosen.log)) {
        printErr(cliMessage(MSG_CLI_LOG_FAILED) + " " + chosen.log + "\n");
        return EXIT_USAGE;
    }
    int code = 0;
    if (update->parsed()) {
        code = cliUpdate(chosen.updateYes, unitOptions);
    } else if (chosen.all) {
        code = cliWatchAll(chosen.watchYes, chosen.count, unitOptions);
    } else {
        code = cliWatch(chosen.watchYes, chosen.count, unitOptions);
    }
    cliCloseLog();
    return code;
}
