// fetch_workers URL CHECKS LIMIT_MS: runs CHECKS fetches of URL one after
// another through the program's WinINet fetch, each with a whole-transfer
// limit of LIMIT_MS. Between checks it idles for twice LIMIT_MS and, half-way,
// prints "check N: OUTCOME; threads T; outlived O", so that the caller can
// look at what the process still holds while nothing runs. O counts the
// threads the check left running when its request was destroyed, the moment
// a program may return from main.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/win32_api.h"
#include "platform/win32/wininet_fetch.h"

#include <tlhelp32.h>

namespace {

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fetch_workers URL CHECKS LIMIT_MS\n");
        return 2;
    }
    const velmora::Text url = velmora::Utf8ToText(argv[1]);
    const int checks = std::atoi(argv[2]);
    const std::chrono::milliseconds limit(std::atoi(argv[3]));
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // The fetch's deadline is a timer of the default queue, whose thread stays
    // once started: start it here, so that the first check is not said to
    // leave it.
    HANDLE warmUp = nullptr;
    CreateTimerQueueTimer(
        &warmUp, nullptr, [](void*, BOOLEAN) {}, nullptr, INFINITE, 0, WT_EXECUTEINTIMERTHREAD);
    DeleteTimerQueueTimer(nullptr, warmUp, INVALID_HANDLE_VALUE);
    for (int check = 1; check <= checks; ++check) {
        const int threadsBefore = ThreadCount();
        auto request = velmora::win32::StartWinInetFetch(
            url, [done] { SetEvent(done); }, limit);
        while (request->Busy()) WaitForSingleObject(done, INFINITE);
        const velmora::Result<velmora::FetchedDocument> document = request->Take();
        const std::string outcome =
            document ? std::to_string(document->body.size()) + " bytes" : document.reason();
        request.reset();
        const int outlived = ThreadCount() - threadsBefore;
        Sleep(static_cast<DWORD>(limit.count()));
        std::printf("check %d: %s; threads %d; outlived %d\n", check, outcome.c_str(), ThreadCount(),
                    outlived);
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(limit.count()));
    }
    CloseHandle(done);
    return 0;
}
