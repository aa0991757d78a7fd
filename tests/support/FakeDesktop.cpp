#include "tests/support/FakeDesktop.h"

namespace orv::test {

bool FakeDesktop::openUrl(const QUrl &url)
{
    openedUrls.append(url);
    return opens;
}

} // namespace orv::test
