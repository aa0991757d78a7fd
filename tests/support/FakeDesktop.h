#pragma once

#include "desktop/Desktop.h"

#include <QList>

namespace orv::test {

// Records the URLs the logic asked the desktop to open and the switching on of accessibility.
class FakeDesktop final : public Desktop
{
public:
    bool openUrl(const QUrl &url) override
    {
        openedUrls.append(url);
        return opens;
    }
    std::optional<bool> sessionAccessibility() override { return accessibility; }
    bool enableSessionAccessibility() override
    {
        ++enableCalls;
        if (accessibility)
            accessibility = true;
        return accessibility.has_value();
    }

    bool opens = true;
    QList<QUrl> openedUrls;
    std::optional<bool> accessibility = false; // none: no accessibility bus
    int enableCalls = 0;
};

} // namespace orv::test
