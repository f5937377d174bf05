// A recording clock for tests: pauseMs records what was asked and never sleeps.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// Every pause asked for since the last reset, in order.
const std::vector<uint32_t> &recordedPauses();
// Their sum in milliseconds.
uint64_t recordedPauseTotal();
// Forgets the pauses and the hook.
void resetRecordedPauses();
// Called after each pause is recorded, with its index (from 0) and length: a test delivers
// events "during" the pause from here.
void setPauseHook(std::function<void(size_t index, uint32_t milliseconds)> hook);
