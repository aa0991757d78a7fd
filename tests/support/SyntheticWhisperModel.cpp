#include "tests/support/SyntheticWhisperModel.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace orv::test {

namespace {

class Writer
{
public:
    Writer(QFile &file, std::uint32_t seed) : m_file(file), m_state(seed ? seed : 1) {}

    void i32(std::int32_t value) { raw(&value, sizeof value); }
    void raw(const void *data, std::size_t size)
    {
        m_ok = m_ok && m_file.write(static_cast<const char *>(data), qint64(size)) == qint64(size);
    }
    // Small random values around zero, as trained weights mostly are.
    float next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return (float(m_state % 20001) - 10000.0f) * 5e-6f;
    }
    // 32-bit floats, or 16-bit ones (ggml's types 0 and 1).
    void f32(const QByteArray &name, std::vector<std::int32_t> shape) { tensor(name, false, std::move(shape)); }
    void f16(const QByteArray &name, std::vector<std::int32_t> shape) { tensor(name, true, std::move(shape)); }
    void tensor(const QByteArray &name, bool halves, std::vector<std::int32_t> shape)
    {
        i32(std::int32_t(shape.size()));
        i32(std::int32_t(name.size()));
        i32(halves ? 1 : 0);
        std::size_t count = 1;
        for (std::int32_t n : shape) {
            i32(n);
            count *= std::size_t(n);
        }
        raw(name.constData(), std::size_t(name.size()));
        std::vector<float> values(count);
        for (float &value : values)
            value = next();
        if (!halves)
            return raw(values.data(), count * sizeof(float));
        std::vector<std::uint16_t> converted(count);
        std::transform(values.begin(), values.end(), converted.begin(), half);
        raw(converted.data(), count * sizeof(std::uint16_t));
    }
    bool ok() const { return m_ok; }

private:
    // Values well inside the half range: sign, rebased exponent, the mantissa's top ten bits.
    static std::uint16_t half(float value)
    {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        const std::uint16_t sign = std::uint16_t((bits >> 16) & 0x8000u);
        const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
        if (exponent <= 0)
            return sign;
        return std::uint16_t(sign | (std::uint32_t(exponent) << 10) | ((bits >> 13) & 0x3ffu));
    }

    QFile &m_file;
    std::uint32_t m_state;
    bool m_ok = true;
};

void block(Writer &out, const QByteArray &prefix, int s, bool cross)
{
    const auto attention = [&](const QByteArray &kind) {
        const QByteArray at = prefix + kind;
        out.f32(at + "_ln.weight", {s});
        out.f32(at + "_ln.bias", {s});
        out.f16(at + ".query.weight", {s, s});
        out.f32(at + ".query.bias", {s});
        out.f16(at + ".key.weight", {s, s});
        out.f16(at + ".value.weight", {s, s});
        out.f32(at + ".value.bias", {s});
        out.f16(at + ".out.weight", {s, s});
        out.f32(at + ".out.bias", {s});
    };
    out.f32(prefix + "mlp_ln.weight", {s});
    out.f32(prefix + "mlp_ln.bias", {s});
    out.f16(prefix + "mlp.0.weight", {s, 4 * s});
    out.f32(prefix + "mlp.0.bias", {4 * s});
    out.f16(prefix + "mlp.2.weight", {4 * s, s});
    out.f32(prefix + "mlp.2.bias", {s});
    attention("attn");
    if (cross)
        attention("cross_attn");
}

} // namespace

bool writeSyntheticWhisperModel(const QString &path, const WhisperDimensions &d, std::uint32_t seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    Writer out(file, seed);
    out.i32(0x67676d6c);
    for (int value : {d.vocabulary, d.audioContext, d.state, d.heads, d.audioLayers, d.textContext, d.state, d.heads,
                      d.textLayers, d.mels, 1 /* 16-bit weights */})
        out.i32(value);

    // Mel filter bank: mels × 201 frequency bins.
    out.i32(d.mels);
    out.i32(201);
    std::vector<float> filters(std::size_t(d.mels) * 201);
    for (std::size_t i = 0; i < filters.size(); ++i)
        filters[i] = (i % 201) / 8 == (i / 201) % 25 ? 0.01f : 0.0f;
    out.raw(filters.data(), filters.size() * sizeof(float));

    // A vocabulary of the printable characters; whisper.cpp names the rest itself.
    out.i32(95);
    for (char c = ' '; c <= '~'; ++c) {
        out.i32(1);
        out.raw(&c, 1);
    }

    const int s = d.state;
    out.f32("encoder.positional_embedding", {s, d.audioContext});
    out.f16("encoder.conv1.weight", {3, d.mels, s});
    out.f32("encoder.conv1.bias", {1, s});
    out.f16("encoder.conv2.weight", {3, s, s});
    out.f32("encoder.conv2.bias", {1, s});
    out.f32("encoder.ln_post.weight", {s});
    out.f32("encoder.ln_post.bias", {s});
    for (int i = 0; i < d.audioLayers; ++i)
        block(out, "encoder.blocks." + QByteArray::number(i) + '.', s, false);
    out.f32("decoder.positional_embedding", {s, d.textContext});
    out.f16("decoder.token_embedding.weight", {s, d.vocabulary});
    out.f32("decoder.ln.weight", {s});
    out.f32("decoder.ln.bias", {s});
    for (int i = 0; i < d.textLayers; ++i)
        block(out, "decoder.blocks." + QByteArray::number(i) + '.', s, true);
    return out.ok() && file.flush();
}

} // namespace orv::test
