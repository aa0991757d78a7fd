#include "tests/support/FakeDesktop.h"

namespace orv::test {

bool FakeDesktop::openUrl(const QUrl &url)
{
    openedUrls.append(url);
    return opens;
}

bool FakeDesktop::enableSessionAccessibility()
{
    ++enableCalls;
    if (!accessibility)
        return false;
    accessibility = true;
    return true;
}

} // namespace orv::test
