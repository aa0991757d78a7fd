#include "delivery/atspi/AtspiObserver.h"

#include "delivery/atspi/AtspiElement.h"
#include "delivery/atspi/AtspiReader.h"
#include "delivery/atspi/AtspiWorker.h"

#include <atspi/atspi.h>

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <vector>

namespace orv::atspi {

namespace {

const char *const textChanged = "object:text-changed";
const char *const defunct = "object:state-changed:defunct";
const char *const childRemoved = "object:children-changed:remove";

QByteArray keyOf(AtspiAccessible *accessible)
{
    if (!accessible)
        return {};
    const AtspiObject *object = ATSPI_OBJECT(accessible);
    if (!object->app || !object->app->bus_name || !object->path)
        return {};
    return QByteArray(object->app->bus_name) + '\n' + QByteArray(object->path);
}

} // namespace

struct AtspiObserver::Shared
{
    std::atomic<bool> live{true};
    Scheduler *scheduler = nullptr;
    std::function<void(QString)> callback; // main thread
    // Worker thread only:
    QByteArray changedKey;
    QByteArray destroyedKey;
    AtspiEventListener *listener = nullptr;
    std::vector<const char *> registered;
};

namespace {

using SharedPtr = std::shared_ptr<AtspiObserver::Shared>;

void deliver(const SharedPtr &shared, QString name)
{
    shared->scheduler->post([shared, name] {
        if (shared->live.load() && shared->callback)
            shared->callback(name);
    });
}

void onEvent(AtspiEvent *event, void *data)
{
    const SharedPtr &shared = *static_cast<SharedPtr *>(data);
    const QByteArray source = keyOf(event->source);
    const QByteArray type(event->type ? event->type : "");
    if (shared->live.load() && !source.isEmpty()) {
        if (type.startsWith(textChanged) && source == shared->changedKey)
            deliver(shared, QStringLiteral("AXValueChanged"));
        else if (type.startsWith(defunct) && event->detail1 && source == shared->destroyedKey)
            deliver(shared, QStringLiteral("AXUIElementDestroyed"));
        else if (type.startsWith(childRemoved) && !shared->destroyedKey.isEmpty() &&
                 G_VALUE_HOLDS(&event->any_data, ATSPI_TYPE_ACCESSIBLE)) {
            auto *child = static_cast<AtspiAccessible *>(g_value_get_object(&event->any_data));
            if (keyOf(child) == shared->destroyedKey)
                deliver(shared, QStringLiteral("AXUIElementDestroyed"));
        }
    }
    g_boxed_free(atspi_event_get_type(), event);
}

void freeShared(void *data)
{
    delete static_cast<SharedPtr *>(data);
}

bool listen(const SharedPtr &shared, const char *type)
{
    if (!shared->listener)
        shared->listener = atspi_event_listener_new(onEvent, new SharedPtr(shared), freeShared);
    for (const char *done : shared->registered)
        if (done == type)
            return true;
    GError *error = nullptr;
    const bool ok = atspi_event_listener_register(shared->listener, type, &error);
    g_clear_error(&error);
    if (ok)
        shared->registered.push_back(type);
    return ok;
}

} // namespace

AtspiObserver::AtspiObserver(std::shared_ptr<AtspiWorker> worker, std::function<void(QString)> callback)
    : m_worker(std::move(worker)), m_shared(std::make_shared<Shared>())
{
    m_shared->scheduler = &m_worker->scheduler();
    m_shared->callback = std::move(callback);
}

AtspiObserver::~AtspiObserver()
{
    m_shared->live = false;
    m_worker->submit([shared = m_shared] {
        if (!shared->listener)
            return;
        for (const char *type : shared->registered)
            atspi_event_listener_deregister(shared->listener, type, nullptr);
        g_object_unref(shared->listener); // drops the listener's copy of shared
        shared->listener = nullptr;
    });
}

Task<bool> AtspiObserver::addNotification(Element element, QString name)
{
    return m_worker->call<bool>([shared = m_shared, element, name]() -> bool {
        const QByteArray key = keyOf(reader::accessibleOf(element));
        if (key.isEmpty())
            return false;
        if (name == QLatin1String("AXValueChanged")) {
            if (!reader::hasText(element))
                return false;
            shared->changedKey = key;
            return listen(shared, textChanged);
        }
        if (name == QLatin1String("AXUIElementDestroyed")) {
            shared->destroyedKey = key;
            const bool gone = listen(shared, defunct);
            return listen(shared, childRemoved) && gone;
        }
        return false;
    });
}

} // namespace orv::atspi
