// The real program finds its units among the hidraw devices; there is nothing to prepare.
#include "platform/linux/gtk_program.h"

void programPrepareUnits() {}
