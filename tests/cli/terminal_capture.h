// The terminal for in-process tests: output captured, input scripted, time from the recorded
// pauses; a Ctrl-C is whatever the test has interruptArrived say.
#pragma once

#include "cli/terminal.h"

#include <string>

// Forgets the output; the answers typed are input (end of input after it). An interactive
// terminal is columns wide.
void captureReset(const std::string &input, bool interactive = false, uint32_t columns = 80);
const std::string &capturedOut();
const std::string &capturedErr();
