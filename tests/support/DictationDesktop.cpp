#include "tests/support/DictationDesktop.h"

#include "tests/support/Files.h"
#include "tests/support/SpeechCorpus.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace orv::test {

namespace {
constexpr int bytesPerSecond = 16000 * 2;
}

QByteArray synthesizeSpeech(const QString &text, const QString &workDir, const QString &voice)
{
    const QString wav = QDir(workDir).filePath(u"speech.wav"_s);
    const QString raw = QDir(workDir).filePath(u"speech.raw"_s);
    const QStringList toRaw = u"-r 16000 -c 1 -b 16 -e signed -t raw"_s.split(QLatin1Char(' '));
    if (!speechCorpus::synthesize(text, voice, wav) || !speechCorpus::convert(wav, raw, toRaw))
        return {};
    return readFile(raw);
}

Speaker::Speaker(QByteArray audio, double leadSilence, double trailSilence, double pace, QByteArray fifo)
    : m_pace(pace), m_fifo(fifo.isEmpty() ? qgetenv("ORVANTA_TEST_MIC_FIFO") : std::move(fifo))
{
    const auto silence = [](double seconds) { return QByteArray(int(seconds * bytesPerSecond) & ~1, '\0'); };
    m_audio = silence(leadSilence) + audio + silence(trailSilence);
    m_thread = std::thread([this] { play(); });
}

Speaker::~Speaker()
{
    m_stop = true;
    m_thread.join();
}

void Speaker::play()
{
    // Non-blocking throughout: when nobody records, the sound server stops draining the FIFO, and a
    // blocked writer would hang the test instead of failing it.
    int fd = -1;
    while (!m_stop && (fd = ::open(m_fifo.constData(), O_WRONLY | O_NONBLOCK)) < 0 && errno == ENXIO)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (fd >= 0) {
        const qsizetype chunk = bytesPerSecond / 10;
        const auto start = std::chrono::steady_clock::now();
        bool failed = false;
        for (qsizetype at = 0, index = 1; at < m_audio.size() && !failed; ++index) {
            const qsizetype end = std::min(index * chunk, m_audio.size());
            while (at < end && !(failed = m_stop)) {
                const ssize_t n = ::write(fd, m_audio.constData() + at, end - at);
                pollfd ready{fd, POLLOUT, 0};
                if (n > 0)
                    at += n;
                else if (n < 0 && errno == EAGAIN)
                    ::poll(&ready, 1, 50);
                else
                    failed = true;
            }
            // Real-time pace without drift: each chunk waits for its own moment.
            std::this_thread::sleep_until(start + std::chrono::microseconds(qint64(100000 * double(index) / m_pace)));
        }
        m_delivered = !failed;
        ::close(fd);
    }
    m_done = true;
}

bool writeQuietFirefoxProfile(const QString &profileDir)
{
    QFile prefs(QDir(profileDir).filePath(u"user.js"_s));
    return prefs.open(QIODevice::WriteOnly) &&
           prefs.write("user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                       "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                       "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                       "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                       "user_pref(\"app.update.enabled\", false);\n") > 0;
}

TestField::TestField(const QString &program, const QStringList &arguments)
    : m_started(m_process.start(program, arguments))
{}

bool TestField::waitReady()
{
    const bool ready = m_started && waitUntil([&] { return read().contains(u"ready"_s); }, 10000, 2);
    waitUntil([] { return false; }, 500);
    return ready;
}

QString TestField::text()
{
    const QStringList &lines = read();
    const auto last =
        std::find_if(lines.rbegin(), lines.rend(), [](const QString &line) { return line.startsWith(u"text:"_s); });
    return last == lines.rend() ? QString() : last->mid(5);
}

const QStringList &TestField::read()
{
    while (m_process.canReadLine())
        m_lines.append(QString::fromUtf8(m_process.readLine()).chopped(1));
    return m_lines;
}

} // namespace orv::test
