#include "ui/Symbols.h"

#include "ui/SymbolIconEngine.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <memory>

namespace orv::ui::symbols {

namespace {

QString resourcePath(const QString &symbol)
{
    return QStringLiteral(":/symbols/") + symbol + QStringLiteral(".svg");
}

// Parsed drawings, kept for the run: symbols are drawn at every redraw of a toolbar or tray.
QSvgRenderer *renderer(const QString &symbol)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto found = renderers.constFind(symbol);
    if (found == renderers.constEnd())
        found = renderers.insert(symbol, std::make_shared<QSvgRenderer>(resourcePath(symbol)));
    return found->get()->isValid() ? found->get() : nullptr;
}

QPixmap badge(const QColor &fill, const QString &symbol, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const qreal radius = size * 0.22;
    painter.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);
    const int inset = qRound(size * 0.16);
    painter.drawPixmap(inset, inset, symbols::pixmap(symbol, Qt::white, size - 2 * inset));
    return pixmap;
}

} // namespace

QString themeName(const QString &symbol)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("mic"), QStringLiteral("audio-input-microphone")},
        {QStringLiteral("mic.fill"), QStringLiteral("media-record")},
        {QStringLiteral("stop.fill"), QStringLiteral("media-playback-stop")},
        {QStringLiteral("trash"), QStringLiteral("edit-delete")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy")},
        {QStringLiteral("xmark"), QStringLiteral("process-stop")},
        {QStringLiteral("info.circle"), QStringLiteral("help-about")},
        {QStringLiteral("plus"), QStringLiteral("list-add")},
        {QStringLiteral("folder"), QStringLiteral("folder-open")},
    };
    return names.value(symbol);
}

bool exists(const QString &symbol)
{
    return QFile::exists(resourcePath(symbol));
}

QIcon icon(const QString &symbol, std::optional<QColor> tint)
{
    const QString name = themeName(symbol);
    if (!name.isEmpty() && QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return QIcon(new SymbolIconEngine(symbol, std::move(tint)));
}

QPixmap pixmap(const QString &symbol, const QColor &tint, int size, qreal devicePixelRatio)
{
    const int pixels = std::max(1, qRound(size * devicePixelRatio));
    const QString key = QStringLiteral("orvanta-symbol:%1:%2:%3").arg(symbol, tint.name(QColor::HexArgb)).arg(pixels);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (QSvgRenderer *svg = renderer(symbol)) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, pixels, pixels));
        // The drawing is black on transparent; its coverage takes the tint.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

QIcon applicationIcon()
{
    static const QIcon builtIn(QStringLiteral(":/symbols/io.orvanta.Orvanta.svg"));
    return QIcon::fromTheme(QStringLiteral("io.orvanta.Orvanta"), builtIn);
}

QIcon trayIcon(bool recording)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        icon.addPixmap(recording ? badge(QColor(0xE5, 0x3B, 0x35), QStringLiteral("mic.fill"), size)
                                 : badge(QColor(0x4F, 0x6F, 0xF0), QStringLiteral("waveform"), size));
    }
    return icon;
}

} // namespace orv::ui::symbols
