#pragma once

#include "base/Expected.h"
#include "base/Task.h"

#include <QString>

#include <memory>

// The language model the formatter talks to: a local model server or the built-in rules.
namespace orv {

struct ModelAvailability
{
    enum class Reason
    {
        deviceNotEligible,
        notEnabled,
        modelNotReady,
        other
    };

    bool available = true;
    Reason reason = Reason::other;
    // The status line for an unavailable model when the reason alone says too little
    // ("No local model server answers at …"); empty otherwise.
    QString message;

    static ModelAvailability ready() { return {}; }
    static ModelAvailability unavailable(Reason reason, QString message = {})
    {
        return {false, reason, std::move(message)};
    }
    bool operator==(const ModelAvailability &) const = default;
};

struct ModelError
{
    enum class Kind
    {
        cancelled,
        failed
    };

    Kind kind = Kind::failed;
    QString description; // a complete sentence shown to the user

    static ModelError cancellation() { return {Kind::cancelled, QStringLiteral("The request was cancelled.")}; }
    static ModelError failure(QString description) { return {Kind::failed, std::move(description)}; }
    bool operator==(const ModelError &) const = default;
};

struct GenerationOptions
{
    bool greedy = true;
    int maximumResponseTokens = 1200;
};

// One conversation under fixed instructions.
class LanguageModelSession
{
public:
    virtual ~LanguageModelSession() = default;

    // Answers prompt. Cancelling the returned task abandons the request at once (a network request is
    // aborted); the task then ends with ModelError::cancellation().
    virtual Task<Expected<QString, ModelError>> respond(QString prompt, GenerationOptions options) = 0;
};

class LanguageModel
{
public:
    virtual ~LanguageModel() = default;

    virtual ModelAvailability availability() const = 0;
    // What the user sees as the model's name ("Built-in rules", or the server's model).
    virtual QString displayName() const = 0;
    // Tokens the model can hold: instructions, prompt and answer together.
    virtual int contextSize() const = 0;
    virtual Task<Expected<int, ModelError>> tokenCount(QString text) = 0;
    // A fresh session; it stays usable while a response task holds it, even after the caller let go.
    virtual std::shared_ptr<LanguageModelSession> makeSession(QString instructions) = 0;
    // Reads availability, name and context size afresh (a server may have started or stopped since).
    virtual Task<void> refresh();
    // What a configured local server answered at the last refresh (its model, or why it is not used);
    // empty where no server is configured.
    virtual QString serverStatus() const { return {}; }
};

} // namespace orv
