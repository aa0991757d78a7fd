#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "base/Task.h"
#include "speech/AnalyzerInputStream.h"
#include "speech/PostGate.h"
#include "speech/SpeechEngineError.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct ps_decoder_s;
struct ngram_model_s;

namespace orv {

// The PocketSphinx decoder with its acoustic model, language model and dictionary: loaded once, in the
// background, and reused by every session (one at a time, under decoderLock()). The model runs the
// decoding threads and joins them: when it is destroyed it first closes its gate to the main thread and
// interrupts their input, so no thread outlives it or posts after it.
class PocketSphinxModel
{
public:
    struct Files
    {
        QString acousticModel; // folder
        QString languageModel;
        QString dictionary;
    };
    static Files debianEnglish();
    static bool isComplete(const Files &files);

    struct Search
    {
        // When an utterance closes, it is searched again with the flat lexicon and its lattice's best
        // path taken, as PocketSphinx's own decoder does: fewer word errors than the tree pass alone.
        bool flatPass = true;
        // The silence, in 10 ms frames, after which the voice activity detector closes an utterance. It
        // closes (and its flat pass runs) while the key is still held when the user pauses before letting go.
        int endOfUtteranceFrames = 20;
        // Contextual strings become vocabulary: flite pronunciations in the dictionary, and a class of
        // a known name in the language model (see addToLanguageModels).
        bool contextualVocabulary = true;
        // The spoken punctuation commands become words of their own ("question_mark_") that the
        // language model scores like the tag word given for them, so that they are expected anywhere a
        // clause or a sentence may end. Without them the model rarely hears "comma" after a word.
        bool spokenCommands = true;
        QByteArray clauseTag = "and";   // for marks inside a sentence: , : ; – - ( ) “ ”
        QByteArray sentenceTag = "and"; // for . ? ! and line breaks

        // The tree pass alone, with the library's 50 frames: the earlier setting, for comparison.
        static Search treeOnly()
        {
            Search search;
            search.flatPass = false;
            search.endOfUtteranceFrames = 50;
            return search;
        }
    };

    PocketSphinxModel(Scheduler &scheduler, Files files);
    PocketSphinxModel(Scheduler &scheduler, Files files, Search search);
    ~PocketSphinxModel();
    PocketSphinxModel(const PocketSphinxModel &) = delete;
    PocketSphinxModel &operator=(const PocketSphinxModel &) = delete;

    // Runs a session's decoding on a thread of its own; input is interrupted if the model goes first.
    // leftUnanswered runs on the main thread when the model goes, after the thread ended.
    void startDecoding(std::shared_ptr<AnalyzerInputStream> input,
                       std::function<void()> job,
                       std::function<void()> leftUnanswered = {});
    // Posts to the main thread while the model lives.
    const std::shared_ptr<PostGate> &gate() const { return m_gate; }

    // Starts loading on a thread of its own, once.
    void loadInBackground();
    // Completes on the main thread once loaded (starting the load if needed).
    Task<Expected<void, SpeechEngineError>> whenLoaded();
    bool isLoaded() const;

    // With decoderLock() held, from the decoding thread.
    std::mutex &decoderLock() { return m_decoderLock; }
    ps_decoder_s *decoder() { return m_decoder.get(); }
    // Adds the words of strings the dictionary lacks, with flite pronunciations; returns how many were
    // added. Words that cannot be pronounced or added are skipped.
    int addWords(const QStringList &strings);
    // Whether the dictionary knows word (as spelled or in lower case).
    bool knowsWord(const QString &word);
    // The spoken form of a hypothesis: command words back to their phrases ("question_mark_" → "question mark").
    static QString spokenForm(const QString &hypothesis);

    static constexpr int sampleRate = 16000;

private:
    void load();
    std::vector<ngram_model_s *> languageModels();
    bool addToLanguageModels(const QByteArray &word, const std::vector<const char *> &tags);
    void addCommandWords();
    std::optional<QString> pronunciation(const QString &word);

    struct Decoding
    {
        std::thread thread;
        std::shared_ptr<AnalyzerInputStream> input;
        std::shared_ptr<std::atomic<bool>> done;
        std::function<void()> leftUnanswered;
    };

    std::shared_ptr<PostGate> m_gate;
    Files m_files;
    Search m_search;
    QStringList m_wordsAdded; // the strings of the last addWords(), all of whose words the decoder has now
    std::mutex m_decoderLock;
    struct DecoderFree
    {
        void operator()(ps_decoder_s *decoder) const;
    };
    std::unique_ptr<ps_decoder_s, DecoderFree> m_decoder;
    static constexpr int maxClasses = 120;
    int m_classes = 0; // language model classes made for added words
    std::thread m_loader;
    std::vector<Decoding> m_decodings; // main thread only
    std::once_flag m_loadStarted;
    // Shared with the loader, which resolves it on the main thread.
    struct LoadState;
    std::shared_ptr<LoadState> m_state;
};

} // namespace orv
