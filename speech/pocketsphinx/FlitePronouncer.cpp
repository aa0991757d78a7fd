#include "speech/pocketsphinx/FlitePronouncer.h"

#include <QStringList>

#include <mutex>

extern "C" {
#include <flite/flite.h>
cst_lexicon *cmu_lex_init(void);
}

namespace orv {

namespace {

std::mutex &fliteLock()
{
    static std::mutex lock;
    return lock;
}

// The phones of the CMU dictionary and of the recognizer's English acoustic model.
const QStringList &cmuPhones()
{
    static const QStringList phones =
        QStringLiteral("AA AE AH AO AW AY B CH D DH EH ER EY F G HH IH IY JH K L M N NG OW OY P R S "
                       "SH T TH UH UW V W Y Z ZH")
            .split(QLatin1Char(' '));
    return phones;
}

} // namespace

QString FlitePronouncer::recognizerPhone(const QString &flitePhone)
{
    QString phone = flitePhone;
    while (!phone.isEmpty() && phone.back().isDigit())
        phone.chop(1);
    if (phone == QLatin1String("ax"))
        phone = QStringLiteral("ah");
    else if (phone == QLatin1String("axr"))
        phone = QStringLiteral("er");
    return phone.toUpper();
}

std::optional<QString> FlitePronouncer::phones(const QString &word)
{
    const QString lower = word.toLower();
    if (lower.isEmpty())
        return std::nullopt;
    for (QChar c : lower)
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c == QLatin1Char('\'')))
            return std::nullopt;

    std::lock_guard guard(fliteLock()); // flite's lexicon is not thread-safe
    static cst_lexicon *lexicon = cmu_lex_init();
    if (!lexicon)
        return std::nullopt;
    const QByteArray utf8 = lower.toUtf8();
    cst_val *list = lex_lookup(lexicon, utf8.constData(), nullptr, nullptr);
    QStringList result;
    for (const cst_val *v = list; v; v = val_cdr(v)) {
        const QString phone = recognizerPhone(QString::fromUtf8(val_string(val_car(v))));
        if (phone.isEmpty() || phone == QLatin1String("PAU"))
            continue;
        if (!cmuPhones().contains(phone)) {
            result.clear();
            break;
        }
        result.append(phone);
    }
    delete_val(list);
    if (result.isEmpty())
        return std::nullopt;
    return result.join(QLatin1Char(' '));
}

} // namespace orv
