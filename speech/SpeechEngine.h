#pragma once

#include "base/Scheduler.h"
#include "speech/AbstractAssetInventory.h"
#include "speech/AbstractAudioConverter.h"
#include "speech/AbstractAudioSource.h"
#include "speech/AbstractSpeechEngine.h"
#include "speech/AbstractTranscriber.h"
#include "speech/MicrophoneInputBridge.h"
#include "speech/Permissions.h"
#include "speech/SpokenPunctuation.h"

#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orv {

// One dictation at a time: permissions, model, microphone through the bridge into the recognizer, the
// live transcript from its results, and the final transcript at the end (at most 12 s of
// finalization). Main thread only; a session id guards every step after a suspension.
class SpeechEngine final : public AbstractSpeechEngine
{
public:
    static constexpr Duration finalizationTimeout = std::chrono::seconds(12);
    static constexpr int maxContextualStrings = 100;

    struct TranscriptSegment
    {
        Duration start{};
        Duration end{};
        QString text;
        bool isFinal = false;

        bool operator==(const TranscriptSegment &) const = default;
    };

    // The platform pieces the engine drives.
    struct Platform
    {
        // Shared with the engine's own steps, which may outlive a suspension.
        std::shared_ptr<Permissions> permissions;
        std::shared_ptr<AbstractAssetInventory> assets;
        // A new audio engine for each session.
        std::function<std::unique_ptr<AbstractAudioSource>()> makeAudioSource;
        std::function<std::unique_ptr<AbstractAudioConverter>(const AudioFormat &from, const AudioFormat &to)>
            makeConverter;
        // A new recognizer session for a supported locale.
        std::function<std::shared_ptr<AbstractTranscriber>(const QString &locale)> makeTranscriber;
        // The recognizer's name when it can change while running (the speech engine chosen in the settings,
        // a server's model); the name given to the constructor otherwise.
        std::function<QString()> displayName;
    };

    SpeechEngine(Scheduler &scheduler, Platform platform, QString displayName);
    ~SpeechEngine() override;

    Task<Expected<void, SpeechEngineError>> start(QString localeIdentifier, QStringList contextualStrings) override;
    void stopAudio() override;
    Task<Expected<QString, SpeechEngineError>> finish() override;
    void cancel() override;
    Task<QStringList> supportedLocaleIdentifiers() override;
    QString displayName() const override;
    Permissions &permissions() override { return *m_platform.permissions; }

    std::optional<QUuid> sessionID() const { return m_sessionID; }
    const std::vector<TranscriptSegment> &segments() const { return m_segments; }

    // The joining rule: one space between segments, none before ",.;:!?)]}".
    static QString transcript(const std::vector<TranscriptSegment> &segments);
    // The joined segments with the session language's spoken punctuation carried out: what the live
    // transcript shows and finish returns, whichever recognizer heard it.
    QString spokenTranscript() const;
    // Trimmed, without empties and duplicates, sorted, at most 100.
    static QStringList analysisContext(const QStringList &contextualStrings);
    // Trimmed, without empties and duplicates, in the order given.
    static QStringList recentContext(const QStringList &contextualStrings);

private:
    struct Lifetime
    {
    };
    using Weak = std::weak_ptr<Lifetime>;
    using Error = SpeechEngineError;

    Error error(Error::Kind kind, QString detail = {}) const;
    static Error cancellation() { return Error{Error::Kind::cancelled, {}, {}}; }
    bool isCurrent(const QUuid &id, const CancelToken &token) const;

    Task<Expected<void, Error>> runStart(QUuid id, QString localeIdentifier, QStringList contextualStrings);
    Task<Expected<void, Error>> requestPermissions(QUuid id);
    Task<Expected<void, Error>> prepareAssets(QUuid id, QString identifier, QString locale);
    Task<Expected<QString, Error>> runFinish(QUuid id);
    void apply(const TranscriptionResult &result);
    void reset();
    void bridgeFailed(const QUuid &id, const Error &failure);
    void sendStatus(const QString &text);
    void recordFailure(const QUuid &id, const Error &failure);

    static Task<Expected<void, Error>>
    resultsLoop(Weak alive, SpeechEngine *engine, std::shared_ptr<TranscriptionResultStream> results, QUuid id);
    static Task<> watchdog(Weak alive, SpeechEngine *engine, QUuid id, std::shared_ptr<AbstractTranscriber> analyzer);
    static Task<> cancelAnalyzer(std::shared_ptr<AbstractTranscriber> analyzer);

    Scheduler &m_scheduler;
    Platform m_platform;
    QString m_displayName;
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();

    std::optional<QUuid> m_sessionID;
    std::shared_ptr<AbstractTranscriber> m_analyzer;
    std::unique_ptr<AbstractAudioSource> m_audioEngine;
    std::shared_ptr<MicrophoneInputBridge> m_inputBridge;
    std::optional<Task<Expected<void, Error>>> m_resultsTask;
    bool m_tapInstalled = false;
    std::vector<TranscriptSegment> m_segments;
    std::optional<Error> m_sessionError;
    const SpokenPunctuation *m_punctuation = nullptr; // the session language's, if it has one
};

} // namespace orv
