#include "tests/support/SyntheticWhisperModel.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace orv::test {

namespace {

enum class Type : std::int32_t
{
    f32 = 0,
    f16 = 1,
};

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
    void tensor(const char *name, Type type, std::vector<std::int32_t> shape)
    {
        i32(std::int32_t(shape.size()));
        i32(std::int32_t(std::strlen(name)));
        i32(std::int32_t(type));
        std::size_t count = 1;
        for (std::int32_t n : shape) {
            i32(n);
            count *= std::size_t(n);
        }
        raw(name, std::strlen(name));
        std::vector<float> values(count);
        for (float &value : values)
            value = next();
        if (type == Type::f32)
            return raw(values.data(), count * sizeof(float));
        std::vector<std::uint16_t> halves(count);
        std::transform(values.begin(), values.end(), halves.begin(), half);
        raw(halves.data(), count * sizeof(std::uint16_t));
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
    const auto name = [&](const QByteArray &part) { return prefix + part; };
    const auto vector = [&](const QByteArray &part, int n) { out.tensor(name(part).constData(), Type::f32, {n}); };
    const auto matrix = [&](const QByteArray &part, int columns, int rows) {
        out.tensor(name(part).constData(), Type::f16, {columns, rows});
    };
    const auto attention = [&](const QByteArray &kind) {
        vector(kind + "_ln.weight", s);
        vector(kind + "_ln.bias", s);
        matrix(kind + ".query.weight", s, s);
        vector(kind + ".query.bias", s);
        matrix(kind + ".key.weight", s, s);
        matrix(kind + ".value.weight", s, s);
        vector(kind + ".value.bias", s);
        matrix(kind + ".out.weight", s, s);
        vector(kind + ".out.bias", s);
    };
    vector("mlp_ln.weight", s);
    vector("mlp_ln.bias", s);
    matrix("mlp.0.weight", s, 4 * s);
    vector("mlp.0.bias", 4 * s);
    matrix("mlp.2.weight", 4 * s, s);
    vector("mlp.2.bias", s);
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
    out.tensor("encoder.positional_embedding", Type::f32, {s, d.audioContext});
    out.tensor("encoder.conv1.weight", Type::f16, {3, d.mels, s});
    out.tensor("encoder.conv1.bias", Type::f32, {1, s});
    out.tensor("encoder.conv2.weight", Type::f16, {3, s, s});
    out.tensor("encoder.conv2.bias", Type::f32, {1, s});
    out.tensor("encoder.ln_post.weight", Type::f32, {s});
    out.tensor("encoder.ln_post.bias", Type::f32, {s});
    for (int i = 0; i < d.audioLayers; ++i)
        block(out, "encoder.blocks." + QByteArray::number(i) + '.', s, false);
    out.tensor("decoder.positional_embedding", Type::f32, {s, d.textContext});
    out.tensor("decoder.token_embedding.weight", Type::f16, {s, d.vocabulary});
    out.tensor("decoder.ln.weight", Type::f32, {s});
    out.tensor("decoder.ln.bias", Type::f32, {s});
    for (int i = 0; i < d.textLayers; ++i)
        block(out, "decoder.blocks." + QByteArray::number(i) + '.', s, true);
    return out.ok() && file.flush();
}

} // namespace orv::test
