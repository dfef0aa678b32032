// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <utility>
#include <variant>

namespace scrivlet {

struct Error
{
    QString message;
};

// A value or the reason there is none; cannot be mistaken for success.
template<typename T>
class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_state(std::move(value))
    { }
    Result(Error error)
        : m_state(std::move(error))
    { }

    [[nodiscard]] bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    [[nodiscard]] const T &value() const & { return std::get<0>(m_state); }
    [[nodiscard]] T &value() & { return std::get<0>(m_state); }
    [[nodiscard]] T &&value() && { return std::get<0>(std::move(m_state)); }
    [[nodiscard]] const QString &error() const { return std::get<1>(m_state).message; }

private:
    std::variant<T, Error> m_state;
};

struct Success
{ };
using Status = Result<Success>;

inline Status success()
{
    return Success {};
}

} // namespace scrivlet
