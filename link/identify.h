// Identification of the open unit and of the ESC behind it.
#pragma once

#include <cstdint>

struct UnitConnection;

// Asks the open unit for its mode, its version and the attached ESC, and stores the answers.
// Returns 0, a link failure, or the unit's error code (1 to 65535) from a failed ESC read.
// Called only by openUnit. Never closes the unit.
int32_t identifyUnit(UnitConnection *connection);
