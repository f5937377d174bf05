// HID operations that the programming-unit link needs; each program links exactly one backend.
#pragma once

#include <cstddef>
#include <cstdint>

// An open HID device. On Windows a HANDLE, on Linux a file descriptor, in the simulator an index.
typedef intptr_t HidHandle;

// The invalid handle value: all bits set, as on Windows.
constexpr HidHandle HID_INVALID_HANDLE = -1;

// A list of the HID interfaces present when it was taken. Opaque; owned by the caller of
// hidOpenList and released with hidCloseList.
struct HidList;

// Lists the HID interfaces present now. Returns nullptr when no list can be obtained.
HidList *hidOpenList();

// Releases a list from hidOpenList. nullptr is ignored.
void hidCloseList(HidList *list);

// True when the list has an interface at the zero-based index; false past the last one.
bool hidListHas(HidList *list, uint32_t index);

// The size, in wide characters including the terminating zero, of the interface's path.
// 0 when the size cannot be learned (the interface vanished, or its detail cannot be read).
size_t hidPathSize(HidList *list, uint32_t index);

// Copies the interface's zero-terminated path into path, which holds size wide characters.
// Returns false when the path cannot be read or does not fit.
bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size);

// hidLastError after a hidOpenPath that failed because another of our programs holds the device
// open. Bit 29 marks an error code of the application's own on Windows; no errno comes near it.
constexpr uint32_t HID_ERROR_IN_USE = 0x20000001;

// Opens a path for reading and writing, shared with other openers, and makes the caller the one
// holder of the device among our programs until hidClose or the end of the process: meanwhile
// every other hidOpenPath of the device, from this process or another, fails with
// HID_ERROR_IN_USE. Programs of others are neither kept out nor counted as holders (one that
// holds the device without sharing makes the open fail with the system's code). Returns
// HID_INVALID_HANDLE on failure (hidLastError tells why).
HidHandle hidOpenPath(const wchar_t *path);

// The device's USB vendor and product ID. Returns false when they cannot be read.
bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId);

// The lengths in bytes, report ID included, of the device's input and output reports.
// Returns false when they cannot be read. The caller judges whether they are usable.
bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength);

// A write that the device has not taken after this long fails.
constexpr uint32_t HID_WRITE_TIMEOUT_MS = 10000;

// Writes one output report of length bytes; report[0] is the report ID. Returns false on
// failure. Blocks until the report is handed to the device, at most HID_WRITE_TIMEOUT_MS.
bool hidWrite(HidHandle handle, const uint8_t *report, size_t length);

// Reads one input report of at most length bytes into report; report[0] receives the report
// ID. Waits at most timeoutMs milliseconds. Returns false when the read fails, the device
// has gone, or no report arrives in time; a report that arrives after a timeout is never
// delivered to a later read.
bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t timeoutMs);

// Closes a handle from hidOpenPath. HID_INVALID_HANDLE is ignored.
void hidClose(HidHandle handle);

// The system error code of the calling thread's operation that failed last: each thread that
// exchanges with a unit of its own sees only its own operations' codes (GetLastError on Windows,
// errno on Linux, the injected code in the simulator), taken when it failed, so that the cleanup
// after it cannot change it. A successful hidWrite or hidRead sets it to 0: a reply that the unit
// answers with a refusal after a good exchange comes with 0, never with the code of an older
// failure (a device that the search could not open, a timeout of an earlier run). Shown to the
// user; the only code acted on is HID_ERROR_IN_USE, which the search counts.
uint32_t hidLastError();
