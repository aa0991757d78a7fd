#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace orv {

// Punctuation and line breaks said as words ("comma", "question mark", "new paragraph"), turned into
// the marks, with the spacing and capitals around them; "literal" before a command keeps its words.
// One table per language; a recognizer's own punctuation next to a spoken mark gives way to it.
class SpokenPunctuation
{
public:
    enum class Placement
    {
        closing, // no space before, one after: , . ? ! : ; ) ”
        opening, // a space before, none after: ( “
        joining, // no space on either side: -
        spaced,  // the mark brings its own spaces: " – "
        lineBreak,
    };

    struct Command
    {
        QStringList phrases; // lower case; the first is the one recognizers are told to expect
        QString mark;        // for a line break: "\n" or "\n\n"
        Placement placement = Placement::closing;
        bool endsSentence = false; // the next word starts with a capital
    };

    struct Language
    {
        QString literal; // the escape word
        QList<Command> commands;
    };

    // The table for a locale identifier ("en-US"), or nullptr where the language has none.
    static const SpokenPunctuation *forLocale(const QString &locale);
    static const SpokenPunctuation &english();

    explicit SpokenPunctuation(Language language);

    // The recognized text with its spoken commands carried out.
    QString apply(const QString &text) const;
    const QList<Command> &commands() const { return m_language.commands; }
    // Every phrase of every command.
    QStringList phrases() const;
    // One phrase per command (for recognizers that take a prompt).
    QStringList expectedPhrases() const;

private:
    struct Match
    {
        const Command *command = nullptr;
        qsizetype length = 0; // tokens
    };
    Match match(const QStringList &words, qsizetype at) const;

    Language m_language;
};

} // namespace orv
