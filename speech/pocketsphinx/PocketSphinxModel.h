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

struct ps_decoder_s;

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
        // Contextual strings become vocabulary (ps_add_word with flite pronunciations). Off by default:
        // with the Debian 12 libraries, decoding after words were added to the binary (trie) language
        // model crashed in the language model's scoring in about half of the benchmark runs.
        bool contextualVocabulary = false;
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

    Scheduler &m_scheduler;
    Files m_files;
    Search m_search;
    std::mutex m_decoderLock;
    ps_decoder_s *m_decoder = nullptr;
    std::thread m_loader;
    std::once_flag m_loadStarted;
    // Shared with the loader, which resolves it on the main thread.
    struct LoadState;
    std::shared_ptr<LoadState> m_state;
};

} // namespace orv
