// GoogleTest for the Wine runs is built with the win32 thread model, whose
// runtime has no std::mutex. Its Notification, which only GoogleTest's own
// thread tests wait on, waits on an atomic flag instead.
#pragma once
#include <atomic>

namespace testing::internal {
class Notification {
public:
    void Notify() { Notified = true; }
    void WaitForNotification() {
        while (!Notified) {
        }
    }

private:
    std::atomic<bool> Notified{false};
};
} // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
