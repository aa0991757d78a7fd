#include "speech/SpeechEngine.h"

#include <QLocale>

#include <algorithm>

namespace orv {

namespace {

const QString checkingAccessText = QStringLiteral("Checking access…");
const QString preparingText = QStringLiteral("Preparing…");
const QString listeningText = QStringLiteral("Listening…");
const QString finishingText = QStringLiteral("Finishing…");
const QString readyText = QStringLiteral("Ready");

// The language's own name for itself ("Deutsch" for German), else the identifier.
QString nativeLanguageName(const QString &locale)
{
    const QLocale parsed(locale);
    // The language alone, not a regional variant of it ("English", not "American English").
    const QString name =
        parsed.language() == QLocale::C ? QString() : QLocale(parsed.language(), QLocale::World).nativeLanguageName();
    return name.isEmpty() ? locale : name;
}

} // namespace

SpeechEngine::SpeechEngine(Scheduler &scheduler, Platform platform, QString displayName)
    : m_scheduler(scheduler), m_platform(std::move(platform)), m_displayName(std::move(displayName))
{}

SpeechEngine::~SpeechEngine()
{
    // Tasks still suspended see the engine gone and end quietly; the audio thread stops here.
    m_lifetime.reset();
    stopAudio();
    if (m_inputBridge)
        m_inputBridge->close();
    if (m_resultsTask)
        m_resultsTask->cancel();
    if (m_analyzer)
        (void)cancelAnalyzer(m_analyzer); // runs on by itself
}

QString SpeechEngine::displayName() const
{
    return m_platform.displayName ? m_platform.displayName() : m_displayName;
}

SpeechEngineError SpeechEngine::error(Error::Kind kind, QString detail) const
{
    return Error{kind, std::move(detail), displayName()};
}

bool SpeechEngine::isCurrent(const QUuid &id, const CancelToken &token) const
{
    return !token->isCancelled() && m_sessionID && *m_sessionID == id;
}

void SpeechEngine::sendStatus(const QString &text)
{
    if (onStatus)
        onStatus(text);
}

// --- start

Task<Expected<void, SpeechEngineError>> SpeechEngine::start(QString localeIdentifier, QStringList contextualStrings)
{
    if (m_sessionID)
        co_return unexpected(error(Error::Kind::alreadyRecording));
    const QUuid id = QUuid::createUuid();
    m_sessionID = id;
    m_segments.clear();
    m_sessionError.reset();
    sendStatus(checkingAccessText);

    Weak alive = m_lifetime;
    auto outcome = co_await runStart(id, std::move(localeIdentifier), std::move(contextualStrings));
    if (!outcome && !alive.expired() && m_sessionID == id)
        cancel();
    co_return outcome;
}

Task<Expected<void, SpeechEngineError>>
SpeechEngine::runStart(QUuid id, QString localeIdentifier, QStringList contextualStrings)
{
    Weak alive = m_lifetime;
    const CancelToken token = co_await currentCancellation();

    if (auto permitted = co_await requestPermissions(id); !permitted)
        co_return permitted;
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());

    const std::optional<QString> locale = m_platform.assets->supportedLocale(localeIdentifier);
    if (!locale)
        co_return unexpected(error(Error::Kind::unsupportedLanguage, localeIdentifier));
    std::shared_ptr<AbstractTranscriber> transcriber = m_platform.makeTranscriber(*locale);
    if (!transcriber)
        co_return unexpected(error(Error::Kind::unsupportedLanguage, localeIdentifier));

    if (auto assets = co_await prepareAssets(id, localeIdentifier, *locale); !assets)
        co_return assets;
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());

    // The microphone, and the format the recognizer takes from it.
    std::unique_ptr<AbstractAudioSource> audio = m_platform.makeAudioSource();
    const AudioFormat input = audio ? audio->inputFormat() : AudioFormat{};
    if (!input.isUsable())
        co_return unexpected(error(Error::Kind::microphoneUnavailable));
    const std::optional<AudioFormat> best = transcriber->bestAudioFormat(input);
    if (!best || !best->isUsable())
        co_return unexpected(error(Error::Kind::microphoneUnavailable));

    m_analyzer = transcriber;
    m_punctuation = SpokenPunctuation::forLocale(*locale);
    if (auto context = transcriber->setContextualStrings(analysisContext(contextualStrings)); !context)
        co_return context;
    // Recognizers that take a prompt are told to expect the command words too, after the user's spellings.
    QStringList recent = recentContext(contextualStrings);
    if (m_punctuation)
        recent += m_punctuation->expectedPhrases();
    transcriber->setRecentContext(recent);
    transcriber->onNotice = [alive, engine = this, id](const QString &text) {
        if (!alive.expired() && engine->m_sessionID == id && engine->onNotice)
            engine->onNotice(text);
    };

    sendStatus(preparingText);
    if (auto prepared = co_await transcriber->prepare(*best); !prepared)
        co_return prepared;
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());

    auto stream = std::make_shared<AnalyzerInputStream>();
    std::unique_ptr<AbstractAudioConverter> converter = m_platform.makeConverter(input, *best);
    if (!converter)
        co_return unexpected(error(Error::Kind::microphoneUnavailable));
    Scheduler *scheduler = &m_scheduler;
    auto onLevel = [scheduler, alive, engine = this, id](float level) {
        scheduler->post([alive, engine, id, level] {
            if (!alive.expired() && engine->m_sessionID == id && engine->onLevel)
                engine->onLevel(level);
        });
    };
    auto onFailure = [scheduler, alive, engine = this, id](const SpeechEngineError &failure) {
        scheduler->post([alive, engine, id, failure] {
            if (!alive.expired())
                engine->bridgeFailed(id, failure);
        });
    };
    m_inputBridge =
        std::make_shared<MicrophoneInputBridge>(m_scheduler, std::move(converter), stream, onLevel, onFailure);
    m_audioEngine = std::move(audio);

    m_resultsTask = resultsLoop(alive, this, transcriber->results(), id);
    if (alive.expired() || m_sessionID != id) // the loop may have ended the session at once
        co_return unexpected(cancellation());

    if (auto started = transcriber->start(stream); !started)
        co_return started;

    auto bridge = m_inputBridge;
    m_audioEngine->installTap(
        quint32(input.sampleRate / 10), input,
        [bridge](const AudioBuffer &buffer, Duration time) { bridge->handleBuffer(buffer, time); });
    m_tapInstalled = true;
    m_audioEngine->setFailureHandler(onFailure);
    if (auto running = m_audioEngine->start(); !running)
        co_return running;

    if (const QString notice = m_audioEngine->notice(); !notice.isEmpty() && onNotice)
        onNotice(notice);
    sendStatus(listeningText);
    co_return Expected<void, Error>();
}

Task<Expected<void, SpeechEngineError>> SpeechEngine::requestPermissions(QUuid id)
{
    Weak alive = m_lifetime;
    const CancelToken token = co_await currentCancellation();
    std::shared_ptr<Permissions> permissions = m_platform.permissions;

    const bool microphone = co_await permissions->requestMicrophoneAccess();
    // A prompt answered after a cancel is no longer this session's business.
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());
    if (!microphone)
        co_return unexpected(error(Error::Kind::microphonePermissionDenied));

    AuthorizationStatus status = permissions->speechStatus();
    if (status == AuthorizationStatus::notDetermined) {
        status = co_await permissions->requestSpeechAuthorization();
        if (alive.expired() || !isCurrent(id, token))
            co_return unexpected(cancellation());
    }
    if (status != AuthorizationStatus::authorized)
        co_return unexpected(error(Error::Kind::speechPermissionDenied));
    co_return Expected<void, Error>();
}

Task<Expected<void, SpeechEngineError>> SpeechEngine::prepareAssets(QUuid id, QString identifier, QString locale)
{
    Weak alive = m_lifetime;
    const CancelToken token = co_await currentCancellation();
    std::shared_ptr<AbstractAssetInventory> assets = m_platform.assets;

    const AbstractAssetInventory::Status status = co_await assets->status(locale);
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());
    switch (status) {
    case AbstractAssetInventory::Status::unsupported:
        co_return unexpected(error(Error::Kind::unsupportedLanguage, identifier));
    case AbstractAssetInventory::Status::installed:
        co_return Expected<void, Error>();
    case AbstractAssetInventory::Status::downloadable: {
        const QString downloading = QStringLiteral("Downloading %1…").arg(nativeLanguageName(locale));
        sendStatus(downloading);
        // Once per percent: the windows redraw on every status.
        assets->onProgress = [alive, engine = this, id, downloading,
                              shown = std::make_shared<qint64>(-1)](qint64 received, qint64 total) {
            if (alive.expired() || engine->m_sessionID != id || total <= 0 || received * 100 / total == *shown)
                return;
            *shown = received * 100 / total;
            engine->sendStatus(QStringLiteral("%1 %2 % of %3")
                                   .arg(downloading)
                                   .arg(*shown)
                                   .arg(QLocale().formattedDataSize(total, 0, QLocale::DataSizeSIFormat)));
        };
        break;
    }
    case AbstractAssetInventory::Status::notInstalled:
        break;
    }
    auto installed = co_await assets->install(locale);
    assets->onProgress = nullptr;
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());
    co_return installed;
}

QStringList SpeechEngine::recentContext(const QStringList &contextualStrings)
{
    QStringList context;
    for (const QString &string : contextualStrings) {
        const QString trimmed = string.trimmed();
        if (!trimmed.isEmpty())
            context.append(trimmed);
    }
    context.removeDuplicates();
    return context;
}

QStringList SpeechEngine::analysisContext(const QStringList &contextualStrings)
{
    QStringList context = recentContext(contextualStrings);
    std::sort(context.begin(), context.end()); // plain UTF-16 comparison
    if (context.size() > maxContextualStrings)
        context.resize(maxContextualStrings);
    return context;
}

// --- results

Task<Expected<void, SpeechEngineError>> SpeechEngine::resultsLoop(Weak alive,
                                                                  SpeechEngine *engine,
                                                                  std::shared_ptr<TranscriptionResultStream> results,
                                                                  QUuid id)
{
    const CancelToken token = co_await currentCancellation();
    std::optional<Error> failure;
    for (;;) {
        auto next = co_await results->next();
        if (!next) {
            failure = next.error();
            break;
        }
        if (!next.value())
            co_return Expected<void, Error>();
        if (token->isCancelled()) {
            failure = cancellation();
            break;
        }
        if (alive.expired() || engine->m_sessionID != id)
            co_return Expected<void, Error>();
        engine->apply(*next.value());
    }
    if (!alive.expired() && engine->m_sessionID == id && !token->isCancelled() && !failure->isCancellation()) {
        engine->m_sessionError = *failure;
        engine->stopAudio();
        if (engine->m_inputBridge)
            engine->m_inputBridge->close();
        if (engine->onFailure)
            engine->onFailure(*failure);
    }
    co_return unexpected(*failure);
}

void SpeechEngine::apply(const TranscriptionResult &result)
{
    const QString text = result.text.trimmed();
    const Duration start = result.start;
    const Duration end = result.end;
    const bool isFinal = result.isFinal;
    auto overlaps = [&](const TranscriptSegment &segment) { return segment.start < end && start < segment.end; };
    if (text.isEmpty()) {
        // A final result without words takes back the provisional text of its range; otherwise a
        // blank result changes nothing.
        if (!isFinal ||
            std::erase_if(m_segments, [&](const TranscriptSegment &s) { return !s.isFinal && overlaps(s); }) == 0)
            return;
        if (onPartial)
            onPartial(spokenTranscript());
        return;
    }

    std::erase_if(m_segments,
                  [&](const TranscriptSegment &segment) { return overlaps(segment) && (!segment.isFinal || isFinal); });
    const bool blockedByFinal =
        !isFinal && std::any_of(m_segments.begin(), m_segments.end(),
                                [&](const TranscriptSegment &segment) { return segment.isFinal && overlaps(segment); });
    if (!blockedByFinal)
        m_segments.push_back(TranscriptSegment{start, end, text, isFinal});
    std::stable_sort(m_segments.begin(), m_segments.end(),
                     [](const TranscriptSegment &a, const TranscriptSegment &b) { return a.start < b.start; });
    if (onPartial)
        onPartial(spokenTranscript());
}

QString SpeechEngine::spokenTranscript() const
{
    const QString joined = transcript(m_segments);
    return m_punctuation ? m_punctuation->apply(joined) : joined;
}

QString SpeechEngine::transcript(const std::vector<TranscriptSegment> &segments)
{
    static const QString noSpaceBefore = QStringLiteral(",.;:!?)]}");
    QString text;
    for (const TranscriptSegment &segment : segments) {
        if (!text.isEmpty() && !segment.text.isEmpty() && !noSpaceBefore.contains(segment.text.front()))
            text.append(QLatin1Char(' '));
        text.append(segment.text);
    }
    return text;
}

// --- stop, cancel, failures

void SpeechEngine::stopAudio()
{
    if (m_audioEngine)
        m_audioEngine->stop();
    if (m_tapInstalled && m_audioEngine) {
        m_audioEngine->removeTap();
        m_tapInstalled = false;
    }
}

void SpeechEngine::reset()
{
    m_sessionID.reset();
    m_analyzer.reset();
    m_audioEngine.reset();
    m_inputBridge.reset();
    m_resultsTask.reset();
    m_sessionError.reset();
    m_segments.clear();
    m_punctuation = nullptr;
}

void SpeechEngine::cancel()
{
    std::shared_ptr<AbstractTranscriber> analyzer = m_analyzer;
    stopAudio();
    if (m_inputBridge)
        m_inputBridge->close();
    if (m_resultsTask)
        m_resultsTask->cancel();
    reset();
    if (onLevel)
        onLevel(0);
    if (analyzer)
        (void)cancelAnalyzer(analyzer); // not awaited
}

Task<> SpeechEngine::cancelAnalyzer(std::shared_ptr<AbstractTranscriber> analyzer)
{
    co_await analyzer->cancelAndFinishNow();
}

void SpeechEngine::bridgeFailed(const QUuid &id, const SpeechEngineError &failure)
{
    if (m_sessionID != id)
        return;
    if (failure.kind == Error::Kind::inputLost) {
        // What was heard stays in the stream for finish(); only capture ends.
        stopAudio();
        if (onInputLost)
            onInputLost(failure);
        return;
    }
    m_sessionError = failure;
    stopAudio();
    if (m_inputBridge)
        m_inputBridge->close();
    if (onFailure)
        onFailure(failure);
}

// --- finish

Task<Expected<QString, SpeechEngineError>> SpeechEngine::finish()
{
    if (!m_sessionID || !m_analyzer)
        co_return QString();
    const QUuid id = *m_sessionID;
    Weak alive = m_lifetime;

    stopAudio();
    sendStatus(finishingText);
    Task<> watch = watchdog(alive, this, id, m_analyzer);

    auto outcome = co_await runFinish(id);
    if (alive.expired()) {
        watch.cancel();
        co_return outcome.hasValue() ? Expected<QString, Error>(unexpected(cancellation())) : outcome;
    }
    if (outcome) {
        if (m_sessionError) {
            outcome = unexpected(*m_sessionError);
        } else {
            reset();
            if (onLevel)
                onLevel(0);
            sendStatus(readyText);
            watch.cancel();
            co_return outcome;
        }
    }
    const Error thrown = m_sessionError && m_sessionID == id ? *m_sessionError : outcome.error();
    if (m_sessionID == id)
        cancel();
    watch.cancel();
    co_return unexpected(thrown);
}

Task<Expected<QString, SpeechEngineError>> SpeechEngine::runFinish(QUuid id)
{
    Weak alive = m_lifetime;
    const CancelToken token = co_await currentCancellation();
    std::shared_ptr<AbstractTranscriber> analyzer = m_analyzer;

    if (auto bridge = m_inputBridge) {
        Expected<void, Error> flushed;
        {
            std::lock_guard guard(bridge->lock());
            flushed = bridge->flush();
        }
        if (!flushed)
            co_return unexpected(flushed.error());
    }

    if (auto finalized = co_await analyzer->finalizeAndFinishThroughEndOfInput(); !finalized)
        co_return unexpected(finalized.error());
    if (alive.expired() || !isCurrent(id, token))
        co_return unexpected(cancellation());

    if (m_resultsTask) {
        Task<Expected<void, Error>> results = *m_resultsTask;
        auto loop = co_await results.waitUnlinked();
        if (alive.expired() || !isCurrent(id, token))
            co_return unexpected(cancellation());
        if (!loop)
            co_return unexpected(loop.error());
    }
    if (m_sessionError)
        co_return unexpected(*m_sessionError);
    co_return spokenTranscript();
}

Task<> SpeechEngine::watchdog(Weak alive, SpeechEngine *engine, QUuid id, std::shared_ptr<AbstractTranscriber> analyzer)
{
    Scheduler &scheduler = engine->m_scheduler;
    const bool slept = co_await sleepFor(scheduler, finalizationTimeout);
    if (!slept)
        co_return;
    if (alive.expired() || engine->m_sessionID != id)
        co_return;
    engine->m_sessionError = engine->error(Error::Kind::finalizationTimedOut);
    co_await analyzer->cancelAndFinishNow();
    if (!alive.expired() && engine->m_sessionID == id && engine->m_resultsTask)
        engine->m_resultsTask->cancel();
}

// --- languages

Task<QStringList> SpeechEngine::supportedLocaleIdentifiers()
{
    QStringList locales = m_platform.assets->installedLocales();
    std::sort(locales.begin(), locales.end());
    co_return locales;
}

} // namespace orv
