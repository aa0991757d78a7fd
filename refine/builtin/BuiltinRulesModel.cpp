#include "refine/builtin/BuiltinRulesModel.h"

#include "refine/IntelligenceFormatter.h"
#include "refine/builtin/BuiltinRules.h"

namespace orv {

namespace {

class BuiltinRulesSession final : public LanguageModelSession
{
public:
    explicit BuiltinRulesSession(QString instructions) : m_instructions(std::move(instructions)) {}

    Task<Expected<QString, ModelError>> respond(QString prompt, GenerationOptions options) override
    {
        Q_UNUSED(options);
        CancelToken token = co_await currentCancellation();
        if (token->isCancelled())
            co_return unexpected(ModelError::cancellation());
        co_return BuiltinRulesModel::answer(m_instructions, prompt);
    }

private:
    QString m_instructions;
};

// The dictation between the prompt's tags; the whole prompt when it has none.
QString dictationOf(const QString &prompt)
{
    const QString open = QStringLiteral("<dictation>\n");
    const QString close = QStringLiteral("\n</dictation>");
    const qsizetype start = prompt.indexOf(open);
    const qsizetype end = prompt.lastIndexOf(close);
    if (start < 0 || end < start + open.size())
        return prompt;
    return prompt.mid(start + open.size(), end - start - open.size());
}

// The user's preferred spellings, from the instructions' vocabulary line ("heard → replacement; …").
QStringList preferredSpellings(const QString &instructions)
{
    static const QString lead = QStringLiteral("Preferred vocabulary spellings, when clearly applicable: ");
    const qsizetype start = instructions.indexOf(lead);
    if (start < 0)
        return {};
    const qsizetype from = start + lead.size();
    const qsizetype end = instructions.indexOf(QLatin1Char('\n'), from);
    QStringList spellings;
    const QStringList entries = instructions.mid(from, end < 0 ? -1 : end - from).split(QStringLiteral("; "));
    for (const QString &entry : entries) {
        const qsizetype arrow = entry.indexOf(QStringLiteral(" → "));
        if (arrow >= 0)
            spellings.append(entry.mid(arrow + 3));
    }
    return spellings;
}

} // namespace

QString BuiltinRulesModel::displayName() const
{
    return QStringLiteral("Built-in rules");
}

int BuiltinRulesModel::estimatedTokens(const QString &text)
{
    qsizetype words = 0;
    qsizetype punctuation = 0;
    bool inWord = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            inWord = false;
        } else {
            if (!inWord)
                ++words;
            inWord = true;
            if (c.isPunct() || c.isSymbol())
                ++punctuation;
        }
    }
    return int((words * 4 + 2) / 3 + punctuation);
}

Task<Expected<int, ModelError>> BuiltinRulesModel::tokenCount(QString text)
{
    co_return estimatedTokens(text);
}

std::shared_ptr<LanguageModelSession> BuiltinRulesModel::makeSession(QString instructions)
{
    return std::make_shared<BuiltinRulesSession>(std::move(instructions));
}

QString BuiltinRulesModel::answer(const QString &instructions, const QString &prompt)
{
    const QString dictation = dictationOf(prompt);
    const QStringList spellings = preferredSpellings(instructions);
    if (instructions.contains(IntelligenceFormatter::modeInstruction(DictationMode::structured)))
        return BuiltinRules::structure(dictation, spellings);
    return BuiltinRules::clean(dictation, spellings);
}

} // namespace orv
