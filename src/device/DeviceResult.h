#pragma once
// What a device call gives back: its value, or why it failed. Every call
// answers for itself; there is no last-error call to ask afterwards, so a
// result can never be read off another camera's or another thread's call.

#include <chrono>
#include <string>
#include <utility>
#include <variant>

namespace orv::device {

enum class Fault {
    WrongCredentials, // the camera refused the user name or password
    NoAnswer,         // no connection or no complete answer in time
    Unreachable,      // address unreachable, connection refused, reset or cut
    Refused,          // the camera refused a value
    FileRejected,     // the camera refused an uploaded file
    FileUnreadable,   // file missing, unreadable or changed while sent
    DeviceFault,      // the camera reported an internal failure
    BadAnswer,        // the answer is not what the protocol documents
    Cancelled,        // stopped by the caller's cancel check
    NotSupported,     // the camera cannot do this
    IdentityChanged,  // not the key the camera was trusted by; `detail`: since when
    NotEncrypted,     // a secret refused over a connection without encryption
    Other,
};

struct Failure {
    Fault fault = Fault::Other;
    // Words for a person where the fault alone does not say enough.
    std::string detail;
    // NoAnswer: the time limit that ran out, where the driver knows it.
    std::chrono::milliseconds limit{0};
};

struct Done {};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Failure failure) : m_state(std::move(failure)) {}
    Result(Fault fault) : m_state(Failure{fault, {}}) {}

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }
    const T& Value() const& { return std::get<0>(m_state); }
    T& Value() & { return std::get<0>(m_state); }
    T&& Value() && { return std::get<0>(std::move(m_state)); }
    const T& operator*() const& { return Value(); }
    const T* operator->() const { return &Value(); }
    // Only for a result that is not Ok().
    const Failure& Error() const { return std::get<1>(m_state); }
    Fault FaultOf() const { return Ok() ? Fault::Other : Error().fault; }

private:
    std::variant<T, Failure> m_state;
};

using Status = Result<Done>;

} // namespace orv::device
