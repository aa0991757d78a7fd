#pragma once

#include "base/Expected.h"
#include "base/Task.h"
#include "speech/AnalyzerInputStream.h"
#include "speech/AudioFormat.h"
#include "speech/SpeechEngineError.h"
#include "speech/TranscriptionResultStream.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace orv {

// The recognizer for one session (the analyzer with its dictation transcriber). Every member is called
// on the main thread; the results arrive there through results().
class AbstractTranscriber
{
public:
    virtual ~AbstractTranscriber() = default;

    // The format the recognizer takes, given the input's; nullopt when it cannot take that input.
    virtual std::optional<AudioFormat> bestAudioFormat(const AudioFormat &input) = 0;
    // Words and phrases the user is likely to say (the dictionary's spellings).
    virtual Expected<void, SpeechEngineError> setContextualStrings(const QStringList &strings) = 0;
    // The same spellings, most recently changed first, for recognizers that take them as a text prompt of
    // bounded length (where the newest must come first). Vocabulary recognizers ignore it.
    virtual void setRecentContext(const QStringList &) {}
    // Gets ready to analyze audio in format (waits for the model to be loaded).
    virtual Task<Expected<void, SpeechEngineError>> prepare(AudioFormat format) = 0;
    virtual std::shared_ptr<TranscriptionResultStream> results() = 0;
    // Starts consuming input on the recognizer's own thread.
    virtual Expected<void, SpeechEngineError> start(std::shared_ptr<AnalyzerInputStream> input) = 0;
    // Completes once the ended input is analyzed, every final result delivered and the results ended.
    virtual Task<Expected<void, SpeechEngineError>> finalizeAndFinishThroughEndOfInput() = 0;
    // Drops what is left and ends the results; a pending finalization completes too.
    virtual Task<void> cancelAndFinishNow() = 0;

    // A sentence the user should read about this session's recognition (a fallback the recognizer took).
    // Set by the engine; called on the main thread.
    std::function<void(const QString &)> onNotice;
};

} // namespace orv
