#pragma once

#include "base/Scheduler.h"
#include "speech/AbstractMicrophones.h"
#include "speech/pulse/PulseConnection.h"

#include <memory>

namespace orv {

// The sound server's inputs over a connection of its own, kept up to date by the server's source and
// server events; the level meter is a peak-detecting record stream of a few values a second. Without a
// server the list is empty and the connection is tried again every reconnectDelay. Main thread only: the
// client's main-loop thread reaches it by posting to the scheduler.
class PulseMicrophones final : public AbstractMicrophones
{
public:
    static constexpr Duration reconnectDelay = std::chrono::seconds(2);
    static constexpr quint32 meterRate = 25; // levels a second

    // Where the choice is kept (the composition root's settings).
    struct Choice
    {
        std::function<Microphone()> read;
        std::function<Expected<void, QString>(const Microphone &)> write;
    };

    PulseMicrophones(Scheduler &scheduler, Choice choice);
    ~PulseMicrophones() override;

    QList<Microphone> microphones() const override { return m_list; }
    Microphone chosen() const override;
    Expected<void, QString> choose(const QString &name) override;
    void startMeter(const QString &name, std::function<void(float)> onLevel) override;
    void stopMeter() override;
    bool isMetering() const override { return bool(m_onLevel); }
    // Whether the server answered and its inputs were listed (onChanged tells the first listing too).
    bool isListed() const { return m_listed; }
    bool isConnected() const { return bool(m_connection); }

private:
    struct Lifetime
    {
    };
    struct Listing; // one listing at a time, on the main-loop thread

    void connect();
    void disconnect();
    void openMeter();
    void closeMeter();
    void publish(QList<Microphone> list);
    // On the main-loop thread, with its lock held.
    void list();
    void listed(QList<Microphone> list);
    void post(std::function<void(PulseMicrophones &)> step);
    static void onEvent(pa_context *context, pa_subscription_event_type_t type, uint32_t index, void *self);
    static void onContextState(pa_context *context, void *self);
    static void onMeterReadable(pa_stream *stream, size_t bytes, void *self);

    Scheduler &m_scheduler;
    Choice m_choice;
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();
    const std::weak_ptr<Lifetime> m_alive = m_lifetime; // what the main-loop thread copies
    std::unique_ptr<PulseConnection> m_connection;
    Scheduler::TimerId m_reconnect = 0;
    QList<Microphone> m_list;
    bool m_listed = false;
    // Main-loop thread only.
    std::unique_ptr<Listing> m_listing;
    bool m_listAgain = false;
    bool m_connectionLost = false;
    // The meter.
    QString m_meterSource;
    std::function<void(float)> m_onLevel;
    pa_stream *m_meter = nullptr;
    quint64 m_meterGeneration = 0; // levels of an earlier meter are dropped
};

} // namespace orv
