#include "delivery/atspi/AtspiFocusTracker.h"

#include <atspi/atspi.h>

namespace orv::atspi {

namespace {

// Applications come and go; the oldest entries are dropped beyond this many.
constexpr int rememberedApplications = 32;

QByteArray busNameOf(AtspiAccessible *accessible)
{
    const AtspiObject *object = ATSPI_OBJECT(accessible);
    return object->app && object->app->bus_name ? QByteArray(object->app->bus_name) : QByteArray();
}

} // namespace

AtspiFocusTracker::AtspiFocusTracker() = default;

AtspiFocusTracker::~AtspiFocusTracker()
{
    if (m_listener) {
        atspi_event_listener_deregister(m_listener, "object:state-changed:focused", nullptr);
        atspi_event_listener_deregister(m_listener, "focus:", nullptr);
        g_object_unref(m_listener);
    }
    for (const Focus &focus : std::as_const(m_focus))
        g_object_unref(focus.object);
}

bool AtspiFocusTracker::start()
{
    m_listener = atspi_event_listener_new([](AtspiEvent *event, void *data) { onEvent(event, data); }, this, nullptr);
    bool registered = false;
    for (const char *type : {"object:state-changed:focused", "focus:"}) {
        GError *error = nullptr;
        registered = atspi_event_listener_register(m_listener, type, &error) || registered;
        g_clear_error(&error);
    }
    return registered;
}

void AtspiFocusTracker::onEvent(void *raw, void *data)
{
    auto *event = static_cast<AtspiEvent *>(raw);
    auto *self = static_cast<AtspiFocusTracker *>(data);
    const QByteArray type(event->type ? event->type : "");
    // "focus:" carries no detail; the state change names the object that gained (1) or lost (0) focus.
    if (event->source && (type.startsWith("focus:") || event->detail1 == 1))
        self->focused(event->source);
    g_boxed_free(atspi_event_get_type(), event);
}

void AtspiFocusTracker::focused(AtspiAccessible *source)
{
    const QByteArray bus = busNameOf(source);
    if (bus.isEmpty())
        return;
    Focus &focus = m_focus[bus];
    if (focus.object)
        g_object_unref(focus.object);
    focus.object = static_cast<AtspiAccessible *>(g_object_ref(source));
    focus.sequence = ++m_sequence;
    if (!m_namedBuses.contains(bus)) {
        m_namedBuses.insert(bus, true);
        GError *error = nullptr;
        if (AtspiAccessible *application = atspi_accessible_get_application(source, &error)) {
            noteApplication(application);
            g_object_unref(application);
        }
        g_clear_error(&error);
    }
    while (m_focus.size() > rememberedApplications) {
        auto oldest = m_focus.begin();
        for (auto it = m_focus.begin(); it != m_focus.end(); ++it)
            if (it->sequence < oldest->sequence)
                oldest = it;
        g_object_unref(oldest->object);
        m_namedBuses.remove(oldest.key());
        m_focus.erase(oldest);
    }
}

void AtspiFocusTracker::walkedTo(AtspiAccessible *focused)
{
    this->focused(focused);
}

AtspiAccessible *AtspiFocusTracker::lastFocused(const QByteArray &busName) const
{
    const auto it = m_focus.constFind(busName);
    if (it == m_focus.constEnd())
        return nullptr;
    return static_cast<AtspiAccessible *>(g_object_ref(it->object));
}

void AtspiFocusTracker::noteApplication(AtspiAccessible *application)
{
    GError *error = nullptr;
    const guint pid = atspi_accessible_get_process_id(application, &error);
    g_clear_error(&error);
    gchar *name = atspi_accessible_get_name(application, &error);
    g_clear_error(&error);
    if (pid > 0 && name && *name) {
        const std::lock_guard lock(m_namesLock);
        m_names.insert(pid, QString::fromUtf8(name));
    }
    g_free(name);
}

QString AtspiFocusTracker::applicationName(qint64 processID) const
{
    const std::lock_guard lock(m_namesLock);
    return m_names.value(processID);
}

} // namespace orv::atspi
