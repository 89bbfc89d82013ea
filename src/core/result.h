// A value or the reason there is none. The fetch path hands its outcome
// along in this form; the feed check turns a failure into its run-time error.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace velmora {

struct Failure {
    std::string reason;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // Only when not ok().
    const std::string& reason() const { return std::get<1>(state_).reason; }

private:
    std::variant<T, Failure> state_;
};

}  // namespace velmora
