// Entry point of the command-line program.
#include "link/units.h"
#include "cli/cli.h"

int main(int argc, char **argv) {
    prepareUnits();
    return cliMain(argc, argv);
}
