// The simulator build's one programming unit, as the Wine tests address it too.
#pragma once

// The interface path of the simulated TALOMIR, in the form SetupAPI reports HID interfaces.
constexpr wchar_t SIM_UNIT_PATH[] =
    L"\\\\?\\hid#vid_3a7c&pid_0002#7&2f1c5a3e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
