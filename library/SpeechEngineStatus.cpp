#include "library/SpeechEngineStatus.h"

namespace orv {

void SpeechEngineStatus::report(const QString &name, const QString &text)
{
    if (name == m_name && text == m_text)
        return;
    m_name = name;
    m_text = text;
    Q_EMIT changed();
}

void SpeechEngineStatus::check()
{
    if (onCheck)
        onCheck();
}

} // namespace orv
