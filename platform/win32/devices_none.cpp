// The shipped program finds real units through SetupAPI: there is nothing to prepare.
#include "platform/win32/program.h"

void platformPrepareDevices() {}
