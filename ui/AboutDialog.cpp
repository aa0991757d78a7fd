#include "ui/AboutDialog.h"

#include "base/PlatformText.h"
#include "ui/Dialogs.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::ui {

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    dialogFrame(this);
    setWindowTitle(QStringLiteral("About Orvanta"));
    setAccessibleName(QStringLiteral("About Orvanta"));

    auto *icon = new QLabel;
    const int side = pixelsForPoints(64);
    icon->setPixmap(symbols::applicationIcon().pixmap(QSize(side, side)));
    icon->setAlignment(Qt::AlignHCenter);

    auto *place = new QHBoxLayout;
    place->addStretch(1);
    auto *lock = new SymbolView(QStringLiteral("lock.shield"), 12);
    lock->setTintRole(QPalette::PlaceholderText);
    place->addWidget(lock);
    place->addWidget(label(platform::onThisComputerStatus(), 11, QFont::Normal, Tone::secondary));
    place->addStretch(1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    describe(buttons->button(QDialogButtonBox::Close), QStringLiteral("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(pixelsForPoints(28), pixelsForPoints(24), pixelsForPoints(28), pixelsForPoints(16));
    layout->setSpacing(pixelsForPoints(8));
    layout->addWidget(icon);
    QLabel *name = label(QStringLiteral("Orvanta"), 20, QFont::DemiBold);
    name->setAlignment(Qt::AlignHCenter);
    layout->addWidget(name);
    QLabel *version =
        label(QStringLiteral("Version ") + QCoreApplication::applicationVersion(), 12, QFont::Normal, Tone::secondary);
    version->setAlignment(Qt::AlignHCenter);
    layout->addWidget(version);
    QLabel *what = label(QStringLiteral("Hold a key and speak: Orvanta turns your voice into text in the app you are "
                                        "typing in, and learns the spellings you correct."),
                         13, QFont::Normal, Tone::primary, true);
    what->setAlignment(Qt::AlignHCenter);
    what->setMinimumWidth(pixelsForPoints(300));
    layout->addWidget(what);
    layout->addLayout(place);
    layout->addWidget(buttons);
}

} // namespace orv::ui
