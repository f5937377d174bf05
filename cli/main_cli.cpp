// The command line: options parsed with CLI11, one command run, its exit code returned.
#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <vector>

namespace {
constexpr uint32_t COUNT_LOWEST = 1;
constexpr uint32_t COUNT_HIGHEST = 1000000;

// What the command line chose; one variable serves each option of several commands, since only
// one command is run.
struct Choices {
    bool json = false;
    bool yes = false;
    uint32_t count = 0;
    bool all = false;
    std::string device;
    std::string log;
    bool reinstall = false;
    bool quiet = false;
    bool verbose = false;
    std::string helpTopic;
    std::string usageMessage; // set by a check whose value was refused
};

void describeOptions(CLI::App *app, const std::string &group) {
    app->option_defaults()->group(group);
    app->set_help_flag("-h,--help", cliMessage(MSG_CLI_HELP_HELP));
}

std::string formatted(uint16_t id, const std::string &word) {
    std::wstring wide = wideText(word);
    const FormatArg arg = {wide.c_str(), 0};
    return cliFormat(id, &arg, 1);
}

// A value of --count: digits only, within its range; anything else names the value.
CLI::Validator wholeNumberCheck(const std::string &option, Choices *chosen) {
    return CLI::Validator(
        [option, chosen](std::string &value) {
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
            chosen->usageMessage = cliFormat(MSG_CLI_WHOLE_NUMBER, args, 4);
            return chosen->usageMessage;
        },
        "");
}

// The one line of a usage error, naming the word at fault where there is one: the first that the
// parser took for no command, option or value, of the program and of the command given.
std::string usageText(CLI::App *app, const CLI::ParseError &error, const Choices &chosen) {
    if (!chosen.usageMessage.empty()) {
        return chosen.usageMessage;
    }
    std::vector<std::string> words = app->remaining(true);
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
    interruptInstall(cliMessage(MSG_CLI_NOT_INTERRUPTED), cliMessage(MSG_CLI_FINISHING));
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
    auto command = [&](const char *name, uint16_t helpId) {
        CLI::App *added = app.add_subcommand(name, cliMessage(helpId));
        describeOptions(added, options);
        added->group(commands);
        return added;
    };

    Choices chosen;
    CLI::App *status = command("status", MSG_CLI_HELP_STATUS);
    status->add_flag("--json", chosen.json, cliMessage(MSG_CLI_HELP_JSON));
    CLI::App *update = command("update", MSG_CLI_HELP_UPDATE);
    update->add_flag("--yes", chosen.yes, cliMessage(MSG_CLI_HELP_YES));
    CLI::App *watch = command("watch", MSG_CLI_HELP_WATCH);
    watch->add_flag("--yes", chosen.yes, cliMessage(MSG_CLI_HELP_YES));
    watch->add_option("--count", chosen.count, cliMessage(MSG_CLI_HELP_COUNT))
        ->check(wholeNumberCheck("--count", &chosen))
        ->type_name("N");
    watch->add_flag("--all", chosen.all, cliMessage(MSG_CLI_HELP_ALL));
    CLI::App *list = command("list", MSG_CLI_HELP_LIST);
    list->add_flag("--json", chosen.json, cliMessage(MSG_CLI_HELP_JSON));
    for (CLI::App *unitCommand : {status, update, watch}) {
        unitCommand->add_option("--device", chosen.device, cliMessage(MSG_CLI_HELP_DEVICE))
            ->type_name("PATH");
    }
    for (CLI::App *writing : {update, watch}) {
        writing->add_flag("--reinstall", chosen.reinstall, cliMessage(MSG_CLI_HELP_REINSTALL));
        writing->add_flag("--json", chosen.json, cliMessage(MSG_CLI_HELP_JSON_LINES));
        writing->add_option("--log", chosen.log, cliMessage(MSG_CLI_HELP_LOG))->type_name("FILE");
    }
    CLI::App *help = command("help", MSG_CLI_HELP_HELP_COMMAND);
    help->add_option("command", chosen.helpTopic, cliMessage(MSG_CLI_HELP_TOPIC))
        ->type_name("COMMAND");
    // Quiet and verbose, for every command.
    app.add_flag("-q,--quiet", chosen.quiet, cliMessage(MSG_CLI_HELP_QUIET));
    app.add_flag("-v,--verbose", chosen.verbose, cliMessage(MSG_CLI_HELP_VERBOSE));
    for (CLI::App *each : app.get_subcommands({})) {
        each->fallthrough(); // "update -q" as well as "-q update"
    }

    std::ostringstream out;
    std::ostringstream err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() != 0) {
            return usageError(usageText(&app, error, chosen));
        }
        app.exit(error, out, err);
        printOut(out.str());
        printErr(err.str());
        return EXIT_OK;
    }
    if (help->parsed()) {
        return printHelp(&app, chosen.helpTopic);
    }
    cliSetQuiet(chosen.quiet);
    cliSetVerbose(chosen.verbose);
    if (list->parsed()) {
        return cliList(chosen.json);
    }
    CommandOptions unitOptions;
    unitOptions.device = wideText(chosen.device);
    unitOptions.reinstall = chosen.reinstall;
    unitOptions.json = chosen.json;
    unitOptions.log = chosen.log;
    unitOptions.all = chosen.all;
    if (status->parsed()) {
        return cliStatus(chosen.json, unitOptions);
    }
    if (update->parsed()) {
        return cliUpdate(chosen.yes, unitOptions);
    }
    return cliWatch(chosen.yes, chosen.count, unitOptions);
}
