#pragma once

#include "core/Expected.h"
#include "core/Scheduler.h"
#include "core/Task.h"
#include "speech/SpeechEngineError.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct ps_decoder_s;
struct ngram_model_s;

namespace orv {

// The PocketSphinx decoder with its acoustic model, language model and dictionary: loaded once, in the
// background, and reused by every session (one at a time, under decoderLock()).
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
        // The flat-lexicon second pass re-decodes a whole utterance when it ends: a little more
        // accurate, but the end of a dictation then waits for it (see docs/speech.md).
        bool flatSecondPass = false;
        // Contextual strings become vocabulary: flite pronunciations in the dictionary, and a class of
        // a known name in the language model (see addToLanguageModels).
        bool contextualVocabulary = true;
    };

    PocketSphinxModel(Scheduler &scheduler, Files files);
    PocketSphinxModel(Scheduler &scheduler, Files files, Search search);
    ~PocketSphinxModel();
    PocketSphinxModel(const PocketSphinxModel &) = delete;
    PocketSphinxModel &operator=(const PocketSphinxModel &) = delete;

    // Starts loading on a thread of its own, once.
    void loadInBackground();
    // Completes on the main thread once loaded (starting the load if needed).
    Task<Expected<void, SpeechEngineError>> whenLoaded();
    bool isLoaded() const;

    // With decoderLock() held, from the decoding thread.
    std::mutex &decoderLock() { return m_decoderLock; }
    ps_decoder_s *decoder() { return m_decoder; }
    // Adds the words of strings the dictionary lacks, with flite pronunciations; returns how many were
    // added. Words that cannot be pronounced or added are skipped.
    int addWords(const QStringList &strings);
    // Whether the dictionary knows word (as spelled or in lower case).
    bool knowsWord(const QString &word);

    static constexpr int sampleRate = 16000;

private:
    void load();
    std::vector<ngram_model_s *> languageModels();
    bool addToLanguageModels(const QByteArray &word);

    Scheduler &m_scheduler;
    Files m_files;
    Search m_search;
    std::mutex m_decoderLock;
    ps_decoder_s *m_decoder = nullptr;
    static constexpr int maxClasses = 120;
    int m_classes = 0; // language model classes made for added words
    std::thread m_loader;
    std::once_flag m_loadStarted;
    // Shared with the loader, which resolves it on the main thread.
    struct LoadState;
    std::shared_ptr<LoadState> m_state;
};

} // namespace orv
