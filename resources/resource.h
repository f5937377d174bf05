/* Resource and control IDs, shared by the resource script and the C++ code. */
#pragma once

#define IDD_MAIN 110
#define IDB_LOGO 121
#define IDI_APP 123
#define IDR_FIRMWARE 142

/* Controls of the main dialog, in template order; layout.json places them. */
/* Close is the dialog manager's Cancel command, so that Esc and the close box act like it.
   Windows defines IDCANCEL; elsewhere it is given here with the same value. */
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#define IDC_UPDATE 1002
#define IDC_LABEL_UNIT 40010
#define IDC_LABEL_BOOTLOADER 1005
#define IDC_VERSION_UNIT 40013
#define IDC_VERSION_BOOTLOADER 40014
#define IDC_STATUS 40004
#define IDC_GROUP_VERSIONS 40007
#define IDC_LABEL_ESC 40011
#define IDC_VERSION_ESC 40015
#define IDC_HINT -1 /* the caption above the status box, a static without ID */
