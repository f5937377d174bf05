// The units a program will see, prepared once before the window opens; each program links one.
#pragma once

// The shipped programs have nothing to prepare: they find real units through the system. The
// demo and simulator builds attach their simulated unit here.
void prepareUnits();
