#pragma once

#include "base/Expected.h"
#include "library/Records.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace orv {

// Why a save did not happen; description() is the sentence the user reads after
// "Could not save your local library: ".
struct StoreError
{
    enum class Kind
    {
        unreadableLibrary, // the library could not be read at start and is kept as it is
        folder,            // the folder could not be created
        encoding,
        writing,     // the new document could not be written (full disk, read-only folder, …)
        permissions, // the new document was written but could not be made private
    };

    Kind kind = Kind::writing;
    QString path;
    QString detail; // the system's own words, when it gave any

    QString description() const;
    bool operator==(const StoreError &) const = default;
};

// The user's library (preferences, history, dictionary) in one JSON file, written atomically.
// A library that could not be read at start is never overwritten during the run.
class AppStore
{
public:
    struct Snapshot
    {
        Preferences preferences;
        QList<TranscriptRecord> history; // newest first
        QList<DictionaryEntry> dictionary;

        bool operator==(const Snapshot &) const = default;
    };

    static constexpr qsizetype historyLimit = 200;
    // The largest library read. 200 records, each holding the original and the output of a ten-minute
    // dictation (up to about 80,000 characters each), come to about 32 MB of English text; twice that
    // leaves room for other scripts and a large dictionary. Anything larger is not a library.
    static constexpr qint64 largestLibrary = 64 * 1024 * 1024;

    // Loads at once; never fails (see loadError()).
    explicit AppStore(std::optional<QString> filePath = {});

    // $XDG_DATA_HOME/orvanta/library.json
    static QString defaultFilePath();

    const QString &filePath() const { return m_filePath; }
    // The last document loaded or successfully written.
    const Snapshot &snapshot() const { return m_snapshot; }
    // Set when an existing library could not be read at start; stays set for the run.
    const std::optional<QString> &loadError() const { return m_loadError; }

    // Writes the snapshot (history capped at 200, empty when retention is off).
    Expected<void, StoreError> save(const Snapshot &snapshot);

    // The document form: indented, member names sorted, UTF-8.
    static QByteArray encode(const Snapshot &snapshot);
    static Expected<Snapshot, DecodeError> decode(const QByteArray &document);

private:
    void load();

    QString m_filePath;
    Snapshot m_snapshot;
    std::optional<QString> m_loadError;
};

} // namespace orv
