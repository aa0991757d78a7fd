// Renders the application icon's SVG into the PNG sizes of the hicolor icon theme:
//   orvanta_render_icon ICON.svg OUTDIR SIZE... → OUTDIR/<size>x<size>/apps/<name>.png
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        QTextStream(stderr) << "usage: orvanta_render_icon ICON.svg OUTDIR SIZE..." << Qt::endl;
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        QTextStream(stderr) << "not a readable SVG: " << arguments.at(1) << Qt::endl;
        return 1;
    }
    const QString name = QFileInfo(arguments.at(1)).completeBaseName();
    for (const QString &argument : arguments.mid(3)) {
        const int size = argument.toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments.at(2)).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            QTextStream(stderr) << "could not write into " << folder << Qt::endl;
            return 1;
        }
    }
    return 0;
}
