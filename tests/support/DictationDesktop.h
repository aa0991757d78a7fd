#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <atomic>
#include <thread>

namespace orv::test {

// 16 kHz mono s16le speech made with flite (voice slt unless given), as the test source expects; empty
// when flite or sox failed. workDir holds the intermediate files.
QByteArray synthesizeSpeech(const QString &text, const QString &workDir, const QString &voice = QStringLiteral("slt"));

// Plays audio into the FIFO behind the test sound server's default source ($ORVANTA_TEST_MIC_FIFO, or the
// given one) at real-time pace (or `pace` times faster), after leadSilence and followed by trailSilence
// (seconds).
// Never blocks: the destructor stops a playback that nobody is recording.
class Speaker
{
public:
    explicit Speaker(
        QByteArray audio, double leadSilence = 0.5, double trailSilence = 1.0, double pace = 1.0, QByteArray fifo = {});
    ~Speaker();
    Speaker(const Speaker &) = delete;
    Speaker &operator=(const Speaker &) = delete;

    bool done() const { return m_done; }
    // Whether every sample reached the sound server.
    bool delivered() const { return m_delivered; }

private:
    void play();

    QByteArray m_audio;
    double m_pace = 1.0;
    QByteArray m_fifo;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_delivered{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Writes a Firefox profile's user.js that starts straight at the given page: no default-browser
// question, welcome page, data-reporting notice or update.
bool writeQuietFirefoxProfile(const QString &profileDir);

// The GTK test window (a text entry, optionally a password entry); it reports its text on every change.
class GtkField
{
public:
    GtkField(const QString &program, bool password = false);
    ~GtkField();

    bool waitReady(int timeoutMs = 10000);
    QString text() const { return m_text; }
    // Called on the main thread with each new text.
    std::function<void(const QString &)> onText;

private:
    QProcess m_process;
    bool m_ready = false;
    QString m_text;
};

} // namespace orv::test
