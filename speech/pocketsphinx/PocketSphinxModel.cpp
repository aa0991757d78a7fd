#include "speech/pocketsphinx/PocketSphinxModel.h"

#include "speech/pocketsphinx/FlitePronouncer.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <cstdlib>

namespace orv {

struct PocketSphinxModel::LoadState
{
    std::mutex lock;
    bool loaded = false;
    AsyncValue<Expected<void, SpeechEngineError>> done;
};

PocketSphinxModel::Files PocketSphinxModel::debianEnglish()
{
    const QString root = QStringLiteral("/usr/share/pocketsphinx/model/en-us/");
    return Files{root + QStringLiteral("en-us"), root + QStringLiteral("en-us.lm.bin"),
                 root + QStringLiteral("cmudict-en-us.dict")};
}

bool PocketSphinxModel::isComplete(const Files &files)
{
    return QFileInfo(files.acousticModel + QStringLiteral("/mdef")).isFile() &&
           QFileInfo(files.languageModel).isFile() && QFileInfo(files.dictionary).isFile();
}

PocketSphinxModel::PocketSphinxModel(Scheduler &scheduler, Files files)
    : PocketSphinxModel(scheduler, std::move(files), Search{false, false})
{}

PocketSphinxModel::PocketSphinxModel(Scheduler &scheduler, Files files, Search search)
    : m_scheduler(scheduler), m_files(std::move(files)), m_search(search), m_state(std::make_shared<LoadState>())
{}

PocketSphinxModel::~PocketSphinxModel()
{
    if (m_loader.joinable())
        m_loader.join();
    std::lock_guard guard(m_decoderLock);
    if (m_decoder)
        ps_free(m_decoder);
}

void PocketSphinxModel::loadInBackground()
{
    std::call_once(m_loadStarted, [this] { m_loader = std::thread([this] { load(); }); });
}

void PocketSphinxModel::load()
{
    Expected<void, SpeechEngineError> outcome;
    {
        std::lock_guard guard(m_decoderLock);
        err_set_logfp(nullptr); // the application writes no log
        const QByteArray hmm = m_files.acousticModel.toUtf8();
        const QByteArray lm = m_files.languageModel.toUtf8();
        const QByteArray dict = m_files.dictionary.toUtf8();
        cmd_ln_t *config = isComplete(m_files)
                               ? cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                                             "-dict", dict.constData(), "-logfn", "/dev/null", "-fwdflat",
                                             m_search.flatSecondPass ? "yes" : "no", nullptr)
                               : nullptr;
        m_decoder = config ? ps_init(config) : nullptr;
        if (config)
            cmd_ln_free_r(config); // the decoder keeps its own reference
        if (!m_decoder)
            outcome = unexpected(SpeechEngineError{
                SpeechEngineError::Kind::platform,
                QStringLiteral("The PocketSphinx model in %1 could not be loaded.").arg(m_files.acousticModel)});
    }
    {
        std::lock_guard guard(m_state->lock);
        m_state->loaded = outcome.hasValue();
    }
    auto state = m_state;
    m_scheduler.post([state, outcome] { state->done.resolve(outcome); });
}

bool PocketSphinxModel::isLoaded() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->loaded;
}

Task<Expected<void, SpeechEngineError>> PocketSphinxModel::whenLoaded()
{
    loadInBackground();
    auto state = m_state;
    co_return co_await state->done;
}

bool PocketSphinxModel::knowsWord(const QString &word)
{
    for (const QString &spelling : {word, word.toLower()}) {
        const QByteArray utf8 = spelling.toUtf8();
        if (char *phones = ps_lookup_word(m_decoder, utf8.constData())) {
            std::free(phones);
            return true;
        }
    }
    return false;
}

int PocketSphinxModel::addWords(const QStringList &strings)
{
    if (!m_decoder || !m_search.contextualVocabulary)
        return 0;
    static const QRegularExpression separators(QStringLiteral("[\\s,;:!?()\\[\\]{}\"/.]+"));
    std::vector<std::pair<QByteArray, QByteArray>> words;
    QStringList seen;
    for (const QString &string : strings) {
        for (QString word : string.split(separators, Qt::SkipEmptyParts)) {
            while (!word.isEmpty() && !word.front().isLetter())
                word.remove(0, 1);
            while (!word.isEmpty() && !word.back().isLetter())
                word.chop(1);
            if (word.isEmpty() || seen.contains(word) || knowsWord(word))
                continue;
            seen.append(word);
            if (const std::optional<QString> phones = FlitePronouncer::phones(word))
                words.emplace_back(word.toUtf8(), phones->toUtf8());
        }
    }
    int added = 0;
    for (const auto &[word, phones] : words)
        if (ps_add_word(m_decoder, word.constData(), phones.constData(), TRUE) >= 0)
            ++added;
    return added;
}

} // namespace orv
