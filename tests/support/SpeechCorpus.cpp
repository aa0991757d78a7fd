#include "tests/support/SpeechCorpus.h"

#include "tests/support/ChildProcess.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <numeric>
#include <utility>

using namespace Qt::StringLiterals;

namespace orv::test::speechCorpus {

QList<Sentence> everydaySentences()
{
    const QStringList texts{
        u"the quick brown fox jumps over the lazy dog"_s,
        u"please send the quarterly report to the finance team by friday"_s,
        u"i will meet you at the train station in the morning"_s,
        u"can you remind me to call my mother this evening"_s,
        u"the weather today is cold and rainy with strong winds"_s,
        u"we need to buy milk bread and eggs from the store"_s,
        u"the meeting has been moved to three o'clock on thursday"_s,
        u"my flight leaves early tomorrow so i have to pack tonight"_s,
        u"she reads a book every night before going to sleep"_s,
        u"the children played in the park until it got dark"_s,
        u"turn left at the next corner and drive two more miles"_s,
        u"thank you for your help with the project last week"_s,
        u"the restaurant on main street serves very good food"_s,
        u"i think we should start the presentation with a short summary"_s,
        u"he forgot his keys at the office again"_s,
        u"the new software update fixes several important problems"_s,
        u"let us schedule a call for next monday afternoon"_s,
        u"the price of the house was higher than we expected"_s,
        u"please close the window because it is getting cold"_s,
        u"our team won the game by two points last night"_s,
        u"do not forget to water the plants while i am away"_s,
        u"the doctor said i should drink more water every day"_s,
    };
    const QStringList all = voices();
    QList<Sentence> sentences;
    for (int i = 0; i < texts.size(); ++i)
        sentences.append(Sentence{texts[i], all[i % all.size()]});
    return sentences;
}

QStringList voices()
{
    return {u"slt"_s, u"awb"_s, u"rms"_s, u"kal16"_s};
}

QStringList unknownNames()
{
    return {u"Kubernetes"_s, u"Grafana"_s, u"Okonkwo"_s, u"Brightwater"_s, u"Adebayo"_s};
}

QStringList commandTexts()
{
    return {
        u"is the meeting at noon question mark"_s,
        u"thanks new paragraph see you tomorrow exclamation mark"_s,
        u"please call me back comma after lunch period"_s,
        u"dear anna comma thanks for the notes period new paragraph see you on monday question mark"_s,
        u"we need three things colon bread comma milk and eggs period"_s,
        u"the results were good semicolon the costs were not full stop"_s,
        u"she said open quote we are ready close quote and left period"_s,
        u"the report open parenthesis the draft close parenthesis is attached period"_s,
        u"first line new line second line period"_s,
        u"this is a well hyphen known problem dash sadly exclamation point"_s,
    };
}

QList<Sentence> nameSentences()
{
    return {
        Sentence{u"we deployed the service on kubernetes yesterday"_s, u"slt"_s},
        Sentence{u"please open the grafana dashboard for the servers"_s, u"slt"_s},
        Sentence{u"the package for okonkwo arrived this morning"_s, u"slt"_s},
        Sentence{u"the brightwater office is closed on monday"_s, u"slt"_s},
        Sentence{u"adebayo will join the call later today"_s, u"slt"_s},
        Sentence{u"we moved the database to kubernetes last week"_s, u"awb"_s},
        Sentence{u"grafana shows the error rate for this afternoon"_s, u"awb"_s},
        Sentence{u"okonkwo is leading the new project"_s, u"awb"_s},
        Sentence{u"the team from brightwater visited us"_s, u"awb"_s},
        Sentence{u"please ask adebayo about the budget"_s, u"awb"_s},
    };
}

std::optional<QString> missingTools()
{
    if (QStandardPaths::findExecutable(u"flite"_s).isEmpty())
        return u"flite is not installed (apt-get install flite)"_s;
    if (!QFileInfo::exists(u"/usr/share/pocketsphinx/model/en-us/en-us/mdef"_s))
        return u"the PocketSphinx English model is not installed (apt-get install pocketsphinx-en-us)"_s;
    return std::nullopt;
}

bool synthesize(const QString &text, const QString &voice, const QString &path)
{
    return ChildProcess::execute(u"flite"_s, {u"-voice"_s, voice, u"-t"_s, text, u"-o"_s, path}, 30000) == 0 &&
           QFileInfo(path).size() > 44;
}

bool convert(const QString &from, const QString &to, const QStringList &soxOutputOptions)
{
    return ChildProcess::execute(u"sox"_s, QStringList{from} + soxOutputOptions + QStringList{to}, 30000) == 0;
}

bool referenceDecoderInstalled()
{
    return !QStandardPaths::findExecutable(u"pocketsphinx_continuous"_s).isEmpty();
}

std::optional<QString> referenceTranscript(const QString &path)
{
    const QStringList arguments =
        u"-hmm %1en-us -lm %1en-us.lm.bin -dict %1cmudict-en-us.dict -logfn /dev/null -infile"_s
            .arg(u"/usr/share/pocketsphinx/model/en-us/"_s)
            .split(QLatin1Char(' ')) +
        QStringList{path};
    QByteArray transcript;
    if (ChildProcess::execute(u"pocketsphinx_continuous"_s, arguments, 120000, &transcript) != 0)
        return std::nullopt;
    // One line per utterance.
    return QString::fromUtf8(transcript).simplified();
}

QStringList words(const QString &text)
{
    static const QRegularExpression notWord(u"[^a-z0-9']+"_s);
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
