#pragma once

#include "speech/AbstractAudioConverter.h"

#include <memory>
#include <optional>

namespace orv::test {

// Turns each float buffer into one input of the first channel scaled to 16 bits; fails when told to.
class FakeAudioConverter final : public AbstractAudioConverter
{
public:
    struct Log
    {
        int conversions = 0;
        int flushes = 0;
        std::optional<int> failOnConversion; // 1-based
        std::optional<SpeechEngineError> flushError;
        std::vector<qint16> heldBack{7, 7}; // what a flush releases
    };

    explicit FakeAudioConverter(std::shared_ptr<Log> log) : m_log(std::move(log)) {}

    Expected<std::vector<AnalyzerInput>, SpeechEngineError> convert(const AudioBuffer &buffer, Duration time) override;
    Expected<std::vector<AnalyzerInput>, SpeechEngineError> flush() override;

private:
    std::shared_ptr<Log> m_log;
};

} // namespace orv::test
