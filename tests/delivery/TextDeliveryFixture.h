#pragma once

#include "delivery/TextDelivery.h"
#include "tests/support/FakeAccessibleDesktop.h"
#include "tests/support/FakePasteboard.h"
#include "tests/support/VirtualScheduler.h"

#include <gtest/gtest.h>

// Text delivery over the fake desktop: a Notes application (process 200) whose window is focused, a
// clipboard holding two items of someone else's, and virtual time.
namespace orv::test {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Outcome = DeliveryResult::Outcome;

constexpr qint64 ownProcess = 100;
constexpr qint64 notesProcess = 200;

class TextDeliveryTest : public ::testing::Test
{
protected:
    TextDeliveryTest() : desktop(scheduler, pasteboard), delivery(scheduler, desktop.environment(), ownProcess)
    {
        delivery.onCorrection = [this](const QString &previous, const QString &edited) {
            corrections.emplace_back(previous, edited);
        };
        delivery.onNotice = [this](const QString &message) { notices.push_back(message); };
        pasteboard.writeFromElsewhere(previousClipboard());
        window = desktop.addWindow(notesProcess);
        desktop.setApplication(notesProcess, u"Notes"_s);
        desktop.setFocusedWindow(notesProcess, window);
    }

    // A focused text area in the Notes window holding text with the given selection.
    int focusField(const QString &text, TextRange selection, const QString &role = u"AXTextArea"_s)
    {
        const int id = desktop.addNode(window, role, notesProcess);
        desktop.setAttribute(id, u"AXWindow"_s, desktop.handle(window));
        desktop.setText(id, text, selection);
        desktop.focus(id);
        return id;
    }

    DeliveryResult finish(Task<DeliveryResult> task, Duration limit = 10s)
    {
        for (Duration waited{}; !task.isDone() && waited < limit; waited += 10ms)
            scheduler.advance(10ms);
        EXPECT_TRUE(task.isDone());
        return task.isDone() ? task.result() : DeliveryResult{};
    }

    // Delivers to what was captured before.
    DeliveryResult send(const QString &text, bool observe = true) { return finish(delivery.deliver(text, observe)); }

    DeliveryResult dictate(const QString &text, bool observe = true)
    {
        delivery.prepare();
        return send(text, observe);
    }

    QList<Pasteboard::Item> previousClipboard() const
    {
        return {{{u"text/html"_s, "<b>old</b>"}, {test::FakePasteboard::plainType(), "old"}},
                {{u"image/png"_s, "PNG"}}};
    }

    test::VirtualScheduler scheduler;
    test::FakePasteboard pasteboard;
    test::FakeAccessibleDesktop desktop;
    TextDelivery delivery;
    int window = 0;
    std::vector<std::pair<QString, QString>> corrections;
    std::vector<QString> notices;
};

} // namespace orv::test
