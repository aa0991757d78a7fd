// A small Qt window with two line edits for the delivery desktop tests. It prints "ready" once shown and
// "text:<content>" whenever the first field changes.
//   --password       the first field hides its text
//   --slow MS        the main thread stalls MS ms out of every 2·MS ms, so every answer comes late
//   --stall-on-paste MS  the main thread stalls MS ms when Ctrl+V arrives, before it asks for the clipboard
//   --set-clipboard  shows no window; owns a clipboard with several formats until killed
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setApplicationName(u"OrvantaQtField"_s);
    const QStringList args = app.arguments();
    auto say = [](const QString &line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    };
    // The number after an option; 0 without it.
    const auto number = [&](const char *option) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 0;
    };

    if (args.contains(u"--set-clipboard"_s)) {
        auto *data = new QMimeData;
        data->setText(u"previous"_s);
        data->setHtml(u"<b>previous</b>"_s);
        data->setData(u"application/x-orvanta-test"_s, "\x01\x02raw"_ba);
        QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
        say(u"ready"_s);
        return app.exec();
    }

    QWidget window;
    window.setWindowTitle(u"Orvanta Qt field"_s);
    auto *layout = new QVBoxLayout(&window);
    auto *first = new QLineEdit(&window);
    auto *second = new QLineEdit(&window);
    first->setAccessibleName(u"first"_s);
    second->setAccessibleName(u"second"_s);
    layout->addWidget(first);
    layout->addWidget(second);
    if (args.contains(u"--password"_s))
        first->setEchoMode(QLineEdit::Password);
    QObject::connect(first, &QLineEdit::textChanged, first, [&](const QString &text) { say(u"text:"_s + text); });

    // Holds up the paste: no accessibility answer and no clipboard request until it has slept.
    struct PasteStall : QObject
    {
        int ms = 0;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::KeyPress) {
                const auto *key = static_cast<QKeyEvent *>(event);
                if (key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier))
                    QThread::msleep(ms);
            }
            return QObject::eventFilter(watched, event);
        }
    } pasteStall;
    pasteStall.ms = number("--stall-on-paste");
    if (pasteStall.ms > 0)
        first->installEventFilter(&pasteStall);
    QTimer stall;
    if (const int ms = number("--slow"); ms > 0) {
        QObject::connect(&stall, &QTimer::timeout, &stall, [ms] { QThread::msleep(ms); });
        stall.start(ms);
    }

    window.resize(400, 120);
    window.show();
    window.activateWindow();
    first->setFocus();
    QTimer::singleShot(0, &window, [&] { say(u"ready"_s); });
    return app.exec();
}
