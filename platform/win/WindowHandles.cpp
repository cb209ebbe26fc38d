#include "platform/win/WindowHandles.h"

#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace {

// Handles are numbers that are never reused, so a stale handle never names a newer window.
struct HandleTable {
    std::mutex mutex;
    std::unordered_set<uintptr_t> live;
    uintptr_t next = 0x10000;
};

HandleTable& Table() {
    static HandleTable* pTable = new HandleTable; // outlives every static window object
    return *pTable;
}

} // namespace

HWND ZqkCreateWindowHandle() {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    uintptr_t n = t.next;
    t.next += 4; // handles look like Windows ones: never odd, never small
    t.live.insert(n);
    return reinterpret_cast<HWND>(n);
}

BOOL DestroyWindow(HWND hWnd) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.live.erase(reinterpret_cast<uintptr_t>(hWnd)) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hWnd) {
    if (hWnd == nullptr)
        return FALSE;
    HandleTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.live.count(reinterpret_cast<uintptr_t>(hWnd)) ? TRUE : FALSE;
}
