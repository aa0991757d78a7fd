#include "library/AppStore.h"

#include "base/DurableFile.h"
#include "base/FileRead.h"
#include "base/OwnedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <QStandardPaths>
#include <future>

#include <unistd.h>

namespace orv {

namespace {

constexpr QFile::Permissions privateFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions privateFile = QFile::ReadOwner | QFile::WriteOwner;

QString quoted(const QString &text)
{
    return QStringLiteral("“") + text + QStringLiteral("”");
}

// Creates the folder and any missing parents, each owner-only; an existing folder is left as it is.
bool makePrivateFolder(const QString &path)
{
    QStringList missing;
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(current).exists()) {
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    if (!QFileInfo(current).isDir())
        return false;
    for (const QString &folder : missing) {
        if (!QDir().mkdir(folder, privateFolder) && !QFileInfo(folder).isDir())
            return false;
    }
    return true;
}

QJsonArray arrayOf(const auto &list)
{
    QJsonArray array;
    for (const auto &item : list)
        array.append(toJson(item));
    return array;
}

template <typename T, typename Decode>
Expected<QList<T>, DecodeError>
listFrom(const QJsonObject &document, const QString &member, const QString &itemName, Decode decode)
{
    const auto it = document.constFind(member);
    if (it == document.constEnd())
        return unexpected(DecodeError{QStringLiteral("the member %1 of the library is missing").arg(quoted(member))});
    if (!it->isArray())
        return unexpected(
            DecodeError{QStringLiteral("the member %1 of the library is not a list").arg(quoted(member))});
    const QJsonArray array = it->toArray();
    // The place is named only in an error: formatting it for each of 100,000 entries cost a tenth of a start.
    const auto where = [&itemName](qsizetype i) { return QStringLiteral("%1 %2").arg(itemName).arg(i + 1); };
    const auto decodeRange = [&](const QJsonArray &items, qsizetype from,
                                 qsizetype to) -> Expected<QList<T>, DecodeError> {
        QList<T> decoded;
        decoded.reserve(to - from);
        for (qsizetype i = from; i < to; ++i) {
            const QJsonValue value = items.at(i);
            if (!value.isObject())
                return unexpected(DecodeError{QStringLiteral("%1 is not an object").arg(where(i))});
            const QJsonObject object = value.toObject();
            auto item = decode(object, QString());
            if (!item)
                return unexpected(decode(object, where(i)).error());
            decoded.append(std::move(item).value());
        }
        return decoded;
    };
    // A large dictionary is decoded in two halves at once; each thread reads its own copy of the array.
    constexpr qsizetype splitAbove = 8192;
    if (array.size() <= splitAbove)
        return decodeRange(array, 0, array.size());
    const qsizetype half = array.size() / 2;
    auto second = std::async(std::launch::async, decodeRange, QJsonArray(array), half, array.size());
    auto items = decodeRange(array, 0, half);
    auto rest = second.get();
    if (!items)
        return items;
    if (!rest)
        return rest;
    items.value().append(std::move(rest).value());
    return items;
}

} // namespace

QString StoreError::description() const
{
    const QString name = quoted(QFileInfo(path).fileName());
    const QString because = detail.isEmpty() ? QStringLiteral(".") : QStringLiteral(": %1.").arg(detail);
    switch (kind) {
    case Kind::unreadableLibrary:
        return QStringLiteral("The file %1 could not be read when Orvanta started, so it is left as it is.").arg(name);
    case Kind::folder:
        return QStringLiteral("The folder %1 could not be created.").arg(quoted(path));
    case Kind::encoding:
        return QStringLiteral("The library could not be encoded.");
    case Kind::writing:
        return QStringLiteral("The file %1 could not be written").arg(name) + because;
    case Kind::permissions:
        return QStringLiteral("The file %1 could not be made private to you").arg(name) + because;
    }
    return {};
}

AppStore::AppStore(std::optional<QString> filePath) : m_filePath(filePath ? *filePath : defaultFilePath())
{
    load();
}

QString AppStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/orvanta/library.json");
}

void AppStore::load()
{
    const QString kept = QStringLiteral("Your saved library could not be read. It has been kept on disk: ");
    const QString name = quoted(QFileInfo(m_filePath).fileName());
    // A folder other accounts could write to lets them put their own library in place of the user's: an
    // existing folder must be the user's, and is made owner-only when it is.
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (QFileInfo(folder).isDir()) {
        const Expected<int, QString> trusted = owned::openTrustedFolder(folder);
        if (!trusted) {
            m_loadError =
                kept + QStringLiteral("its folder %1 cannot be trusted: %2.").arg(quoted(folder), trusted.error());
            return;
        }
        ::close(trusted.value());
    }
    auto bytes = readPrivateFile(m_filePath, largestLibrary);
    if (!bytes) {
        const FileReadError &error = bytes.error();
        switch (error.kind) {
        case FileReadError::Kind::missing:
            if (!QFileInfo(m_filePath).isSymLink()) {
                DurableFile::removeLeftovers(m_filePath);
                return; // a first run: defaults, nothing written yet
            }
            m_loadError = kept + QStringLiteral("%1 is a link to a file that does not exist.").arg(name);
            return;
        case FileReadError::Kind::notRegular:
            m_loadError = kept + QStringLiteral("%1 is not a regular file: %2.").arg(name, error.reason);
            return;
        case FileReadError::Kind::tooLarge:
            m_loadError = kept + QStringLiteral("%1 is too large to be a library: %2.").arg(name, error.reason);
            return;
        case FileReadError::Kind::foreign:
            m_loadError = kept + QStringLiteral("%1 is not yours to trust: %2.").arg(name, error.reason);
            return;
        case FileReadError::Kind::unreadable:
            m_loadError = kept + QStringLiteral("the file could not be read (%1).").arg(error.reason);
            return;
        }
    }
    auto decoded = decode(bytes.value());
    if (!decoded) {
        m_loadError = kept + decoded.error().message + QLatin1Char('.');
        return;
    }
    m_snapshot = std::move(decoded).value();
    DurableFile::removeLeftovers(m_filePath);
}

QByteArray AppStore::encode(const Snapshot &snapshot)
{
    const QJsonObject document{
        {QStringLiteral("preferences"), toJson(snapshot.preferences)},
        {QStringLiteral("history"), arrayOf(snapshot.history)},
        {QStringLiteral("dictionary"), arrayOf(snapshot.dictionary)},
    };
    // QJsonObject keeps its members sorted by name, so the text is the same for the same snapshot.
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

Expected<AppStore::Snapshot, DecodeError> AppStore::decode(const QByteArray &document)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(document, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return unexpected(DecodeError{QStringLiteral("it is not valid JSON (%1 at byte %2)")
                                          .arg(parseError.errorString())
                                          .arg(parseError.offset)});
    if (!json.isObject())
        return unexpected(DecodeError{QStringLiteral("it is not a JSON object")});
    const QJsonObject object = json.object();

    Snapshot snapshot;
    const auto preferences = object.constFind(QStringLiteral("preferences"));
    if (preferences == object.constEnd())
        return unexpected(DecodeError{QStringLiteral("the member “preferences” of the library is missing")});
    if (!preferences->isObject())
        return unexpected(DecodeError{QStringLiteral("the member “preferences” of the library is not an object")});
    auto decodedPreferences = preferencesFromJson(preferences->toObject());
    if (!decodedPreferences)
        return unexpected(decodedPreferences.error());
    snapshot.preferences = decodedPreferences.value();

    auto history = listFrom<TranscriptRecord>(
        object, QStringLiteral("history"), QStringLiteral("history record"),
        [](const QJsonObject &item, const QString &where) { return transcriptRecordFromJson(item, where); });
    if (!history)
        return unexpected(history.error());
    snapshot.history = std::move(history).value();

    auto dictionary = listFrom<DictionaryEntry>(
        object, QStringLiteral("dictionary"), QStringLiteral("dictionary entry"),
        [](const QJsonObject &item, const QString &where) { return dictionaryEntryFromJson(item, where); });
    if (!dictionary)
        return unexpected(dictionary.error());
    snapshot.dictionary = std::move(dictionary).value();
    return snapshot;
}

Expected<void, StoreError> AppStore::save(const Snapshot &given)
{
    if (m_loadError)
        return unexpected(StoreError{StoreError::Kind::unreadableLibrary, m_filePath, {}});

    Snapshot prepared{given.preferences, {}, given.dictionary};
    if (given.preferences.retainHistory)
        prepared.history = given.history.first(std::min(given.history.size(), historyLimit));

    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!makePrivateFolder(folder))
        return unexpected(StoreError{StoreError::Kind::folder, folder, {}});

    const QByteArray bytes = encode(prepared);
    if (bytes.isEmpty())
        return unexpected(StoreError{StoreError::Kind::encoding, m_filePath, {}});

    // A crash or a full disk leaves the old document or the new one, never a mix or an empty file.
    if (auto written = DurableFile::replace(m_filePath, bytes); !written)
        return unexpected(StoreError{StoreError::Kind::writing, m_filePath, written.error()});

    constexpr QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                            QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                                            QFile::ExeOther;
    if (!QFile::setPermissions(m_filePath, privateFile) || (QFile::permissions(m_filePath) & modeBits) != privateFile)
        return unexpected(StoreError{StoreError::Kind::permissions, m_filePath, {}});

    m_snapshot = std::move(prepared);
    return {};
}

} // namespace orv
