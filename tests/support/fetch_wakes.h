// Stands in for a program's event pump when a fetch is tested: counts the
// request's wake calls and waits for one, bounded so that a hang fails the
// test instead of stalling it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace velmora::testing {

class FetchWakes {
public:
    // Starts a fresh count; the result is the wake call for the next request.
    std::function<void()> Reset() {
        {
            std::lock_guard lock(mutex_);
            count_ = 0;
        }
        return [this] {
            std::lock_guard lock(mutex_);
            ++count_;
            woken_.notify_all();
        };
    }

    int Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

    void Await(FetchRequest& request, std::chrono::seconds limit = std::chrono::seconds(40)) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(woken_.wait_for(lock, limit, [this] { return count_ > 0; })) << "no wake";
        EXPECT_FALSE(request.Busy()) << "woken while still busy";
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    int count_ = 0;
};

// The reason a request that must fail gives; "" and a test failure when it
// hands over a document instead.
inline std::string TakeFailure(FetchRequest& request, const std::string& what) {
    const Result<FetchedDocument> taken = request.Take();
    if (!taken) return taken.reason();
    ADD_FAILURE() << what << " was taken as a document";
    return "";
}

// The document of a request that must succeed; empty and a test failure
// when it fails instead.
inline FetchedDocument TakeDocument(FetchRequest& request) {
    Result<FetchedDocument> taken = request.Take();
    if (taken) return std::move(taken.value());
    ADD_FAILURE() << taken.reason();
    return {};
}

}  // namespace velmora::testing
