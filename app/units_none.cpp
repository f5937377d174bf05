// The shipped program finds real units through SetupAPI: there is nothing to prepare.
#include "app/units.h"

void prepareUnits() {}
