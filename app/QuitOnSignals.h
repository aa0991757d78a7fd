#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace orv {

// Turns SIGINT and SIGTERM into a quit of the running event loop, so that the normal shutdown runs (keys
// released, dictation cancelled, the window's frame kept). One per process.
class QuitOnSignals final : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace orv
