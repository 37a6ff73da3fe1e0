#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace ini {

// The one shape of "a value or the reason there is none" for every fallible operation.

// Why an operation did not happen, in words a user can read.
struct Failure {
    std::string message;
};

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
