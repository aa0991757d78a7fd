#include "refine/LanguageModelSelector.h"

#include "refine/IntelligenceFormatter.h"
#include "refine/builtin/BuiltinRulesModel.h"

namespace orv {

LanguageModelSelector::LanguageModelSelector(std::unique_ptr<LanguageModel> server)
    : m_server(std::move(server)), m_builtin(std::make_unique<BuiltinRulesModel>())
{}

LanguageModelSelector::~LanguageModelSelector() = default;

LanguageModel &LanguageModelSelector::active() const
{
    return m_useServer ? *m_server : *m_builtin;
}

ModelAvailability LanguageModelSelector::availability() const
{
    return active().availability();
}

QString LanguageModelSelector::displayName() const
{
    return active().displayName();
}

int LanguageModelSelector::contextSize() const
{
    return active().contextSize();
}

Task<Expected<int, ModelError>> LanguageModelSelector::tokenCount(QString text)
{
    co_return co_await active().tokenCount(std::move(text));
}

std::shared_ptr<LanguageModelSession> LanguageModelSelector::makeSession(QString instructions)
{
    return active().makeSession(std::move(instructions));
}

Task<void> LanguageModelSelector::refresh()
{
    if (!m_server) {
        m_useServer = false;
        co_return;
    }
    co_await m_server->refresh();
    const ModelAvailability server = m_server->availability();
    m_useServer = server.available || server.reason == ModelAvailability::Reason::modelNotReady;
}

QString LanguageModelSelector::serverStatus() const
{
    if (!m_server)
        return {};
    return IntelligenceFormatter::statusText(m_server->availability(), m_server->displayName());
}

} // namespace orv
