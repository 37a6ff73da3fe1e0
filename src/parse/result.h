#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ini {

// The one shape of "a value or the reason there is none" for every fallible operation.

// What a caller does differently for a failure; everything else is in its message.
enum class FailureKind {
    Other,           // nothing beyond showing the message
    NotFound,        // nothing is at the path, so writing there destroys nothing
    TooLarge,        // over a size limit; the file may still be shown another way
    NotEnoughMemory, // the machine is short of memory; the input is not at fault
};

// A place in a text; line and column count from 0.
struct TextPlace {
    std::int64_t line = 0;
    std::int64_t column = 0;

    friend bool operator==(const TextPlace&, const TextPlace&) = default;
};

// Why an operation did not happen, in words a user can read. Paths in the message are the file
// system's bytes, which need not be valid UTF-8.
struct Failure {
    std::string message;
    FailureKind kind = FailureKind::Other;
    // The place in a text the failure is about, where it is about one.
    std::optional<TextPlace> place = std::nullopt;
};

// "not enough memory to <what>": the one wording of that failure, in lower case to follow a
// context ("Cannot load 'x': not enough memory to ..."); a window showing it alone capitalises it.
inline Failure NotEnoughMemory(std::string_view what) {
    return Failure{"not enough memory to " + std::string(what), FailureKind::NotEnoughMemory};
}

// The failure as the reason `context` did not happen: "<context>: <message>", kind and place
// kept, so a caller further up still acts on what went wrong underneath.
inline Failure WithContext(std::string_view context, Failure failure) {
    failure.message = std::string(context) + ": " + failure.message;
    return failure;
}

// A value or the reason there is none. Check ok() before reading value(); reading the value of
// a failure throws std::bad_variant_access.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    // Empty for a success.
    std::string error() const { return ok() ? std::string() : std::get<1>(m_state).message; }
    const Failure& failure() const& { return std::get<1>(m_state); }

private:
    std::variant<T, Failure> m_state;
};

// Success, or the reason for failure of an operation that gives nothing back.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return !m_failure.has_value(); }
    // Empty for a success.
    std::string error() const { return m_failure ? m_failure->message : std::string(); }
    const Failure& failure() const& { return *m_failure; }

private:
    std::optional<Failure> m_failure;
};

} // namespace ini
