#pragma once

#include "core/Desktop.h"

#include <QList>

namespace orv::test {

// Records the URLs the logic asked the desktop to open.
class FakeDesktop final : public Desktop
{
public:
    bool openUrl(const QUrl &url) override;

    bool opens = true;
    QList<QUrl> openedUrls;
};

} // namespace orv::test
