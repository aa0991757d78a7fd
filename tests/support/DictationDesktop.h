#pragma once

#include "tests/support/ChildProcess.h"

#include <QByteArray>
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

// One of the test field programs of tests/delivery/desktop (a GTK or Qt window): it prints "ready" once
// its window is up and "text:<content>" whenever its first field changes. Killed when it goes.
class TestField
{
public:
    explicit TestField(const QString &program, const QStringList &arguments = {});
    qint64 processID() const { return m_process.processId(); }
    // Whether it started and said it is ready within ten seconds; the window manager then has half a
    // second to activate it.
    bool waitReady();
    // The first field's content as the program last reported it.
    QString text();
    void kill() { m_process.kill(); }
    bool waitForFinished(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }

private:
    const QStringList &read();
    ChildProcess m_process;
    bool m_started = false;
    QStringList m_lines;
};

} // namespace orv::test
