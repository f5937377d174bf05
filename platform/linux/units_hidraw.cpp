// The real program finds its units among the hidraw devices; there is nothing to prepare.
#include "app/units.h"

void prepareUnits() {}
