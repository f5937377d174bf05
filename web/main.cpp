// The updater in the browser: the core and the page's front end, in the page's dedicated worker.
//
// One unit, as in the window programs. The worker waits for the page to start it, tells the page
// the language and the units to ask the browser for, starts up, and then handles the inbox one
// item at a time: a click on Update, or a unit that arrived or left.
#include "app/mainwindow.h"
#include "app/messages.h"
#include "link/connection.h"
#include "web/bridge.h"
#include "web/frontend.h"

namespace {
UnitContext gUnit;

// The units that the page asks the browser for, by USB vendor and product ID.
constexpr uint16_t UNIT_PRODUCTS[] = {PRODUCT_ID_MERIVAN, PRODUCT_ID_TALOMIR};
} // namespace

int main() {
    PageStart start = webWaitForPage();
    setMessageLanguage(languageFromTag(start.language));
    bool workerHasHid = webWatchDevices();
    webPostHello(messageLanguage() == LANGUAGE_GERMAN ? "de" : "en",
                 start.pageHasHid && workerHasHid, UNIT_VENDOR_ID, UNIT_PRODUCTS,
                 sizeof UNIT_PRODUCTS / sizeof UNIT_PRODUCTS[0]);
    webAttachFrontEnd(&gUnit);
    appReset(&gUnit);
    webStartUp(&gUnit);
    for (;;) {
        InboxItem item;
        webNextItem(&item);
        switch (item.kind) {
        case INBOX_UPDATE:
            webUpdate(&gUnit);
            break;
        case INBOX_ARRIVAL:
        case INBOX_REMOVAL:
            webDeviceEvent(&gUnit, &item);
            break;
        case INBOX_ANSWER:
            // The answer of a box that is no longer open.
            break;
        }
    }
}
