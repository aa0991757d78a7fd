#pragma once

#include "tests/ui/UiHarness.h"

#include <QCoreApplication>

namespace orv::test {

// The pages over the model's fakes, with a library written before the model starts.
class PagesTest : public WindowsTest
{
protected:
    static DictionaryEntry entry(const QString &heard, const QString &replacement, bool automatic)
    {
        return {QUuid::createUuid(), heard, replacement, 1, dateFromReferenceSeconds(790000000), automatic};
    }

    // `outputs` newest first; the model then starts over this library.
    void seed(const QStringList &outputs, const QList<DictionaryEntry> &dictionary = {})
    {
        AppStore::Snapshot library;
        for (qsizetype i = 0; i < outputs.size(); ++i)
            library.history.append(
                TranscriptRecord{QUuid::createUuid(), dateFromReferenceSeconds(790000000 - i * 600.0), outputs.at(i),
                                 outputs.at(i), 3.0, QStringLiteral("Text Editor"), QStringLiteral("Built-in rules")});
        library.dictionary = dictionary;
        ASSERT_TRUE(AppStore(libraryPath()).save(library));
        make();
        scheduler.runPending();
    }

    // What a level report or a tick does to every page: the model's notification with nothing changed.
    void notifyNothing(int times = 12)
    {
        for (int i = 0; i < times; ++i)
            model->notifyChanged();
    }
};

} // namespace orv::test
