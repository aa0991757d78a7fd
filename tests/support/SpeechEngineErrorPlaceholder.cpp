// Stands in for the speech subsystem's error sentences in tests built before it is present.
#include "speech/SpeechEngineError.h"

namespace orv {

QString SpeechEngineError::description() const
{
    return detail.isEmpty() ? QStringLiteral("The speech engine failed.") : detail;
}

} // namespace orv
