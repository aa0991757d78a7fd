#include "library/SessionKeysStatus.h"

namespace orv {

void SessionKeysStatus::report(const State &state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT changed();
}

} // namespace orv
