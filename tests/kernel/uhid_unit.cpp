// Kernel HID devices made through /dev/uhid, the unit's answered by the simulated unit.
#include "tests/kernel/uhid_unit.h"

#include "link/connection.h"
#include "link/frames.h"
#include "sim/sim.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

std::mutex gUhidUnitMutex;

// Vendor page, one application collection: output report 0x01 and input report 0x02, each of
// 59 bytes after its report ID.
// clang-format off
static const uint8_t UNIT_DESCRIPTOR[] = {
    0x06, 0x00, 0xFF,        // usage page (vendor 0xFF00)
    0x09, 0x01,              // usage 1
    0xA1, 0x01,              // collection (application)
    0x15, 0x00,              //   logical minimum 0
    0x26, 0xFF, 0x00,        //   logical maximum 255
    0x75, 0x08,              //   report size 8
    0x85, REPORT_ID_COMMAND, //   report ID 0x01
    0x95, 0x3B,              //   report count 59
    0x09, 0x02,              //   usage 2
    0x91, 0x02,              //   output (data, variable, absolute)
    0x85, REPORT_ID_REPLY,   //   report ID 0x02
    0x95, 0x3B,              //   report count 59
    0x09, 0x03,              //   usage 3
    0x81, 0x02,              //   input (data, variable, absolute)
    0xC0,                    // end collection
};
// clang-format on

// Another vendor device without report IDs: 8 bytes in, 8 bytes out.
static const uint8_t OTHER_DESCRIPTOR[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, 0xC0,
};

static int gUnitFd = -1;
static int gOtherFd = -1;
static std::thread gServer;
static std::atomic<bool> gStopServer{false};

// Guarded by gUhidUnitMutex.
static UhidUnitBehaviour gBehaviour = {0, false};
static UhidUnitTraffic gTraffic = {};
static std::vector<uint8_t> gHeldReport;

static bool sendEvent(int fd, const uhid_event &event) {
    ssize_t written;
    do {
        written = write(fd, &event, sizeof event);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(sizeof event);
}

static int createDevice(const char *name, uint16_t vendor, uint16_t product,
                        const uint8_t *descriptor, size_t size) {
    int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "uhid: cannot open /dev/uhid: %s\n", std::strerror(errno));
        return -1;
    }
    uhid_event event = {};
    event.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char *>(event.u.create2.name), sizeof event.u.create2.name, "%s",
                  name);
    event.u.create2.rd_size = static_cast<uint16_t>(size);
    event.u.create2.bus = BUS_USB;
    event.u.create2.vendor = vendor;
    event.u.create2.product = product;
    event.u.create2.version = 0x0100;
    std::memcpy(event.u.create2.rd_data, descriptor, size);
    if (!sendEvent(fd, event)) {
        std::fprintf(stderr, "uhid: cannot create %s: %s\n", name, std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

static void destroyDevice(int *fd) {
    if (*fd < 0) {
        return;
    }
    uhid_event event = {};
    event.type = UHID_DESTROY;
    sendEvent(*fd, event);
    close(*fd);
    *fd = -1;
}

// Called with gUhidUnitMutex held.
static bool sendReply(int fd, const uint8_t *reply) {
    uhid_event event = {};
    event.type = UHID_INPUT2;
    event.u.input2.size = FRAME_SIZE;
    std::memcpy(event.u.input2.data, reply, FRAME_SIZE);
    return sendEvent(fd, event);
}

// Called with gUhidUnitMutex held. One output report: count it, then destroy, hold or answer.
static void takeOutput(const uint8_t *data, size_t size) {
    ++gTraffic.reports;
    if (size == 0 || data[0] != REPORT_ID_COMMAND) {
        ++gTraffic.withoutReportId;
    }
    if (size != FRAME_SIZE) {
        ++gTraffic.wrongSize;
    }
    if (gBehaviour.destroyAtReport != 0 && gTraffic.reports == gBehaviour.destroyAtReport) {
        destroyDevice(&gUnitFd);
        gTraffic.destroyed = true;
        return;
    }
    if (gBehaviour.silent) {
        gHeldReport.assign(data, data + size);
        return;
    }
    uint8_t reply[FRAME_SIZE];
    simUnitHandle(data, size, reply);
    if (!sendReply(gUnitFd, reply)) {
        std::fprintf(stderr, "uhid: cannot deliver a reply: %s\n", std::strerror(errno));
    }
}

// The kernel waits for an answer to these; refusing at once keeps it from waiting seconds.
static void refuseRequest(int fd, const uhid_event &request) {
    uhid_event event = {};
    if (request.type == UHID_GET_REPORT) {
        event.type = UHID_GET_REPORT_REPLY;
        event.u.get_report_reply.id = request.u.get_report.id;
        event.u.get_report_reply.err = EIO;
    } else {
        event.type = UHID_SET_REPORT_REPLY;
        event.u.set_report_reply.id = request.u.set_report.id;
        event.u.set_report_reply.err = EIO;
    }
    sendEvent(fd, event);
}

// Reads one event from a device; the unit's output reports go to the simulated unit.
static void serveOne(int fd, bool isUnit) {
    uhid_event event = {};
    ssize_t got = read(fd, &event, sizeof event);
    if (got <= 0) {
        return;
    }
    switch (event.type) {
    case UHID_OUTPUT:
        if (isUnit) {
            std::lock_guard<std::mutex> lock(gUhidUnitMutex);
            if (event.u.output.rtype != UHID_OUTPUT_REPORT) {
                ++gTraffic.otherReportTypes;
            }
            takeOutput(event.u.output.data, event.u.output.size);
        }
        break;
    case UHID_GET_REPORT:
    case UHID_SET_REPORT:
        if (isUnit) {
            std::lock_guard<std::mutex> lock(gUhidUnitMutex);
            ++gTraffic.otherReportTypes;
        }
        refuseRequest(fd, event);
        break;
    default:
        break; // start, stop, open, close: nothing to do
    }
}

static void serve() {
    while (!gStopServer.load()) {
        int unitFd;
        {
            std::lock_guard<std::mutex> lock(gUhidUnitMutex);
            unitFd = gUnitFd;
        }
        pollfd ready[2] = {{gOtherFd, POLLIN, 0}, {unitFd, POLLIN, 0}};
        if (poll(ready, 2, 20) <= 0) {
            continue;
        }
        if ((ready[0].revents & POLLIN) != 0) {
            serveOne(gOtherFd, false);
        }
        // The unit may have been destroyed by the other thread since the poll began.
        std::unique_lock<std::mutex> lock(gUhidUnitMutex);
        bool current = gUnitFd == unitFd && unitFd >= 0;
        lock.unlock();
        if (current && (ready[1].revents & POLLIN) != 0) {
            serveOne(unitFd, true);
        }
    }
}

static void startServer() {
    gStopServer = false;
    gServer = std::thread(serve);
}

static void stopServer() {
    if (gServer.joinable()) {
        gStopServer = true;
        gServer.join();
    }
}

static bool createUnit() {
    int fd = createDevice("QUILLAR test unit", UNIT_VENDOR_ID, PRODUCT_ID_TALOMIR, UNIT_DESCRIPTOR,
                          sizeof UNIT_DESCRIPTOR);
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    gUnitFd = fd;
    gBehaviour = {0, false};
    gTraffic = {};
    gHeldReport.clear();
    return fd >= 0;
}

bool uhidStart() {
    simResetUnit();
    simClearFaults();
    gOtherFd = createDevice("Other HID device", UHID_OTHER_VENDOR_ID, UHID_OTHER_PRODUCT_ID,
                            OTHER_DESCRIPTOR, sizeof OTHER_DESCRIPTOR);
    if (gOtherFd < 0) {
        return false;
    }
    startServer();
    return true;
}

void uhidStop() {
    stopServer();
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    destroyDevice(&gUnitFd);
    destroyDevice(&gOtherFd);
}

// Called with gUhidUnitMutex held, while the unit is unplugged: what a unit and an ESC that
// lost power keep and forget. The protection set again ends a whole write session and clears
// the erase; an erase still standing means the blocks were cut off.
static void loseSession() {
    if (gSimUnit.erased) {
        simSetEscFirmwareVersion(NO_FIRMWARE_VERSION);
    }
    gSimUnit.systemLock = false;
    gSimUnit.writeProtected = true;
    gSimUnit.erased = false;
    gSimUnit.addressSet = false;
    gSimUnit.writePointer = 0;
}

static bool recreate(bool replugged) {
    stopServer();
    {
        std::lock_guard<std::mutex> lock(gUhidUnitMutex);
        destroyDevice(&gUnitFd);
        if (replugged) {
            loseSession();
        }
    }
    bool created = createUnit();
    startServer();
    return created;
}

bool uhidRecreateUnit() {
    return recreate(false);
}

bool uhidReplugUnit() {
    return recreate(true);
}

void uhidSetBehaviour(const UhidUnitBehaviour &behaviour) {
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    gBehaviour = behaviour;
}

UhidUnitTraffic uhidTraffic() {
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    return gTraffic;
}

bool uhidAnswerHeld() {
    std::lock_guard<std::mutex> lock(gUhidUnitMutex);
    if (gHeldReport.empty() || gUnitFd < 0) {
        return false;
    }
    uint8_t reply[FRAME_SIZE];
    simUnitHandle(gHeldReport.data(), gHeldReport.size(), reply);
    gHeldReport.clear();
    return sendReply(gUnitFd, reply);
}
