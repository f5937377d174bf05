// The shipped program finds real units through SetupAPI: there is nothing to prepare.
#include "link/units.h"

void prepareUnits() {}
