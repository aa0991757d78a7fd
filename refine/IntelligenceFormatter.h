#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "base/Task.h"
#include "refine/AbstractFormatter.h"
#include "refine/FormatterError.h"
#include "refine/LanguageModel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace orv {

// Rewrites a dictation with the language model in the Clean and Structured modes, piece by piece, each
// request bounded by a deadline and its answer checked for changed content. Every failure keeps the
// unformatted text and says why in the notice.
class IntelligenceFormatter final : public AbstractFormatter
{
public:
    static constexpr qsizetype longestFormattedText = 20000; // characters, after trimming
    static constexpr int tokenReserve = 1300;
    static constexpr int smallestBudget = 256; // the budget must exceed this
    static constexpr qsizetype largestPiece = 1800;
    static constexpr qsizetype offeredVocabulary = 60;
    static constexpr int maximumResponseTokens = 1200;

    // speechEngineName labels unformatted output ("PocketSphinx"). The model is owned for the whole run;
    // it is asked at once, in the background, whether it is there (see onModelChange).
    IntelligenceFormatter(Scheduler &scheduler, std::unique_ptr<LanguageModel> model, QString speechEngineName);
    ~IntelligenceFormatter() override;

    Task<FormattingResult> format(QString text, DictationMode mode, QList<DictionaryEntry> dictionary) override;
    QString statusText() const override;
    QString modelDisplayName() const override;
    // Starts refreshModel() unless one is still out. format() never waits for it: a formatting uses what
    // the last answer said, and waits only for the very first answer.
    void checkModel() override;

    LanguageModel &model() const { return *m_model; }
    // Asks the model afresh whether it is there (a local server may have started or stopped).
    Task<void> refreshModel() override;
    QString serverStatus() const override;
    // Called after a refresh changed statusText() or modelDisplayName().
    std::function<void()> onModelChange;

    // One request under the response deadline; cancelling the awaiting task resumes it at once.
    Task<Expected<QString, ResponseError>> respond(std::shared_ptr<LanguageModelSession> session, QString prompt);

    static QString statusText(const ModelAvailability &availability, const QString &modelName);
    static QString instructions(DictationMode mode, const QList<DictionaryEntry> &dictionary);
    static QString modeInstruction(DictationMode mode);
    static QString prompt(const QString &piece);
    static QStringList chunks(const QString &text, qsizetype limit);

    static bool
    preservesContent(const QString &source, const QString &answer, const QList<DictionaryEntry> &dictionary);
    static QStringList numbers(const QString &text);
    static QStringList links(const QString &text);
    static QStringList negationMarkers(const QString &text);
    // The marks only the speaker puts into a dictation: each of ? ! ( ) “ ” counted, and the line breaks
    // (a run counting at most two, a blank line). A formatter may add to them, never take one away.
    static QList<int> speakersMarks(const QString &text);
    // The pieces joined again: in Clean mode with a space, or with the line breaks the cut fell on.
    static QString
    joinPieces(const QString &text, const QStringList &pieces, const QStringList &answers, DictationMode mode);

private:
    FormattingResult unformatted(const QString &text, std::optional<QString> notice = std::nullopt) const;
    QString noticeFor(const ResponseError &error, const QString &modelName) const;

    Scheduler &m_scheduler;
    std::unique_ptr<LanguageModel> m_model;
    QString m_speechEngineName;
    Task<void> m_firstCheck; // asked at construction
    Task<void> m_lastCheck;
    // Expires with this formatter: a task resumed after it is gone touches nothing of it.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};

} // namespace orv
