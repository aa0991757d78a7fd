#pragma once

#include <QString>

#include <cstdint>

namespace orv::test {

// A Whisper model file in whisper.cpp's ggml format with random weights: it loads and decodes like a real
// one (the same tensors, shapes and costs for the published dimensions) but recognizes nothing.
struct WhisperDimensions
{
    int vocabulary = 51864; // English-only; 51865 and up make a multilingual model
    int audioContext = 1500;
    int state = 64;
    int heads = 2;
    int audioLayers = 1;
    int textContext = 448;
    int textLayers = 1;
    int mels = 80;

    // Small enough to write in a test.
    static WhisperDimensions testSized() { return {}; }
    // The published tiny.en and base.en dimensions.
    static WhisperDimensions tinyEn() { return {51864, 1500, 384, 6, 4, 448, 4, 80}; }
    static WhisperDimensions baseEn() { return {51864, 1500, 512, 8, 6, 448, 6, 80}; }
};

// Writes the model (weights in 16-bit floats, as the published files have them); false when the file
// cannot be written.
bool writeSyntheticWhisperModel(const QString &path, const WhisperDimensions &dimensions, std::uint32_t seed = 1);

} // namespace orv::test
