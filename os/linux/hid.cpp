// HID operations on Linux: hidraw device nodes, listed through libudev.
#include "link/hid.h"

#include "os/linux/hid_paths.h"
#include "os/linux/report_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ctime>

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A snapshot of the hidraw device nodes, in natural order of their names.
struct HidList {
    wchar_t **paths;
    uint32_t count;
};

// Captured where an operation fails, so that the calls that follow (closing, freeing) cannot
// overwrite the reason before it is shown; a successful write or read clears it. Each thread
// (each unit updated at once) has its own.
static thread_local uint32_t lastError = 0;

static void failWith(int code) {
    lastError = static_cast<uint32_t>(code);
}

static bool fdOf(HidHandle handle, int *fd) {
    if (handle < 0 || handle > INT_MAX) {
        failWith(EBADF);
        return false;
    }
    *fd = static_cast<int>(handle);
    return true;
}

static void freePaths(char **paths, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        std::free(paths[i]);
    }
    std::free(paths);
}

// Collects the device nodes of the hidraw subsystem into a newly allocated array of
// newly allocated strings. Devices without a node are left out.
static bool collectNodes(struct udev *udev, char ***nodes, uint32_t *count) {
    struct udev_enumerate *enumerate = udev_enumerate_new(udev);
    if (enumerate == nullptr) {
        failWith(errno != 0 ? errno : ENOMEM);
        return false;
    }
    char **found = nullptr;
    uint32_t used = 0;
    uint32_t capacity = 0;
    bool ok = udev_enumerate_add_match_subsystem(enumerate, "hidraw") >= 0 &&
              udev_enumerate_scan_devices(enumerate) >= 0;
    if (!ok) {
        failWith(errno != 0 ? errno : EIO);
    }
    struct udev_list_entry *entry = ok ? udev_enumerate_get_list_entry(enumerate) : nullptr;
    for (; ok && entry != nullptr; entry = udev_list_entry_get_next(entry)) {
        struct udev_device *device =
            udev_device_new_from_syspath(udev, udev_list_entry_get_name(entry));
        if (device == nullptr) {
            continue; // gone since the scan
        }
        const char *node = udev_device_get_devnode(device);
        if (node != nullptr) {
            if (used == capacity) {
                uint32_t grown = capacity == 0 ? 8 : capacity * 2;
                void *larger = std::realloc(found, grown * sizeof *found);
                if (larger != nullptr) {
                    found = static_cast<char **>(larger);
                    capacity = grown;
                }
            }
            char *copy = used < capacity ? strdup(node) : nullptr;
            if (copy != nullptr) {
                found[used++] = copy;
            } else {
                failWith(ENOMEM);
                ok = false;
            }
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
    if (!ok) {
        freePaths(found, used);
        return false;
    }
    *nodes = found;
    *count = used;
    return true;
}

// Widens the sorted node names into the list; the narrow names stay with the caller.
static HidList *makeList(char **nodes, uint32_t count) {
    HidList *list = static_cast<HidList *>(std::calloc(1, sizeof(HidList)));
    wchar_t **paths = static_cast<wchar_t **>(std::calloc(count == 0 ? 1 : count, sizeof *paths));
    if (list == nullptr || paths == nullptr) {
        std::free(list);
        std::free(paths);
        failWith(ENOMEM);
        return nullptr;
    }
    list->paths = paths;
    for (uint32_t i = 0; i < count; ++i) {
        size_t size = std::strlen(nodes[i]) + 1;
        wchar_t *wide = static_cast<wchar_t *>(std::malloc(size * sizeof(wchar_t)));
        if (wide == nullptr) {
            hidCloseList(list);
            failWith(ENOMEM);
            return nullptr;
        }
        widenPath(nodes[i], wide, size);
        list->paths[list->count++] = wide;
    }
    return list;
}

HidList *hidOpenList() {
    errno = 0;
    struct udev *udev = udev_new();
    if (udev == nullptr) {
        failWith(errno != 0 ? errno : ENOMEM);
        return nullptr;
    }
    char **nodes = nullptr;
    uint32_t count = 0;
    HidList *list = nullptr;
    if (collectNodes(udev, &nodes, &count)) {
        // The scan's own order follows sysfs; sorting keeps "the first unit" the same from one
        // search to the next.
        std::sort(nodes, nodes + count, nodeNameBefore);
        list = makeList(nodes, count);
        freePaths(nodes, count);
    }
    udev_unref(udev);
    return list;
}

void hidCloseList(HidList *list) {
    if (list == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        std::free(list->paths[i]);
    }
    std::free(list->paths);
    std::free(list);
}

bool hidListHas(HidList *list, uint32_t index) {
    return list != nullptr && index < list->count;
}

size_t hidPathSize(HidList *list, uint32_t index) {
    if (!hidListHas(list, index)) {
        return 0;
    }
    return std::wcslen(list->paths[index]) + 1;
}

bool hidGetPath(HidList *list, uint32_t index, wchar_t *path, size_t size) {
    size_t needed = hidPathSize(list, index);
    if (needed == 0 || path == nullptr || size < needed) {
        failWith(EINVAL);
        return false;
    }
    std::wmemcpy(path, list->paths[index], needed);
    return true;
}

HidHandle hidOpenPath(const wchar_t *path) {
    char narrow[PATH_MAX];
    if (path == nullptr || !narrowPath(path, narrow, sizeof narrow)) {
        failWith(EINVAL);
        return HID_INVALID_HANDLE;
    }
    // Shared with programs of others, as on the other platform. Closed on exec so that a program
    // started from the window does not inherit the unit.
    int fd = open(narrow, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        failWith(errno);
        return HID_INVALID_HANDLE;
    }
    // Held by one of our programs at a time: hidraw hands every open file its own copy of each
    // reply, so a second program would answer its commands with ours. The lock belongs to the
    // open file and goes with its close, also when the program dies.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            lastError = HID_ERROR_IN_USE;
        } else {
            failWith(error);
        }
        return HID_INVALID_HANDLE;
    }
    return fd;
}

bool hidGetAttributes(HidHandle handle, uint16_t *vendorId, uint16_t *productId) {
    int fd = -1;
    if (!fdOf(handle, &fd)) {
        return false;
    }
    struct hidraw_devinfo info = {};
    if (ioctl(fd, HIDIOCGRAWINFO, &info) < 0) {
        failWith(errno);
        return false;
    }
    // The kernel hands the IDs over as signed 16-bit values.
    *vendorId = static_cast<uint16_t>(info.vendor);
    *productId = static_cast<uint16_t>(info.product);
    return true;
}

bool hidGetReportLengths(HidHandle handle, uint32_t *inputLength, uint32_t *outputLength) {
    int fd = -1;
    if (!fdOf(handle, &fd)) {
        return false;
    }
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0) {
        failWith(errno);
        return false;
    }
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        failWith(EBADMSG);
        return false;
    }
    struct hidraw_report_descriptor descriptor = {};
    descriptor.size = static_cast<uint32_t>(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        failWith(errno);
        return false;
    }
    if (!reportLengthsFromDescriptor(descriptor.value, descriptor.size, inputLength,
                                     outputLength)) {
        failWith(EBADMSG);
        return false;
    }
    return true;
}

// hidraw keeps every input report in a queue of its own until it is read, so a reply that came
// after its read gave up would otherwise answer the next command. The unit sends nothing
// unasked, so whatever waits before a command is written is stale.
static void discardPendingReports(int fd) {
    // hidraw queues at most 64 reports; the bound keeps a device that never stops talking from
    // holding the write up.
    for (int i = 0; i < 64; ++i) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0 || (ready.revents & POLLIN) == 0 ||
            (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;
        }
        uint8_t scratch[64];
        if (read(fd, scratch, sizeof scratch) <= 0) {
            return;
        }
    }
}

bool hidWrite(HidHandle handle, const uint8_t *report, size_t length) {
    int fd = -1;
    if (!fdOf(handle, &fd)) {
        return false;
    }
    if (report == nullptr || length == 0) {
        failWith(EINVAL);
        return false;
    }
    discardPendingReports(fd);
    // hidraw takes one whole report per write, report ID first, and does not raise SIGPIPE.
    ssize_t written;
    do {
        written = write(fd, report, length);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        failWith(errno);
        return false;
    }
    if (static_cast<size_t>(written) != length) {
        failWith(EIO);
        return false;
    }
    lastError = 0;
    return true;
}

static uint64_t monotonicNanoseconds() {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// Milliseconds left until the deadline, rounded up so that the wait is never cut short, and
// capped at what poll takes in one call.
static int millisecondsUntil(uint64_t deadline) {
    uint64_t now = monotonicNanoseconds();
    if (now >= deadline) {
        return 0;
    }
    uint64_t left = (deadline - now + 999999) / 1000000;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

bool hidRead(HidHandle handle, uint8_t *report, size_t length, uint32_t timeoutMs) {
    int fd = -1;
    if (!fdOf(handle, &fd)) {
        return false;
    }
    if (report == nullptr || length == 0) {
        failWith(EINVAL);
        return false;
    }
    uint64_t deadline = monotonicNanoseconds() + uint64_t{timeoutMs} * 1000000;
    for (;;) {
        struct pollfd ready = {fd, POLLIN, 0};
        int events = poll(&ready, 1, millisecondsUntil(deadline));
        if (events < 0) {
            if (errno == EINTR) {
                continue;
            }
            failWith(errno);
            return false;
        }
        if (events == 0) {
            if (millisecondsUntil(deadline) > 0) {
                continue; // a wait longer than one poll call takes
            }
            failWith(ETIMEDOUT);
            return false;
        }
        // A removed device reports hang-up and error; what it still had queued is worthless.
        if ((ready.revents & POLLNVAL) != 0) {
            failWith(EBADF);
            return false;
        }
        if ((ready.revents & (POLLERR | POLLHUP)) != 0) {
            failWith(ENODEV);
            return false;
        }
        // One read takes one whole report, cut to length if longer. The unit numbers its
        // reports, so the report ID comes first as on the other platform (hidraw leaves the ID
        // out only for devices without numbered reports).
        ssize_t got = read(fd, report, length);
        if (got > 0) {
            lastError = 0;
            return true;
        }
        if (got == 0) {
            failWith(ENODEV);
            return false;
        }
        if (errno != EINTR && errno != EAGAIN) {
            failWith(errno);
            return false;
        }
    }
}

// Leaves the last error alone: closing follows a failure, whose code is still to be shown. The
// lock that hidOpenPath took goes with the descriptor.
void hidClose(HidHandle handle) {
    if (handle >= 0 && handle <= INT_MAX) {
        close(static_cast<int>(handle));
    }
}

uint32_t hidLastError() {
    return lastError;
}
