#pragma once

#include "base/Scheduler.h"
#include "refine/LanguageModel.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace orv::test {

// A scripted language model: availability, name, context size and token counts as set; each request
// answers what `answer` says after a virtual delay. Records what the formatter asked and what it
// abandoned.
class FakeLanguageModel final : public LanguageModel
{
public:
    struct Answer
    {
        Duration delay{};
        Expected<QString, ModelError> result = QString();
    };

    struct Record
    {
        QStringList instructions; // of every session made
        QStringList prompts;      // of every request
        int cancelledRequests = 0;
        int completedRequests = 0;
        int refreshes = 0;
    };

    explicit FakeLanguageModel(Scheduler &scheduler);

    ModelAvailability availability() const override { return availabilityValue; }
    QString displayName() const override { return name; }
    int contextSize() const override { return context; }
    Task<Expected<int, ModelError>> tokenCount(QString text) override { co_return countTokens(text); }
    std::shared_ptr<LanguageModelSession> makeSession(QString instructions) override;
    Task<void> refresh() override;

    ModelAvailability availabilityValue = ModelAvailability::ready();
    QString name = QStringLiteral("Test model");
    int context = 4096;
    // Default: one token per four UTF-16 units.
    std::function<Expected<int, ModelError>(const QString &)> countTokens;
    // Runs at each refresh (a server starting or stopping), after refreshDelay (a slow server's probe).
    std::function<void()> onRefresh;
    Duration refreshDelay{};
    // Default: the dictation of the prompt, unchanged, at once.
    std::function<Answer(const QString &prompt)> answer;

    const Record &record() const { return *m_record; }

    // The text between the prompt's dictation tags.
    static QString dictationOf(const QString &prompt);

private:
    Scheduler &m_scheduler;
    std::shared_ptr<Record> m_record = std::make_shared<Record>();
};

} // namespace orv::test
