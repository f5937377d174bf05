// Between the core in the worker and the page: the JavaScript half is web/worker.js.
#include "web/bridge.h"

#include <emscripten.h>

#include <cstring>

namespace {
// clang-format off
EM_ASYNC_JS(int, webWaitStart, (char *language, size_t capacity), {
    await webPage.started;
    const tag = Array.from(String(webPage.start.language || "")).filter((ch) => ch >= " " && ch <= "~");
    const bytes = new TextEncoder().encode(tag.join("").slice(0, capacity - 1));
    HEAPU8.set(bytes, language);
    HEAPU8[language + bytes.length] = 0;
    return webPage.start.webHid ? 1 : 0;
});

EM_JS(int, webWatch, (), { return webPage.watchDevices() ? 1 : 0; });

EM_ASYNC_JS(int, webNext, (char *kind, size_t kindCapacity, int *answer, wchar_t *path,
                          size_t capacity), {
    const item = await webPage.next();
    const name = new TextEncoder().encode(item.kind.slice(0, kindCapacity - 1));
    HEAPU8.set(name, kind);
    HEAPU8[kind + name.length] = 0;
    HEAP32[answer >> 2] = item.value || 0;
    webPage.writeWide(item.path || "", path, capacity);
    return 1;
});

EM_ASYNC_JS(int, webLockUnits, (int wait), { return await webPage.lock(wait !== 0); });

EM_JS(void, webUnlockUnits, (), { webPage.unlock(); });

EM_JS(void, webHello, (const char *language, int workerHasHid, int vendorId,
                       const uint16_t *productIds, size_t productCount), {
    const filters = [];
    for (let i = 0; i < productCount; ++i) {
        filters.push({vendorId, productId: HEAPU16[(productIds >> 1) + i]});
    }
    postMessage({hello: {language: webPage.utf8(language), webHid: workerHasHid !== 0, filters}});
});

EM_JS(void, webText, (const char *kind, const wchar_t *text), {
    postMessage({[webPage.utf8(kind)]: webPage.wide(text)});
});

EM_JS(void, webFlag, (const char *kind, int on), {
    postMessage({[webPage.utf8(kind)]: on !== 0});
});

EM_JS(void, webNumber, (const char *kind, uint32_t number), {
    postMessage({[webPage.utf8(kind)]: number});
});

EM_JS(void, webLabels, (const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc), {
    postMessage({labels: [webPage.wide(unit), webPage.wide(bootloader), webPage.wide(esc)]});
});

EM_JS(void, webVersions, (const wchar_t *label, const wchar_t *unit, const wchar_t *bootloader,
                          const wchar_t *esc), {
    postMessage({versions: {unitLabel: label === 0 ? null : webPage.wide(label),
                            unit: webPage.wide(unit), bootloader: webPage.wide(bootloader),
                            esc: webPage.wide(esc)}});
});

EM_JS(void, webBox, (const char *kind, const wchar_t *caption, const wchar_t *text), {
    postMessage({box: {kind: webPage.utf8(kind), caption: webPage.wide(caption),
                       text: webPage.wide(text)}});
});

EM_JS(void, webRecord, (const char *line), { postMessage({record: webPage.utf8(line)}); });
// clang-format on
} // namespace

PageStart webWaitForPage() {
    PageStart start = {};
    start.pageHasHid = webWaitStart(start.language, sizeof start.language) != 0;
    return start;
}

bool webWatchDevices() {
    return webWatch() != 0;
}

void webNextItem(InboxItem *item) {
    // The inbox names its items (web/worker.js); anything else is an answer that came too late.
    static constexpr struct {
        const char *name;
        InboxKind kind;
    } KINDS[] = {{"update", INBOX_UPDATE},
                 {"arrival", INBOX_ARRIVAL},
                 {"removal", INBOX_REMOVAL},
                 {"answer", INBOX_ANSWER}};
    char name[16];
    int answer = 0;
    webNext(name, sizeof name, &answer, item->path, DEVICE_PATH_CAPACITY);
    item->kind = INBOX_ANSWER;
    for (const auto &known : KINDS) {
        if (std::strcmp(name, known.name) == 0) {
            item->kind = known.kind;
        }
    }
    item->answer = answer != 0;
}

bool webLock(bool wait) {
    return webLockUnits(wait ? 1 : 0) != 0;
}

void webUnlock() {
    webUnlockUnits();
}

void webPostHello(const char *language, bool workerHasHid, uint16_t vendorId,
                  const uint16_t *productIds, size_t productCount) {
    webHello(language, workerHasHid ? 1 : 0, vendorId, productIds, productCount);
}

void webPostText(const char *kind, const wchar_t *text) {
    webText(kind, text);
}

void webPostFlag(const char *kind, bool on) {
    webFlag(kind, on ? 1 : 0);
}

void webPostNumber(const char *kind, uint32_t number) {
    webNumber(kind, number);
}

void webPostLabels(const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc) {
    webLabels(unit, bootloader, esc);
}

void webPostVersions(const VersionTexts *texts) {
    webVersions(texts->unitLabel, texts->unit, texts->bootloader, texts->esc);
}

void webPostBox(BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    // The page's names of the boxes (web/page.js).
    const char *name = "inform";
    switch (kind) {
    case BOX_INFORM:
        name = "inform";
        break;
    case BOX_ASK_OK_CANCEL:
        name = "okCancel";
        break;
    case BOX_ASK_YES_NO:
        name = "yesNo";
        break;
    case BOX_ERROR:
        name = "error";
        break;
    }
    webBox(name, caption, text);
}

void webPostRecord(const char *line) {
    webRecord(line);
}
