// Identification of the open unit and of the ESC behind it.
#pragma once

#include <cstdint>

struct UnitConnection;

// Asks the open unit for its mode, its version and the attached ESC, and stores the answers.
// Returns 0, a link failure, or the unit's error code (1 to 65535) from a failed ESC read.
// openUnit calls it after opening; the command line calls it again after a written image, to
// read back what the ESC reports now. Never closes the unit.
int32_t identifyUnit(UnitConnection *connection);
