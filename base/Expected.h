#pragma once

#include <utility>
#include <variant>

namespace orv {

// A value or a typed error; g++ 12 has no std::expected yet.
template <typename E>
struct Unexpected
{
    E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E &&error)
{
    return {std::forward<E>(error)};
}

template <typename T, typename E>
class Expected
{
public:
    Expected(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> error) : m_data(std::in_place_index<1>, std::move(error.error)) {}

    bool hasValue() const { return m_data.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T &value() & { return std::get<0>(m_data); }
    const T &value() const & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    const E &error() const { return std::get<1>(m_data); }

    T valueOr(T fallback) const { return hasValue() ? value() : std::move(fallback); }

private:
    std::variant<T, E> m_data;
};

template <typename E>
class Expected<void, E>
{
public:
    Expected() = default;
    Expected(Unexpected<E> error) : m_error(std::move(error.error)), m_failed(true) {}

    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const E &error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace orv
