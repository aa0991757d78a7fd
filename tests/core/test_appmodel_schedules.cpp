// Random schedules of everything that can happen to a dictation, in virtual time over the fakes; after every
// step the model must still tell the truth. A failure prints its seed and the steps that led to it;
// ORVANTA_SCHEDULE_SEED=<seed> ORVANTA_SCHEDULES=1 replays exactly that schedule.
#include "tests/core/AppModelHarness.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>
#include <sys/stat.h>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;
using Phase = RecordingPhase;
using Outcome = DeliveryResult::Outcome;
using Kind = SpeechEngineError::Kind;
using StartResult = FakeSpeechEngine::StartResult;

namespace {

// Everything a user or a window can see, and what reached the outside.
struct Observed
{
    Phase phase = Phase::idle;
    QString status;
    std::optional<QString> error;
    QString live;
    QString lastDelivery;
    std::optional<DeliveryResult> lastDeliveryResult;
    QList<QUuid> history;
    std::optional<QUuid> lastResult;
    QByteArray library;
    qsizetype delivered = 0;
    qsizetype formatted = 0;
    bool timer = false;
    bool fnOwns = false;

    bool operator==(const Observed &) const = default;
};

// Statuses each phase may show.
bool statusFits(Phase phase, const QString &status)
{
    static const QStringList idle = u"Ready|Cancelled|Microphone access needed|Inserted|Sent|Could not "
                                    "start dictation|Not inserted|Recording stopped|Dictation "
                                    "interrupted|No speech detected"_s.split(u'|');
    switch (phase) {
    case Phase::idle:
        return idle.contains(status) || status.startsWith(u"Copied · "_s) || status.startsWith(u"Learned "_s);
    case Phase::preparing:
        return status == u"Preparing…"_s;
    case Phase::recording:
        return status == u"Listening…"_s;
    case Phase::processing:
        return status == u"Finishing…"_s || status == u"Formatting…"_s || status == u"Inserting…"_s;
    }
    return false;
}

class Schedule : AppModelFakes
{
public:
    Schedule(unsigned seed, const QString &libraryPath) : m_random(seed), m_libraryPath(libraryPath)
    {
        QFile::remove(libraryPath);
        permissionsFake->microphone = pick(3) ? AuthorizationStatus::authorized : AuthorizationStatus::notDetermined;
        permissionsFake->speech = pick(3) ? AuthorizationStatus::authorized : AuthorizationStatus::notDetermined;
        m_model = std::make_unique<AppModel>(services(m_scheduler, libraryPath));
        m_scheduler.runPending();
        varyServices();
    }

    // What the schedules went through, for the figures printed at the end.
    struct Tally
    {
        long steps = 0;
        long outcomes = 0;     // dictations that reached their delivery outcome
        long staleAnswers = 0; // answers for sessions already over
        long cancels = 0;
        long saves = 0; // steps after which the library file had changed
    };

    // Runs `steps` random steps; the first broken rule, with the steps before it, or nothing.
    std::optional<std::string> run(int steps, Tally &tally)
    {
        Observed seen = observe();
        for (int i = 0; i < steps; ++i) {
            const bool mustStayStill = step();
            m_scheduler.runPending();
            noteNewReplies();
            Observed now = observe();
            ++tally.steps;
            tally.staleAnswers += mustStayStill;
            tally.saves += now.library != seen.library;
            tally.outcomes += seen.phase != Phase::idle && now.phase == Phase::idle && now.lastDeliveryResult;
            if (auto broken = check(seen, now, mustStayStill))
                return *broken + "\nsteps:\n" + m_log.str();
            seen = std::move(now);
        }
        tally.cancels += m_cancels;
        return std::nullopt;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    // Each service either answers at once or waits for a later step to answer.
    void varyServices()
    {
        const int start = pick(6);
        const StartResult started =
            start < 4 ? StartResult() : unexpected(SpeechEngineError{Kind::microphoneUnavailable, {}});
        speechFake->startAnswer = start == 4 ? std::nullopt : std::optional(started);
        formatterFake->echo = pick(2) == 0;
        deliveryFake->answer =
            pick(2) ? std::optional(DeliveryResult{Outcome(pick(4)), u"Delivered."_s}) : std::nullopt;
        m_log << "  services: start " << (speechFake->startAnswer ? "at once" : "held") << ", format "
              << (formatterFake->echo ? "at once" : "held") << ", deliver "
              << (deliveryFake->answer ? "at once" : "held") << '\n';
    }

    int serial(const QUuid &session)
    {
        if (!m_serials.contains(session))
            m_serials.insert(session, int(m_serials.size()));
        return m_serials.value(session);
    }

    // The session a text was dictated in: finished transcripts carry their session's serial.
    static std::optional<int> tagOf(const QString &value)
    {
        static const QRegularExpression tag(u"\\bs(\\d+)x\\b"_s);
        const QRegularExpressionMatch match = tag.match(value);
        return match.hasMatch() ? std::optional(match.captured(1).toInt()) : std::nullopt;
    }

    // Replies that appeared during the last step belong to the session current after it.
    void noteNewReplies()
    {
        const int current = serial(m_model->sessionID());
        m_startTags.resize(speechFake->startReplies.size(), current);
        m_finishTags.resize(speechFake->finishReplies.size(), current);
        m_deliverTags.resize(deliveryFake->replies.size(), current);
        while (m_formatTags.size() < formatterFake->replies.size()) {
            m_formatTags.append(current);
            m_formatTexts.append(formatterFake->calls.last().text);
        }
    }

    Observed observe()
    {
        Observed seen;
        seen.phase = m_model->phase();
        seen.status = m_model->status();
        seen.error = m_model->errorMessage();
        seen.live = m_model->liveTranscript();
        seen.lastDelivery = m_model->lastDelivery();
        seen.lastDeliveryResult = m_model->lastDeliveryResult();
        for (const TranscriptRecord &record : m_model->history())
            seen.history.append(record.id);
        if (m_model->lastResult())
            seen.lastResult = m_model->lastResult()->id;
        // Every save replaces the file by a new one: the same inode is the same document.
        struct stat info = {};
        if (::stat(m_libraryFile.constData(), &info) == 0) {
            if (info.st_ino != m_libraryInode) {
                QFile file(m_libraryPath);
                m_libraryBytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                m_libraryInode = info.st_ino;
            }
            seen.library = m_libraryBytes;
        }
        seen.delivered = deliveryFake->deliverCalls.size();
        seen.formatted = formatterFake->calls.size();
        seen.timer = m_model->hasTimer();
        seen.fnOwns = m_model->fnOwnsRecording();
        return seen;
    }

    struct Pending
    {
        qsizetype index;
        bool stale; // its session is over
    };

    // An unanswered reply, chosen at random.
    template <typename T>
    std::optional<Pending> pendingReply(const QList<AsyncValue<T>> &replies, const QList<int> &tags)
    {
        // Mostly the current session's, so that dictations get through; sometimes one of a session over.
        const int current = serial(m_model->sessionID());
        QList<qsizetype> open[2];
        for (qsizetype i = 0; i < replies.size(); ++i)
            if (!replies[i].isResolved())
                open[tags.value(i, -1) != current].append(i);
        const int side = open[0].isEmpty() ? 1 : open[1].isEmpty() ? 0 : int(pick(4) == 0);
        if (open[side].isEmpty())
            return std::nullopt;
        const qsizetype index = open[side][pick(int(open[side].size()))];
        return Pending{index, side == 1};
    }

    // A step that only acts: it answers no session that is over.
    bool act(const char *name, const std::function<void()> &action)
    {
        m_log << name << '\n';
        action();
        return false;
    }

    // One random step; true when it answers only a session that is over, so nothing may change.
    bool step()
    {
        AppModel &m = *m_model;
        const int current = serial(m.sessionID());
        // Weighted so that many dictations get through to their outcome between the interruptions.
        static const std::array<int, 23> weights{
            // toggle, -, start, finish, cancel, hold begin, hold finish, hold cancel, speech failure
            8, 0, 1, 3, 1, 3, 3, 1, 1,
            // answers: start, -, finish, -, formatter, delivery, permission; undetermined again
            6, 0, 8, 0, 6, 6, 4, 1,
            // library, onboarding reset, time, level and words, services, correction
            3, 1, 3, 1, 2, 1};
        static std::discrete_distribution<int> action(weights.begin(), weights.end());
        int chosen = action(m_random);
        // Idle steps that change nothing are wasted; begin and end dictations more often than the rest.
        if (m.phase() == Phase::idle && pick(3) == 0)
            chosen = pick(2) ? 0 : 5;
        else if (m.phase() == Phase::recording && pick(4) == 0)
            chosen = m.fnOwnsRecording() ? 6 : 0;
        switch (chosen) {
        case 0:
            return act("toggle", [&m] { m.toggle(); });
        case 2:
            if (m.phase() == Phase::idle)
                act("start", [&m] { m.startDictation(); });
            return false;
        case 3:
            return act("finish", [&m] { m.finishDictation(); });
        case 4:
            cancelled(current);
            return act("cancel", [&m] { m.cancelDictation(); });
        case 5:
            return act("hold-key begin", [&m] { m.fnBegin(); });
        case 6:
            return act("hold-key finish", [&m] { m.fnFinish(); });
        case 7:
            if (m.fnOwnsRecording())
                cancelled(current);
            return act("hold-key cancel", [&m] { m.fnCancel(); });
        case 8:
            if (m.phase() == Phase::preparing || m.phase() == Phase::recording)
                cancelled(current);
            return act("speech failure", [this] {
                speechFake->reportFailure(SpeechEngineError{Kind::platform, u"Gone."_s});
            });
        case 9:
            if (auto reply = pendingReply(speechFake->startReplies, m_startTags)) {
                const int how = pick(3);
                m_log << "start answers " << std::array{"ok", "failure", "cancelled"}[how]
                      << (reply->stale ? " (stale)" : "") << '\n';
                const Kind kind = how == 1 ? Kind::platform : Kind::cancelled;
                speechFake->startReplies[reply->index].resolve(
                    how == 0 ? StartResult() : unexpected(SpeechEngineError{kind, u"No microphone."_s}));
                return reply->stale;
            }
            return false;
        case 11:
            if (auto reply = pendingReply(speechFake->finishReplies, m_finishTags)) {
                const int how = pick(5);
                const AsyncValue<FakeSpeechEngine::FinishResult> answer = speechFake->finishReplies[reply->index];
                m_log << "finish answers " << std::array{"nothing", "failure", "words", "words", "words"}[how]
                      << (reply->stale ? " (stale)" : "") << '\n';
                if (how == 1)
                    answer.resolve(unexpected(SpeechEngineError{Kind::platform, {}}));
                else
                    answer.resolve(how == 0 ? QString() : u"teh note s%1x"_s.arg(m_finishTags[reply->index]));
                return reply->stale;
            }
            return false;
        case 13:
            if (auto reply = pendingReply(formatterFake->replies, m_formatTags)) {
                m_log << "formatter answers" << (reply->stale ? " (stale)" : "") << '\n';
                const bool notice = pick(3) == 0;
                formatterFake->replies[reply->index].resolve(FormattingResult{
                    m_formatTexts[reply->index], u"Rules"_s, notice ? std::optional(u"Too slow."_s) : std::nullopt});
                return reply->stale;
            }
            return false;
        case 14:
            if (auto reply = pendingReply(deliveryFake->replies, m_deliverTags)) {
                const Outcome outcome = Outcome(pick(4));
                m_log << "delivery answers " << int(outcome) << (reply->stale ? " (stale)" : "") << '\n';
                deliveryFake->replies[reply->index].resolve(DeliveryResult{outcome, u"Delivered."_s});
                return reply->stale;
            }
            return false;
        case 15: {
            const bool granted = pick(3) != 0;
            const bool microphone = pick(2) == 0;
            AsyncValue<bool> &prompt = permissionsFake->microphonePrompt;
            if (microphone ? prompt.isResolved() : permissionsFake->speechPrompt.isResolved())
                return false;
            m_log << (microphone ? "microphone " : "speech ") << (granted ? "granted" : "refused") << '\n';
            // While no session waits, the answer may show in nothing but the permission statuses.
            const bool still = m.phase() == Phase::idle;
            if (microphone)
                permissionsFake->answerMicrophone(granted);
            else
                permissionsFake->answerSpeech(granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied);
            return still;
        }
        case 16:
            if (permissionsFake->microphonePrompt.isResolved() && permissionsFake->speechPrompt.isResolved()) {
                m_log << "permissions undetermined again\n";
                permissionsFake->microphone = permissionsFake->speech = AuthorizationStatus::notDetermined;
                permissionsFake->microphonePrompt = {};
                permissionsFake->speechPrompt = {};
            }
            return false;
        case 17:
            return editLibrary();
        case 18:
            if (m.phase() != Phase::idle)
                cancelled(current);
            return act("reset onboarding", [&m] { m.resetOnboarding(); });
        case 19: {
            const bool tenMinutes = pick(40) == 0;
            m_log << (tenMinutes ? "ten minutes pass\n" : "time passes\n");
            m_scheduler.advanceSeconds(tenMinutes ? 601 : pick(3000) / 1000.0);
            return false;
        }
        case 20:
            m_log << "engine reports level and words\n";
            speechFake->reportLevel(0.5f);
            speechFake->reportPartial(u"hello"_s);
            return false;
        case 21:
            varyServices();
            return false;
        default:
            if (m.phase() == Phase::idle && pick(2) == 0) {
                m_log << "delivery reports a correction\n";
                deliveryFake->reportCorrection(u"teh note"_s, u"the note"_s);
            }
            return false;
        }
    }

    bool editLibrary()
    {
        AppModel &m = *m_model;
        const int edit = pick(6);
        m_erased = m_erased || (edit >= 2 && edit <= 4);
        switch (edit) {
        case 0:
            return act("add dictionary entry", [&m] { m.addDictionaryEntry(u"jon"_s, u"John"_s); });
        case 1:
            return act("delete dictionary entry", [&] {
                if (!m.dictionary().isEmpty())
                    m.deleteDictionaryEntry(m.dictionary()[pick(int(m.dictionary().size()))].id);
            });
        case 2:
            return act("delete record", [&] {
                if (!m.history().isEmpty())
                    m.deleteRecord(m.history()[pick(int(m.history().size()))].id);
            });
        case 3:
            return act("clear history", [&m] { m.clearHistory(); });
        case 4:
            m_log << "retain history " << !m.preferences().retainHistory << '\n';
            m.setRetainHistory(!m.preferences().retainHistory);
            return false;
        default:
            if (m.lastResult())
                act("edit last result",
                    [&m] { m.editTranscript(m.lastResult()->id, m.lastResult()->output + u" edited"_s); });
            return false;
        }
    }

    void cancelled(int session)
    {
        m_cancelled.insert(session);
        ++m_cancels;
    }

    std::optional<std::string> check(const Observed &before, const Observed &after, bool mustStayStill)
    {
        if (!statusFits(after.phase, after.status))
            return "status \"" + after.status.toStdString() + "\" in phase " + std::to_string(int(after.phase));
        if (after.timer != (after.phase == Phase::recording))
            return std::string("the recording timer runs ") + (after.timer ? "outside" : "not in") + " recording";
        if (after.fnOwns && after.phase == Phase::idle)
            return "the hold key owns no session";
        if (mustStayStill && !(after == before))
            return "an answer for a session that is over changed what the user sees";

        // Baselines for learning from edits are kept only for what can still be edited.
        for (auto it = m_model->correctionBaselines().cbegin(); it != m_model->correctionBaselines().cend(); ++it)
            if (!after.history.contains(it.key()) && after.lastResult != it.key())
                return "an edit baseline outlives its record";

        if (after.library != m_decodedLibrary) {
            if (!after.library.isEmpty() && !AppStore::decode(after.library))
                return "the library no longer decodes";
            m_decodedLibrary = after.library;
        }

        // Records go only when the user erases them.
        for (const QUuid &id : before.history)
            if (!m_erased && !after.history.contains(id))
                return "a record went without the user erasing it";

        // Nothing of a cancelled session is delivered or recorded after its cancel.
        for (qsizetype i = before.delivered; i < after.delivered; ++i) {
            const std::optional<int> tag = tagOf(deliveryFake->deliverCalls[i].text);
            if (tag && m_cancelled.contains(*tag))
                return "dictation s" + std::to_string(*tag) + " was delivered after its cancel";
        }
        for (const TranscriptRecord &record : m_model->history()) {
            const std::optional<int> tag = tagOf(record.original);
            if (!before.history.contains(record.id) && tag && m_cancelled.contains(*tag))
                return "dictation s" + std::to_string(*tag) + " was recorded after its cancel";
        }

        // A dictation that reached its outcome is in the field, on the clipboard, in history, or on show;
        // unless the user erased history meanwhile.
        if (before.phase != Phase::idle && after.phase == Phase::idle && after.lastDeliveryResult && !m_erased) {
            const bool placed = after.lastDeliveryResult->outcome != Outcome::failed;
            const auto &last = m_model->lastResult();
            const bool kept = last && (!m_model->preferences().retainHistory || after.history.contains(last->id));
            if (!placed && !kept)
                return "a finished dictation is nowhere";
        }
        if (before.phase == Phase::idle && after.phase != Phase::idle)
            m_erased = false;
        return std::nullopt;
    }

    std::mt19937 m_random;
    QString m_libraryPath;
    VirtualScheduler m_scheduler;
    std::unique_ptr<AppModel> m_model;
    QHash<QUuid, int> m_serials;
    QSet<int> m_cancelled;
    QList<int> m_startTags, m_finishTags, m_formatTags, m_deliverTags;
    QStringList m_formatTexts; // what each held formatting was asked to format
    QByteArray m_libraryFile = QFile::encodeName(m_libraryPath);
    ino_t m_libraryInode = 0;
    QByteArray m_libraryBytes;
    QByteArray m_decodedLibrary;
    long m_cancels = 0;
    bool m_erased = false; // the user deleted records since the session began
    std::ostringstream m_log;
};

unsigned environmentNumber(const char *name, unsigned fallback)
{
    const char *value = std::getenv(name);
    return value ? unsigned(std::strtoul(value, nullptr, 10)) : fallback;
}

} // namespace

TEST(AppModelSchedules, everyRandomScheduleKeepsTheModelTruthful)
{
    // Saves are flushed to disk; a memory-backed folder keeps ten thousand schedules within seconds.
    const QString base =
        QDir(u"/dev/shm"_s).exists() ? u"/dev/shm/orvanta-XXXXXX"_s : QDir::tempPath() + u"/orvanta-XXXXXX"_s;
    QTemporaryDir dir(base);
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"library.json"_s);
    const unsigned first = environmentNumber("ORVANTA_SCHEDULE_SEED", 20261207);
    const unsigned count = environmentNumber("ORVANTA_SCHEDULES", 10000);
    Schedule::Tally tally;
    for (unsigned seed = first; seed < first + count; ++seed) {
        Schedule schedule(seed, path);
        if (const auto broken = schedule.run(40, tally)) {
            FAIL() << "seed " << seed << ": " << *broken;
            return;
        }
    }
    std::printf("%u schedules, %ld steps: %ld outcomes, %ld cancels, %ld answers after the session ended, "
                "%ld library saves\n",
                count, tally.steps, tally.outcomes, tally.cancels, tally.staleAnswers, tally.saves);
}
