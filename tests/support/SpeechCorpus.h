#pragma once

#include "tests/support/EventLoopWait.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace orv::test {

// Speech for tests and benchmarks, synthesized with flite when they run (no audio is committed),
// and the word error rate to judge a transcript by.
namespace speechCorpus {

struct Sentence
{
    QString text;
    QString voice; // flite voice: slt, awb, rms, kal16
};

QStringList voices();
// Everyday sentences, each in one of the voices in turn (the tests use these).
QList<Sentence> everydaySentences();
// Sentences with names the generic model does not know, and those names.
QList<Sentence> nameSentences();
QStringList unknownNames();
// Sentences with spoken punctuation and line breaks ("comma", "new paragraph"); the first three are the
// ones a user would try first.
QStringList commandTexts();

// Why real speech cannot be made or recognized here, or nullopt when it can.
std::optional<QString> missingTools();
// Writes text spoken by voice to path (16 kHz mono 16-bit WAV); false when flite failed.
bool synthesize(const QString &text, const QString &voice, const QString &path);
// Converts with sox (rate, channels, float encoding) for format tests.
bool convert(const QString &from, const QString &to, const QStringList &soxOutputOptions);

// PocketSphinx's own decoder (pocketsphinx_continuous, default settings, the same Debian model) on a
// 16 kHz mono WAV file: its transcript, or nullopt when it is not installed or failed.
bool referenceDecoderInstalled();
std::optional<QString> referenceTranscript(const QString &path);

// Lower-case words without punctuation.
QStringList words(const QString &text);
// Word-level edit distance.
int wordErrors(const QString &reference, const QString &hypothesis);

} // namespace speechCorpus
} // namespace orv::test
