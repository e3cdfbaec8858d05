#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vvp {

// An error as it crosses a module boundary: a code for callers that branch on it, and English
// detail that grows context as it travels up.
struct Error {
    std::string message;
    int code = 0;

    Error WithContext(const std::string& context) const { return Error{context + message, code}; }
};

// Value-or-error result, the shape of std::expected (not available with this compiler).
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_v(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_v); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Error& error() const { return std::get<1>(m_v); }

    T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> m_v;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_ok(false) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const Error& error() const { return m_error; }

private:
    Error m_error;
    bool m_ok = true;
};

inline Result<void> Ok() {
    return {};
}

} // namespace vvp
