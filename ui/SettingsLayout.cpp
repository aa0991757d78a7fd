#include "ui/SettingsLayout.h"

#include "ui/Card.h"
#include "ui/UIComponents.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace orv::ui::settingslayout {

QWidget *card(const QString &title, QLayout *content)
{
    auto *inner = new QWidget;
    auto *layout = new QVBoxLayout(inner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(12));
    layout->addWidget(label(title, 15, QFont::DemiBold));
    layout->addLayout(content);
    Card *box = ui::card(inner, 18);
    box->setAccessibleName(title);
    return box;
}

QGridLayout *grid()
{
    auto *layout = new QGridLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setVerticalSpacing(pixelsForPoints(12));
    layout->setHorizontalSpacing(pixelsForPoints(20));
    layout->setColumnMinimumWidth(0, pixelsForPoints(100));
    layout->setColumnStretch(1, 1);
    return layout;
}

namespace {

// The title of a new row of `grid`, right-aligned, naming `buddy`.
QLabel *addTitle(QGridLayout *grid, int row, const QString &title, QWidget *buddy)
{
    QLabel *name = label(title, 13);
    name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    name->setBuddy(buddy);
    grid->addWidget(name, row, 0);
    return name;
}

} // namespace

QLabel *addRow(QGridLayout *grid, const QString &title, QWidget *field)
{
    const int row = grid->rowCount();
    QLabel *name = addTitle(grid, row, title, field);
    // A list keeps its natural width. It sits in the grid itself, beside its label: screen readers name a
    // list by the label whose buddy it is only when the two share a parent (its own name is its value).
    if (qobject_cast<QComboBox *>(field))
        grid->addWidget(field, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
    else
        grid->addWidget(field, row, 1);
    return name;
}

QLabel *addRow(QGridLayout *grid, const QString &title, std::initializer_list<QWidget *> fields)
{
    const int row = grid->rowCount();
    QLabel *name = addTitle(grid, row, title, *fields.begin());
    auto *line = new QHBoxLayout;
    line->setSpacing(pixelsForPoints(8));
    for (QWidget *field : fields)
        line->addWidget(field);
    line->addStretch(1);
    grid->addLayout(line, row, 1);
    return name;
}

void addNote(QGridLayout *grid, QWidget *note)
{
    grid->addWidget(note, grid->rowCount(), 1);
}

QWidget *row(std::initializer_list<QWidget *> widgets)
{
    auto *container = new QWidget;
    auto *layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(8));
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    layout->addStretch(1);
    return container;
}

} // namespace orv::ui::settingslayout
