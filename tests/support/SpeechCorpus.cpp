#include "tests/support/SpeechCorpus.h"

#include "tests/support/ChildProcess.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <numeric>
#include <utility>

namespace orv::test::speechCorpus {

QList<Sentence> everydaySentences()
{
    const QStringList texts{
        QStringLiteral("the quick brown fox jumps over the lazy dog"),
        QStringLiteral("please send the quarterly report to the finance team by friday"),
        QStringLiteral("i will meet you at the train station in the morning"),
        QStringLiteral("can you remind me to call my mother this evening"),
        QStringLiteral("the weather today is cold and rainy with strong winds"),
        QStringLiteral("we need to buy milk bread and eggs from the store"),
        QStringLiteral("the meeting has been moved to three o'clock on thursday"),
        QStringLiteral("my flight leaves early tomorrow so i have to pack tonight"),
        QStringLiteral("she reads a book every night before going to sleep"),
        QStringLiteral("the children played in the park until it got dark"),
        QStringLiteral("turn left at the next corner and drive two more miles"),
        QStringLiteral("thank you for your help with the project last week"),
        QStringLiteral("the restaurant on main street serves very good food"),
        QStringLiteral("i think we should start the presentation with a short summary"),
        QStringLiteral("he forgot his keys at the office again"),
        QStringLiteral("the new software update fixes several important problems"),
        QStringLiteral("let us schedule a call for next monday afternoon"),
        QStringLiteral("the price of the house was higher than we expected"),
        QStringLiteral("please close the window because it is getting cold"),
        QStringLiteral("our team won the game by two points last night"),
        QStringLiteral("do not forget to water the plants while i am away"),
        QStringLiteral("the doctor said i should drink more water every day"),
    };
    const QStringList all = voices();
    QList<Sentence> sentences;
    for (int i = 0; i < texts.size(); ++i)
        sentences.append(Sentence{texts[i], all[i % all.size()]});
    return sentences;
}

QStringList voices()
{
    return {QStringLiteral("slt"), QStringLiteral("awb"), QStringLiteral("rms"), QStringLiteral("kal16")};
}

QStringList unknownNames()
{
    return {QStringLiteral("Kubernetes"), QStringLiteral("Grafana"), QStringLiteral("Okonkwo"),
            QStringLiteral("Brightwater"), QStringLiteral("Adebayo")};
}

QStringList commandTexts()
{
    return {
        QStringLiteral("is the meeting at noon question mark"),
        QStringLiteral("thanks new paragraph see you tomorrow exclamation mark"),
        QStringLiteral("please call me back comma after lunch period"),
        QStringLiteral("dear anna comma thanks for the notes period new paragraph see you on monday question mark"),
        QStringLiteral("we need three things colon bread comma milk and eggs period"),
        QStringLiteral("the results were good semicolon the costs were not full stop"),
        QStringLiteral("she said open quote we are ready close quote and left period"),
        QStringLiteral("the report open parenthesis the draft close parenthesis is attached period"),
        QStringLiteral("first line new line second line period"),
        QStringLiteral("this is a well hyphen known problem dash sadly exclamation point"),
    };
}

QList<Sentence> nameSentences()
{
    return {
        Sentence{QStringLiteral("we deployed the service on kubernetes yesterday"), QStringLiteral("slt")},
        Sentence{QStringLiteral("please open the grafana dashboard for the servers"), QStringLiteral("slt")},
        Sentence{QStringLiteral("the package for okonkwo arrived this morning"), QStringLiteral("slt")},
        Sentence{QStringLiteral("the brightwater office is closed on monday"), QStringLiteral("slt")},
        Sentence{QStringLiteral("adebayo will join the call later today"), QStringLiteral("slt")},
        Sentence{QStringLiteral("we moved the database to kubernetes last week"), QStringLiteral("awb")},
        Sentence{QStringLiteral("grafana shows the error rate for this afternoon"), QStringLiteral("awb")},
        Sentence{QStringLiteral("okonkwo is leading the new project"), QStringLiteral("awb")},
        Sentence{QStringLiteral("the team from brightwater visited us"), QStringLiteral("awb")},
        Sentence{QStringLiteral("please ask adebayo about the budget"), QStringLiteral("awb")},
    };
}

std::optional<QString> missingTools()
{
    if (QStandardPaths::findExecutable(QStringLiteral("flite")).isEmpty())
        return QStringLiteral("flite is not installed (apt-get install flite)");
    if (!QFileInfo::exists(QStringLiteral("/usr/share/pocketsphinx/model/en-us/en-us/mdef")))
        return QStringLiteral("the PocketSphinx English model is not installed (apt-get install pocketsphinx-en-us)");
    return std::nullopt;
}

bool synthesize(const QString &text, const QString &voice, const QString &path)
{
    return ChildProcess::execute(
               QStringLiteral("flite"),
               {QStringLiteral("-voice"), voice, QStringLiteral("-t"), text, QStringLiteral("-o"), path}, 30000) == 0 &&
           QFileInfo(path).size() > 44;
}

bool convert(const QString &from, const QString &to, const QStringList &soxOutputOptions)
{
    return ChildProcess::execute(QStringLiteral("sox"), QStringList{from} + soxOutputOptions + QStringList{to},
                                 30000) == 0;
}

bool referenceDecoderInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pocketsphinx_continuous")).isEmpty();
}

std::optional<QString> referenceTranscript(const QString &path)
{
    if (!referenceDecoderInstalled())
        return std::nullopt;
    const QStringList arguments =
        QStringLiteral("-hmm %1en-us -lm %1en-us.lm.bin -dict %1cmudict-en-us.dict -logfn /dev/null -infile")
            .arg(QStringLiteral("/usr/share/pocketsphinx/model/en-us/"))
            .split(QLatin1Char(' ')) +
        QStringList{path};
    QByteArray transcript;
    if (ChildProcess::execute(QStringLiteral("pocketsphinx_continuous"), arguments, 120000, &transcript) != 0)
        return std::nullopt;
    // One line per utterance.
    return QString::fromUtf8(transcript).simplified();
}

QStringList words(const QString &text)
{
    static const QRegularExpression notWord(QStringLiteral("[^a-z0-9']+"));
    return text.toLower().split(notWord, Qt::SkipEmptyParts);
}

int wordErrors(const QString &reference, const QString &hypothesis)
{
    const QStringList ref = words(reference);
    const QStringList hyp = words(hypothesis);
    // One row of the edit-distance table at a time; `diagonal` is the cell above and to the left.
    QList<int> row(hyp.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (qsizetype i = 1; i <= ref.size(); ++i) {
        int diagonal = std::exchange(row[0], int(i));
        for (qsizetype j = 1; j <= hyp.size(); ++j)
            diagonal = std::exchange(
                row[j], std::min({diagonal + (ref[i - 1] == hyp[j - 1] ? 0 : 1), row[j] + 1, row[j - 1] + 1}));
    }
    return row.back();
}

} // namespace orv::test::speechCorpus
