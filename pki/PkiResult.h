#pragma once

// A value or an error text. The library stands alone, so it carries its own small result type.

#include <optional>
#include <string>
#include <utility>

namespace vvp::pki {

struct Failure {
    std::string message;
};

template <typename T> class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.message)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    const std::string& error() const { return m_error; }

private:
    std::optional<T> m_value;
    std::string m_error;
};

} // namespace vvp::pki
