// Shared by the fuzz target's driver and its HID backend: the input and the checks' state.
#pragma once

#include "link/hid.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The input of one run, read from the front. Past its end every byte reads 0, and 0 is always
// the choice that lets things go well, so a short input still reaches the end of an update.
void fuzzStartInput(const uint8_t *data, size_t size);
uint8_t fuzzByte();
bool fuzzInputLeft();

// Ends the run as a crash that libFuzzer keeps, with the broken rule on stderr.
[[noreturn]] void fuzzFail(const char *rule);

// ---- The HID backend (hid_fuzz.cpp) ----

// No interfaces, no handles, the simulated unit reset.
void fuzzHidReset();
// Plugs in an interface described by the next input bytes. No device event is sent.
void fuzzPlug();
// Unplugs the interface with the given number (modulo those plugged so far); its open handles
// fail from now on. No device event is sent.
void fuzzUnplug(uint8_t number);
// The path of the interface with the given number (modulo those plugged so far); empty when
// nothing was plugged yet.
std::vector<wchar_t> fuzzPath(uint8_t number);
size_t fuzzOpenHandles();
size_t fuzzOpenLists();
bool fuzzHandleOpen(HidHandle handle);
// The application showed the ready status for the unit behind this handle.
void fuzzMarkReady(HidHandle handle);
// An update starts: nothing has failed in it yet.
void fuzzUpdateStarts();
// The update reported a failure: from now on until it returns it may write no update command.
void fuzzUpdateFailed();
// The block bytes written since the last set-address command, in order.
const std::vector<uint8_t> &fuzzWrittenBlocks();
