#include "speech/pocketsphinx/PocketSphinxModel.h"

#include "speech/SpokenPunctuation.h"
#include "speech/pocketsphinx/FlitePronouncer.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <sphinxbase/ngram_model.h>

#include <cstdlib>

namespace orv {

namespace {

struct ConfigFree
{
    void operator()(cmd_ln_t *config) const { cmd_ln_free_r(config); }
};

} // namespace

struct PocketSphinxModel::LoadState
{
    std::mutex lock;
    bool loaded = false;
    std::atomic<bool> donePosted{false};
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
    : PocketSphinxModel(scheduler, std::move(files), Search{})
{}

PocketSphinxModel::PocketSphinxModel(Scheduler &scheduler, Files files, Search search)
    : m_gate(std::make_shared<PostGate>(scheduler)), m_files(std::move(files)), m_search(search),
      m_state(std::make_shared<LoadState>())
{}

PocketSphinxModel::~PocketSphinxModel()
{
    m_gate->close();
    for (Decoding &decoding : m_decodings)
        decoding.input->interrupt();
    for (Decoding &decoding : m_decodings)
        decoding.thread.join();
    if (m_loader.joinable())
        m_loader.join();
    // With the threads gone, an answer the closed gate dropped never comes: whoever waits for it goes.
    for (Decoding &decoding : m_decodings) {
        if (decoding.leftUnanswered)
            decoding.leftUnanswered();
    }
    if (!m_state->donePosted.load())
        m_state->done.abandon();
    std::lock_guard guard(m_decoderLock);
    m_decoder.reset();
}

void PocketSphinxModel::DecoderFree::operator()(ps_decoder_s *decoder) const
{
    ps_free(decoder);
}

void PocketSphinxModel::startDecoding(std::shared_ptr<AnalyzerInputStream> input,
                                      std::function<void()> job,
                                      std::function<void()> leftUnanswered)
{
    std::erase_if(m_decodings, [](Decoding &decoding) {
        if (!decoding.done->load())
            return false;
        decoding.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_decodings.push_back(Decoding{std::thread([job = std::move(job), done] {
                                       job();
                                       *done = true;
                                   }),
                                   std::move(input), done, std::move(leftUnanswered)});
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
        const QByteArray endFrames = QByteArray::number(m_search.endOfUtteranceFrames);
        // The decoder keeps its own reference to the configuration.
        const std::unique_ptr<cmd_ln_t, ConfigFree> config(
            isComplete(m_files)
                ? cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                              dict.constData(), "-logfn", "/dev/null", "-fwdflat", m_search.flatPass ? "yes" : "no",
                              "-bestpath", "yes", "-vad_postspeech", endFrames.constData(), nullptr)
                : nullptr);
        m_decoder.reset(config ? ps_init(config.get()) : nullptr);
        if (m_decoder && m_search.spokenCommands)
            addCommandWords();
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
    state->donePosted = m_gate->post([state, outcome] { state->done.resolve(outcome); });
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

QString PocketSphinxModel::spokenForm(const QString &hypothesis)
{
    if (!hypothesis.contains(QLatin1Char('_')))
        return hypothesis;
    return QString(hypothesis).replace(QLatin1Char('_'), QLatin1Char(' ')).simplified();
}

std::optional<QString> PocketSphinxModel::pronunciation(const QString &word)
{
    const QByteArray utf8 = word.toUtf8();
    if (char *phones = ps_lookup_word(m_decoder.get(), utf8.constData())) {
        QString result = QString::fromUtf8(phones);
        std::free(phones);
        return result;
    }
    return FlitePronouncer::phones(word);
}

void PocketSphinxModel::addCommandWords()
{
    const SpokenPunctuation *commands = SpokenPunctuation::forLocale(QStringLiteral("en-US"));
    if (!commands)
        return;
    std::vector<std::pair<QByteArray, QByteArray>> words;
    for (const SpokenPunctuation::Command &command : commands->commands()) {
        const bool sentence = command.endsSentence || command.placement == SpokenPunctuation::Placement::lineBreak;
        const QByteArray &tag = sentence ? m_search.sentenceTag : m_search.clauseTag;
        for (const QString &phrase : command.phrases) {
            // The phrase as one word, spelled apart from the words it is made of, which stay as they were.
            QStringList phones;
            for (const QString &part : phrase.split(QLatin1Char(' '))) {
                const std::optional<QString> partPhones = pronunciation(part);
                if (!partPhones) {
                    phones.clear();
                    break;
                }
                phones.append(*partPhones);
            }
            const QByteArray spelling = QString(phrase).replace(QLatin1Char(' '), QLatin1Char('_')).toUtf8() + '_';
            if (!phones.isEmpty() && addToLanguageModels(spelling, {tag.constData()}))
                words.emplace_back(spelling, phones.join(QLatin1Char(' ')).toUtf8());
        }
    }
    for (std::size_t i = 0; i < words.size(); ++i)
        ps_add_word(m_decoder.get(), words[i].first.constData(), words[i].second.constData(), i + 1 == words.size());
}

bool PocketSphinxModel::knowsWord(const QString &word)
{
    for (const QString &spelling : {word, word.toLower()}) {
        const QByteArray utf8 = spelling.toUtf8();
        if (char *phones = ps_lookup_word(m_decoder.get(), utf8.constData())) {
            std::free(phones);
            return true;
        }
    }
    return false;
}

std::vector<ngram_model_t *> PocketSphinxModel::languageModels()
{
    // Every n-gram search's language model set, and in it each model that ps_add_word would extend.
    std::vector<ngram_model_t *> models;
    for (ps_search_iter_t *it = ps_search_iter(m_decoder.get()); it; it = ps_search_iter_next(it)) {
        ngram_model_t *set = ps_get_lm(m_decoder.get(), ps_search_iter_val(it));
        if (!set)
            continue;
        for (ngram_model_set_iter_t *inner = ngram_model_set_iter(set); inner;
             inner = ngram_model_set_iter_next(inner)) {
            const char *name = nullptr;
            if (ngram_model_t *model = ngram_model_set_iter_model(inner, &name))
                models.push_back(model);
        }
    }
    return models;
}

bool PocketSphinxModel::addToLanguageModels(const QByteArray &word, const std::vector<const char *> &tags)
{
    // New words join the language model as members of a class whose tag is a word the model has, so
    // they are scored like that word. ps_add_word would otherwise append them to the trie model's
    // unigrams, and the trie's search for a following word assumes ids below its original vocabulary
    // size: with an added word as history it reads past its arrays and crashes.
    bool classMade = false;
    for (ngram_model_t *model : languageModels()) {
        if (ngram_wid(model, word.constData()) != ngram_unknown_wid(model))
            continue; // already in this model: ps_add_word leaves it alone
        const char *tag = nullptr;
        for (const char *candidate : tags)
            if (ngram_wid(model, candidate) != ngram_unknown_wid(model)) {
                tag = candidate;
                break;
            }
        if (!tag)
            return false;
        char *words[] = {const_cast<char *>(word.constData())};
        float32 weights[] = {1.0f};
        // One class per word keeps each at the tag's full probability; the library allows 128 classes,
        // after which words share the first class.
        const bool added = m_classes < maxClasses
                               ? ngram_model_add_class(model, tag, 1.0f, words, weights, 1) >= 0
                               : ngram_model_add_class_word(model, tag, word.constData(), 1.0f) != NGRAM_INVALID_WID;
        if (!added || ngram_wid(model, word.constData()) == ngram_unknown_wid(model))
            return false;
        classMade = true;
    }
    if (classMade)
        ++m_classes;
    return true;
}

int PocketSphinxModel::addWords(const QStringList &strings)
{
    if (!m_decoder || !m_search.contextualVocabulary)
        return 0;
    // The same dictionary as last time adds nothing new: a large one is not walked on every dictation.
    if (strings == m_wordsAdded)
        return 0;
    static const QRegularExpression separators(QStringLiteral("[\\s,;:!?()\\[\\]{}\"/.]+"));
    std::vector<std::pair<QByteArray, QByteArray>> words;
    QSet<QString> seen;
    for (const QString &string : strings) {
        for (QString word : string.split(separators, Qt::SkipEmptyParts)) {
            while (!word.isEmpty() && !word.front().isLetter())
                word.remove(0, 1);
            while (!word.isEmpty() && !word.back().isLetter())
                word.chop(1);
            if (word.isEmpty() || seen.contains(word) || knowsWord(word))
                continue;
            seen.insert(word);
            if (const std::optional<QString> phones = FlitePronouncer::phones(word))
                if (addToLanguageModels(word.toUtf8(), {"smith", "john", "london"}))
                    words.emplace_back(word.toUtf8(), phones->toUtf8());
        }
    }
    // Rebuilding the search takes about 300 ms, so only the last word asks for it.
    int added = 0;
    for (std::size_t i = 0; i < words.size(); ++i)
        if (ps_add_word(m_decoder.get(), words[i].first.constData(), words[i].second.constData(),
                        i + 1 == words.size()) >= 0)
            ++added;
    m_wordsAdded = strings;
    return added;
}

} // namespace orv
