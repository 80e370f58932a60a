// A second thread for window tests. The 32-bit build uses the win32 thread model, whose
// standard library has no std::thread: a thread of the system's own does the same here.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <utility>

namespace ombrevale::tests {

class TestThread {
public:
    explicit TestThread(std::function<void()> body) : body_(std::move(body)) {
        handle_ = ::CreateThread(nullptr, 0, &TestThread::Run, this, 0, nullptr);
        if (!handle_) body_();  // no thread to be had: run it here rather than lose it
    }
    ~TestThread() { join(); }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    void join() {
        if (!handle_) return;
        ::WaitForSingleObject(handle_, INFINITE);
        ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<TestThread*>(self)->body_();
        return 0;
    }

    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

inline void SleepFor(std::chrono::milliseconds time) { ::Sleep(static_cast<DWORD>(time.count())); }

}  // namespace ombrevale::tests
