#pragma once

#include "refine/LanguageModel.h"

#include <memory>

namespace orv {

// Uses the local model server when one answers at its endpoint (a model still loading counts: it
// answers), otherwise the built-in rules. Every call goes to the model chosen at the last refresh().
class LanguageModelSelector final : public LanguageModel
{
public:
    // server may be null: then the built-in rules are always used.
    explicit LanguageModelSelector(std::unique_ptr<LanguageModel> server);
    ~LanguageModelSelector() override;

    ModelAvailability availability() const override;
    QString displayName() const override;
    int contextSize() const override;
    Task<Expected<int, ModelError>> tokenCount(QString text) override;
    std::shared_ptr<LanguageModelSession> makeSession(QString instructions) override;
    Task<void> refresh() override;

    bool usesServer() const { return m_useServer; }
    // The server's own status line (why it is not used, when it is not); empty without a server.
    QString serverStatus() const override;

private:
    LanguageModel &active() const;

    std::unique_ptr<LanguageModel> m_server;
    std::unique_ptr<LanguageModel> m_builtin;
    bool m_useServer = false;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0); // expires with this selector
};

} // namespace orv
