// The transfer allocates nothing, and its progress holds for images past 42.9 MB.
#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/status.h"
#include "app/update.h"
#include "tests/app/quiet_unit.h"
#include "tests/support/recording_ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

// With --wrap, these reach the C library's allocator itself.
extern "C" {
void *__real_malloc(std::size_t size);
void *__real_calloc(std::size_t count, std::size_t size);
void *__real_realloc(void *memory, std::size_t size);
}

namespace {
std::atomic<bool> gCounting{false};
std::atomic<uint64_t> gAllocations{0};

void *counted(std::size_t size) {
    if (gCounting) {
        ++gAllocations;
    }
    void *memory = __real_malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}
} // namespace

void *operator new(std::size_t size) {
    return counted(size);
}
void *operator new[](std::size_t size) {
    return counted(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (gCounting) {
        ++gAllocations;
    }
    return __real_malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    if (gCounting) {
        ++gAllocations;
    }
    return __real_malloc(size == 0 ? 1 : size);
}
void operator delete(void *memory) noexcept {
    std::free(memory);
}
void operator delete[](void *memory) noexcept {
    std::free(memory);
}
void operator delete(void *memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void *memory, std::size_t) noexcept {
    std::free(memory);
}

// malloc and its kin, from every object linked into this test (linked with --wrap).
extern "C" {
void *__wrap_malloc(std::size_t size) {
    if (gCounting) {
        ++gAllocations;
    }
    return __real_malloc(size);
}
void *__wrap_calloc(std::size_t count, std::size_t size) {
    if (gCounting) {
        ++gAllocations;
    }
    return __real_calloc(count, size);
}
void *__wrap_realloc(void *memory, std::size_t size) {
    if (gCounting) {
        ++gAllocations;
    }
    return __real_realloc(memory, size);
}
}

namespace {

class Transfer : public ::testing::Test {
  protected:
    void SetUp() override {
        appReset(&gUnit);
        resetRecordingUi();
        resetQuietUnit();
        setMessageLanguage(LANGUAGE_ENGLISH);
        classifyConnection(&gUnit, TRIGGER_STARTUP);
        ASSERT_TRUE(isUnitOpen(&gUnit.connection));
        scriptAnswers({true});
    }
    void TearDown() override {
        setCallHook(nullptr);
        appReset(&gUnit);
    }
};

TEST_F(Transfer, loop_allocates) {
    std::vector<uint8_t> image(97808 + 2, 0x3C); // and a partial final block
    setImage(image.data(), image.size());
    // The window from the progress window's creation to its removal is the transfer loop.
    setCallHook([](const UiCall &call) {
        if (call.op == UI_CREATE_PROGRESS) {
            gCounting = true;
        } else if (call.op == UI_DESTROY_PROGRESS) {
            gCounting = false;
        }
    });
    // Prove that the counter sees an allocation inside the window.
    gCounting = true;
    delete new int(1);
    ASSERT_EQ(gAllocations.load(), 1u);
    void *volatile probe = std::malloc(8);
    std::free(probe);
    ASSERT_EQ(gAllocations.load(), 2u);
    gCounting = false;
    gAllocations = 0;

    runUpdate(&gUnit);
    EXPECT_EQ(gAllocations.load(), 0u);
    EXPECT_EQ(quietBlocks(), 2038u); // 2,037 whole blocks and one of 34 bytes
    EXPECT_EQ(uiStatusText(), catalogueText(MSG_UPDATE_SUCCEEDED, LANGUAGE_ENGLISH));
}

TEST_F(Transfer, progress_wraps_on_large_image) {
    // (total - left) * 100 passes 32 bits after 42,949,673 bytes.
    const size_t length = 43000000;
    std::vector<uint8_t> image(length, 0x11);
    setImage(image.data(), image.size());
    setTranscriptEnabled(false);
    uint32_t previous = 0;
    uint64_t calls = 0;
    bool monotonic = true;
    setCallHook([&](const UiCall &call) {
        if (call.op == UI_SET_PROGRESS) {
            uint32_t percent = static_cast<uint32_t>(call.value);
            monotonic = monotonic && percent >= previous && percent <= 100;
            previous = percent;
            ++calls;
        }
    });
    runUpdate(&gUnit);
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(previous, 100u);
    EXPECT_EQ(calls, 1u + (length + 47) / 48);
    EXPECT_EQ(quietPauseTotal(), 4u * 20u + 1000u + 4000u + 20u * ((length + 47) / 48));
}

} // namespace
