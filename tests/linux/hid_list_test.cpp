// Listing hidraw nodes: their order, their wide names, and a search on this machine.
#include "link/connection.h"
#include "link/frames.h"
#include "link/hid.h"
#include "os/linux/hid_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

TEST(NodeOrder, hidraw10_listed_before_hidraw2) {
    struct Case {
        const char *a;
        const char *b;
        bool before;
    };
    const Case cases[] = {
        {"/dev/hidraw2", "/dev/hidraw10", true},
        {"/dev/hidraw10", "/dev/hidraw2", false},
        {"/dev/hidraw10", "/dev/hidraw10", false},
        {"/dev/hidraw9", "/dev/hidraw10", true},
        {"/dev/hidraw", "/dev/hidraw0", true},
        {"/dev/hidraw02", "/dev/hidraw2", false},
        {"/dev/hidraw2", "/dev/hidraw02", false},
        {"/dev/hidraw1", "/dev/hidrawa", true},
        {"a1b2", "a1b10", true},
        {"a10b2", "a9b10", false},
        {"/dev/hidraw99999999999999999999999", "/dev/hidraw100000000000000000000000", true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(nodeNameBefore(c.a, c.b), c.before) << c.a << " before " << c.b;
    }
    std::vector<const char *> nodes = {"/dev/hidraw10", "/dev/hidraw1", "/dev/hidraw2",
                                       "/dev/hidraw0", "/dev/hidraw11"};
    std::sort(nodes.begin(), nodes.end(), nodeNameBefore);
    std::vector<std::string> sorted(nodes.begin(), nodes.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2",
                                                "/dev/hidraw10", "/dev/hidraw11"}));
}

TEST(NodePaths, path_bytes_changed_by_wide_round_trip) {
    char narrow[256];
    for (int i = 1; i < 256; ++i) {
        narrow[i - 1] = static_cast<char>(i);
    }
    narrow[255] = '\0';
    wchar_t wide[256];
    ASSERT_TRUE(widenPath(narrow, wide, 256));
    EXPECT_EQ(wide[0x7F], wchar_t{0x80});
    char back[256];
    ASSERT_TRUE(narrowPath(wide, back, 256));
    EXPECT_EQ(std::memcmp(narrow, back, 256), 0);

    EXPECT_FALSE(widenPath("/dev/hidraw1", wide, 12)) << "no room for the terminating zero";
    EXPECT_TRUE(widenPath("/dev/hidraw1", wide, 13));
    EXPECT_FALSE(narrowPath(L"/dev/hidraw1", back, 12)) << "no room for the terminating zero";
    const wchar_t beyondBytes[] = {L'x', wchar_t{0x100}, L'\0'};
    EXPECT_FALSE(narrowPath(beyondBytes, back, sizeof back));
}

// The hidraw nodes present, in the order the list must give them.
std::vector<std::wstring> hidrawNodes() {
    std::vector<std::string> names;
    if (DIR *dev = opendir("/dev")) {
        while (dirent *entry = readdir(dev)) {
            if (std::strncmp(entry->d_name, "hidraw", 6) == 0) {
                names.push_back(std::string("/dev/") + entry->d_name);
            }
        }
        closedir(dev);
    }
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return nodeNameBefore(a.c_str(), b.c_str());
    });
    std::vector<std::wstring> wide;
    for (const std::string &name : names) {
        wide.emplace_back(name.begin(), name.end());
    }
    return wide;
}

// Also runs on machines without any hidraw node, where the list is empty but still a list.
TEST(HidList, present_nodes_missing_or_out_of_order) {
    std::vector<std::wstring> expected = hidrawNodes();
    HidList *list = hidOpenList();
    ASSERT_NE(list, nullptr) << "no list of hidraw nodes; errno " << hidLastError();
    std::vector<std::wstring> listed;
    for (uint32_t index = 0; hidListHas(list, index); ++index) {
        size_t size = hidPathSize(list, index);
        ASSERT_GT(size, 1u);
        std::vector<wchar_t> path(size, L'?');
        EXPECT_FALSE(hidGetPath(list, index, path.data(), size - 1)) << "path does not fit";
        ASSERT_TRUE(hidGetPath(list, index, path.data(), size));
        EXPECT_EQ(path[size - 1], L'\0');
        listed.emplace_back(path.data());
    }
    uint32_t count = static_cast<uint32_t>(listed.size());
    EXPECT_EQ(hidPathSize(list, count), 0u);
    wchar_t past[64];
    EXPECT_FALSE(hidGetPath(list, count, past, 64));
    hidCloseList(list);
    EXPECT_EQ(listed, expected);
    hidCloseList(nullptr);
}

// A machine with a unit attached finds it; this machine has none.
TEST(HidList, search_without_unit_finds_one) {
    UnitConnection connection = CLEARED_CONNECTION;
    EXPECT_EQ(openUnit(&connection), LINK_NO_DEVICE);
    EXPECT_EQ(connection.handle, HID_INVALID_HANDLE);
    EXPECT_EQ(connection.devicePath, nullptr);
    EXPECT_EQ(connection.productId, 0);
}

} // namespace
