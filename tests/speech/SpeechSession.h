#pragma once

#include "core/LiveScheduler.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"

#include <QCoreApplication>

#include <memory>

namespace orv::test {

// The real engine hearing WAV files, on the Qt event loop, with one model shared by every session.
class SpeechSession
{
public:
    static QCoreApplication &application();
    static LiveScheduler &scheduler();
    static std::shared_ptr<PocketSphinxModel> model();

    struct Outcome
    {
        Expected<QString, SpeechEngineError> transcript = QString();
        QStringList partials;
        QStringList statuses;
    };
    static Outcome transcribe(const QString &wavPath,
                              const QStringList &contextualStrings = {},
                              WavFileSource::Pace pace = WavFileSource::Pace::asFastAsPossible);
};

} // namespace orv::test
