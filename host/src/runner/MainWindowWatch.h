// How long the host's main window goes without answering its messages while a script runs: a thread
// of its own sends the window WM_NULL every 50 ms and keeps the longest wait for an answer, with the
// script line running when that wait began. A modal loop on the main thread answers, as it would
// answer a person's clicks; a main thread blocked in a call does not.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>

namespace vxhost {

class MainWindowWatch {
public:
    // Starts on the window's thread; a null window is never watched.
    explicit MainWindowWatch(HWND window);
    // On the window's thread: serves the last probe while the watcher ends.
    ~MainWindowWatch();
    MainWindowWatch(const MainWindowWatch&) = delete;
    MainWindowWatch& operator=(const MainWindowWatch&) = delete;

    // The script line now running (0: the start-up).
    void SetLine(int line) { line_ = line; }

    struct Longest {
        bool watched = false;
        long long ms = 0;
        int line = 0;
    };
    // A wait still going on counts with what it has lasted so far.
    Longest Result() const;

    void RunLoop();

private:
    void Answered(long long now);

    HWND window_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    std::atomic<int> line_{0};
    mutable std::mutex mutex_;  // everything below
    Longest longest_;
    bool pending_ = false;
    long long since_ = 0;
    int sinceLine_ = 0;
};

}  // namespace vxhost
