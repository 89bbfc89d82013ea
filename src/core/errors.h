// Run-time errors of the program: they end the running handler, and only the
// start-up and feed-check error routes catch them.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

enum class ErrorCode {
    InvalidArgument = 5,  // a negative count, a position below 1
    Overflow = 6,         // a 16/32-bit result out of range
    DivisionByZero = 11,  // float division by zero
    FileNotFound = 53,    // urls.txt missing or unreadable
    InputPastEnd = 62,    // urls.txt holds nothing to read
    FetchFailed = 35764,  // the transfer control reported a failure
    Platform = 50000,     // a platform service failed
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(ErrorCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
    ErrorCode code() const { return code_; }

private:
    ErrorCode code_;
};

// Thrown by a platform whose End cannot stop the process at once (the fake):
// it must pass through every handler and error route untouched, so it is not
// a RuntimeError.
struct ProcessEnded {};

}  // namespace velmora
