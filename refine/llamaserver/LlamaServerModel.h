#pragma once

#include "base/Expected.h"
#include "base/Scheduler.h"
#include "refine/LanguageModel.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>

namespace orv {

class LoopbackHttpClient;

// A llama.cpp server on this computer (its HTTP API: /props, /tokenize, /v1/chat/completions).
// Addresses that are not loopback are refused: dictations never leave the computer.
class LlamaServerModel final : public LanguageModel
{
public:
    static constexpr Duration probeTimeLimit = std::chrono::seconds(2);
    static constexpr Duration tokenCountTimeLimit = std::chrono::seconds(10);

    // endpoint: the settings value; empty means the default. Unavailable until refresh() reached it.
    // allowedAccounts: other accounts whose server the user allowed by name.
    LlamaServerModel(Scheduler &scheduler, const QString &endpoint, const QStringList &allowedAccounts = {});
    ~LlamaServerModel() override;

    // Talks to another address from now on: unavailable until the next refresh() reached it. Requests under
    // way finish with the old one.
    void setEndpoint(const QString &endpoint, const QStringList &allowedAccounts = {});

    ModelAvailability availability() const override { return m_state->availability; }
    QString displayName() const override { return m_state->name; }
    int contextSize() const override { return m_state->contextSize; }
    Task<Expected<int, ModelError>> tokenCount(QString text) override;
    std::shared_ptr<LanguageModelSession> makeSession(QString instructions) override;
    // Asks /props for the model's name and context size; sets the availability.
    Task<void> refresh() override;

    // The endpoint as a URL when it is a valid http(s) address on loopback; otherwise why not.
    static Expected<QUrl, QString> loopbackEndpoint(const QString &text);
    static QString genericName() { return QStringLiteral("Local model server"); }

private:
    Scheduler &m_scheduler;
    std::shared_ptr<LoopbackHttpClient> m_client; // null when the endpoint is refused
    struct State
    {
        ModelAvailability availability;
        QString name;
        int contextSize = 0;
    };
    // Shared with a refresh in flight, which may end after this model is gone.
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace orv
