#pragma once

#include <QString>

#include <cassert>
#include <concepts>
#include <optional>
#include <utility>
#include <variant>

// Why something of the platform layer could not be done: a sentence a person can act on,
// and the errno of the system call that failed (0 when none did).
struct Failure {
    QString message;
    int errorNumber = 0;
};

// The platform layer's way to report failure: a value, or the Failure that kept it from
// being made. The error objects of foundation/Error.h are for the JSON reader and the web
// services, whose callers inspect domains and codes; everything else returns a Result.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Failure failure) : m_state(std::move(failure)) {}
    // A result of a more derived value, as from a factory of a concrete implementation.
    template <std::convertible_to<T> U>
    Result(Result<U> &&other)
        : m_state(other.ok() ? State(T(other.take())) : State(other.failure())) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() {
        assert(ok());
        return std::get<0>(m_state);
    }
    const T &value() const {
        assert(ok());
        return std::get<0>(m_state);
    }
    T &operator*() { return value(); }
    T *operator->() { return &value(); }
    // Moves the value out; the result must hold one.
    T take() { return std::move(value()); }

    const Failure &failure() const {
        assert(!ok());
        return std::get<1>(m_state);
    }

private:
    using State = std::variant<T, Failure>;
    State m_state;
};

// Success that carries no value.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return !m_failure; }
    explicit operator bool() const { return ok(); }
    const Failure &failure() const {
        assert(!ok());
        return *m_failure;
    }

private:
    std::optional<Failure> m_failure;
};
