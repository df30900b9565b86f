#include "MainWindowWatch.h"

namespace vxhost {

namespace {

const DWORD kPeriodMs = 50;
// A probe gives up waiting after this long and another goes at once, so that the watcher can stop.
const UINT kProbeMs = 250;

long long NowMs() {
    static const long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000 / frequency;
}

DWORD WINAPI WatchThread(void* self) {
    static_cast<MainWindowWatch*>(self)->RunLoop();
    return 0;
}

}  // namespace

MainWindowWatch::MainWindowWatch(HWND window) : window_(window) {
    longest_.watched = window_ != nullptr;
    if (!window_) return;
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_) thread_ = CreateThread(nullptr, 0, WatchThread, this, 0, nullptr);
    longest_.watched = thread_ != nullptr;
}

MainWindowWatch::~MainWindowWatch() {
    if (thread_) {
        SetEvent(stop_);
        // The watcher may be waiting for this thread to answer.
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(thread_);
    }
    if (stop_) CloseHandle(stop_);
}

void MainWindowWatch::RunLoop() {
    bool unanswered = false;
    while (WaitForSingleObject(stop_, unanswered ? 0 : kPeriodMs) == WAIT_TIMEOUT) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!pending_) {
                pending_ = true;
                since_ = NowMs();
                sinceLine_ = line_;
            }
        }
        DWORD_PTR result = 0;
        unanswered = !SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kProbeMs, &result);
        if (!unanswered) {
            Answered(NowMs());
        } else if (!IsWindow(window_)) {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = false;  // a window gone is no window that went unanswered
            return;
        }
    }
}

void MainWindowWatch::Answered(long long now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (now - since_ > longest_.ms) {
        longest_.ms = now - since_;
        longest_.line = sinceLine_;
    }
    pending_ = false;
}

MainWindowWatch::Longest MainWindowWatch::Result() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Longest result = longest_;
    long long now = NowMs();
    if (pending_ && now - since_ > result.ms) {
        result.ms = now - since_;
        result.line = sinceLine_;
    }
    return result;
}

}  // namespace vxhost
