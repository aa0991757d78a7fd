#pragma once

#include <QByteArray>
#include <QString>

#include <pulse/pulseaudio.h>

#include <memory>

namespace orv {

// A connection to the sound server on a threaded main loop of its own, with the format of the source to
// record from read at connection time: the wanted one, or the default where none is wanted or it is missing. Calls into
// PulseAudio go through lock()/unlock().
class PulseConnection
{
public:
    enum class State
    {
        connected,
        noServer,
        refused
    };

    explicit PulseConnection(const QByteArray &wantedSource = {});
    ~PulseConnection();
    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    State state() const { return m_state; }
    // The source's native format; rate 0 when there is no usable input (none, or only the monitor of an
    // output).
    pa_sample_spec sourceSpec() const { return m_sourceSpec; }
    QString sourceName() const { return m_sourceName; }
    QString sourceDescription() const { return m_sourceDescription; }
    // A source was wanted and is not there (or only a monitor): the default stands in.
    bool wantedSourceMissing() const { return m_wantedSourceMissing; }

    // A name or description the server sent, without control characters (another program chose it).
    static QString text(const char *utf8);

    pa_threaded_mainloop *mainloop() { return m_mainloop.get(); }
    pa_context *context() { return m_context.get(); }
    void lock() { pa_threaded_mainloop_lock(m_mainloop.get()); }
    void unlock() { pa_threaded_mainloop_unlock(m_mainloop.get()); }
    // With the lock held: waits until done() returns true or the connection broke.
    template <typename Done>
    bool waitFor(Done done)
    {
        while (!done()) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context.get())))
                return false;
            pa_threaded_mainloop_wait(m_mainloop.get());
        }
        return true;
    }
    // With the lock held: waits for an operation whose callback makes done() true, then releases it.
    // False when the operation could not start or the connection broke.
    template <typename Done>
    bool complete(pa_operation *operation, Done done)
    {
        if (!operation)
            return false;
        const bool finished = waitFor(done);
        pa_operation_unref(operation);
        return finished;
    }

private:
    void readSource(const QByteArray &wanted);
    QByteArray defaultSourceName();
    bool useSource(const QByteArray &name);

    // Freeing the loop stops its thread; the context goes first, disconnected, after the destructor
    // stopped the loop.
    struct MainloopFree
    {
        void operator()(pa_threaded_mainloop *loop) const { pa_threaded_mainloop_free(loop); }
    };
    struct ContextRelease
    {
        void operator()(pa_context *context) const
        {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
    };

    std::unique_ptr<pa_threaded_mainloop, MainloopFree> m_mainloop;
    std::unique_ptr<pa_context, ContextRelease> m_context;
    State m_state = State::noServer;
    pa_sample_spec m_sourceSpec{PA_SAMPLE_FLOAT32LE, 0, 0};
    QString m_sourceName;
    QString m_sourceDescription;
    bool m_wantedSourceMissing = false;
};

} // namespace orv
