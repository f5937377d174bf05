// Pure rules of the GTK program: the logo's size and the mapping of udev events.
#include "gtk/gtk_program.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogoSize, room_and_bitmap_limit_the_logo) {
    struct Case {
        int dialogRight, groupRight, width, height;
    };
    const Case cases[] = {
        {300, 255, 0, 0},      // no room left: nothing drawn
        {300, 280, -25, 0},    // negative room: nothing drawn
        {743, 255, 443, 65},   // 443 / 1772 * 263 = 65.75, truncated
        {5000, 255, 886, 131}, // never wider than half the bitmap
        {1186, 255, 886, 131}, // exactly half
    };
    for (const Case &c : cases) {
        LogoSize size = logoSize(c.dialogRight, c.groupRight, 1772, 263);
        EXPECT_EQ(size.width, c.width) << c.dialogRight;
        if (c.width > 0) {
            EXPECT_EQ(size.height, c.height) << c.dialogRight;
        } else {
            EXPECT_LE(size.height, 0) << c.dialogRight;
        }
    }
}

TEST(DeviceEventMapping, udev_events_map_to_portable_record) {
    struct Case {
        const char *action;
        const char *subsystem;
        const char *node;
        DeviceEventKind kind;
        bool isInterface;
        const wchar_t *path;
    };
    const Case cases[] = {
        {"add", "hidraw", "/dev/hidraw0", DEVICE_ARRIVAL, true, L"/dev/hidraw0"},
        {"remove", "hidraw", "/dev/hidraw12", DEVICE_REMOVE_COMPLETE, true, L"/dev/hidraw12"},
        {"change", "hidraw", "/dev/hidraw0", DEVICE_OTHER, true, L"/dev/hidraw0"},
        {"bind", "hidraw", "/dev/hidraw0", DEVICE_OTHER, true, L"/dev/hidraw0"},
        {nullptr, "hidraw", "/dev/hidraw0", DEVICE_OTHER, true, L"/dev/hidraw0"},
        {"add", "input", "/dev/input/event3", DEVICE_ARRIVAL, false, L""},
        {"remove", nullptr, "/dev/hidraw0", DEVICE_REMOVE_COMPLETE, false, L""},
        {"remove", "hidraw", nullptr, DEVICE_REMOVE_COMPLETE, true, L""},
        // Bytes above 0x7F widen to the same value, as the hidraw backend stores paths.
        {"remove", "hidraw", "/dev/hid\xc3\xa9", DEVICE_REMOVE_COMPLETE, true, L"/dev/hid\xc3\xa9"},
    };
    for (const Case &c : cases) {
        DeviceEvent event = deviceEventFromUdev(c.action, c.subsystem, c.node);
        EXPECT_EQ(event.kind, c.kind) << (c.action ? c.action : "(null)");
        EXPECT_EQ(event.isDeviceInterface, c.isInterface) << (c.node ? c.node : "(null)");
        EXPECT_STREQ(event.path, c.path) << (c.node ? c.node : "(null)");
    }
    std::string longNode = "/dev/" + std::string(DEVICE_PATH_CAPACITY, 'x');
    DeviceEvent cut = deviceEventFromUdev("remove", "hidraw", longNode.c_str());
    EXPECT_STREQ(cut.path, L"") << "a cut path could match another interface";
}

} // namespace
