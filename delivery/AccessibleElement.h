#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <variant>

namespace orv {

// A run of text in UTF-16 code units, as the accessibility interface reports selections.
struct TextRange
{
    qint64 location = 0;
    qint64 length = 0;

    bool operator==(const TextRange &) const = default;
};

// One element of another application's accessibility tree, as the platform hands it out. Handles are
// compared with isEqual (two handles may name the same element).
class AccessibleElement
{
public:
    virtual ~AccessibleElement() = default;
    virtual bool isEqual(const AccessibleElement &other) const = 0;
};

using Element = std::shared_ptr<const AccessibleElement>;

// True when both handles are present and name the same element.
inline bool sameElement(const Element &a, const Element &b)
{
    return a && b && a->isEqual(*b);
}

// The value of an attribute: a string, a boolean, a number, a range or another element. Readers treat a
// value of the wrong kind exactly like a missing one.
using AttributeValue = std::variant<QString, bool, qint64, TextRange, Element>;

template <typename T>
std::optional<T> attributeAs(const std::optional<AttributeValue> &value)
{
    if (!value)
        return std::nullopt;
    if (const T *typed = std::get_if<T>(&*value))
        return *typed;
    return std::nullopt;
}

inline Element elementOf(const std::optional<AttributeValue> &value)
{
    return attributeAs<Element>(value).value_or(nullptr);
}

} // namespace orv
