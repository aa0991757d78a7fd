#pragma once

#include "base/LiveScheduler.h"
#include "speech/live/SpeechComposition.h"
#include "speech/pocketsphinx/PocketSphinxModel.h"
#include "tests/support/SpeechCorpus.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace orv::test {

// The real engine hearing WAV files, on the Qt event loop, with one model shared by every session.
class SpeechSession
{
public:
    static QCoreApplication &application();
    static LiveScheduler &scheduler();

    struct Outcome
    {
        Expected<QString, SpeechEngineError> transcript = QString();
        QStringList partials, statuses;
    };
    // As fast as the recognizer goes, with the shared model or a fresh one (which hears a file as `orvanta
    // transcribe` does).
    static Outcome
    transcribe(const QString &wavPath, const QStringList &contextualStrings = {}, bool freshModel = false);
};

// Tests that speak corpus sentences with flite; they skip when flite or sox is missing.
class SpokenCorpusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto missing = speechCorpus::missingTools())
            GTEST_SKIP() << missing->toStdString();
        SpeechSession::application();
    }
    // A decoding's end can reach the queue just before its model closes the gate; it runs here, as the
    // event loop's next turn would, so no coroutine waiting for it is left suspended at exit.
    void TearDown() override { QCoreApplication::sendPostedEvents(); }
    // The sentence as a WAV file of its own.
    QString speak(const speechCorpus::Sentence &sentence, int index)
    {
        const QString path = m_dir.filePath(QStringLiteral("s%1.wav").arg(index));
        EXPECT_TRUE(speechCorpus::synthesize(sentence.text, sentence.voice, path));
        return path;
    }

    QTemporaryDir m_dir;
};

} // namespace orv::test
