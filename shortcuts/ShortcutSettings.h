#pragma once

#include <QString>

namespace orv {

// Where the hold key and the toggle shortcut are chosen. Reads never fail: a missing or unusable
// stored value reads as the default (and stays in the store untouched).
class ShortcutSettings
{
public:
    virtual ~ShortcutSettings() = default;

    virtual QString holdKey() const = 0;
    virtual QString toggle() const = 0;
};

} // namespace orv
