#include "ui/SidebarViewController.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace orv::ui {

QStringList SidebarViewController::titles()
{
    return {QStringLiteral("Overview"), QStringLiteral("History"), QStringLiteral("Dictionary"),
            QStringLiteral("Settings")};
}

QStringList SidebarViewController::symbols()
{
    return {QStringLiteral("waveform"), QStringLiteral("clock"), QStringLiteral("character.book.closed"),
            QStringLiteral("gearshape")};
}

SidebarViewController::SidebarViewController(AppModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_table(new QListWidget)
{
    // A shade apart from the pages, in light and dark palettes alike.
    setAutoFillBackground(true);
    QPalette shaded = palette();
    const QColor window = shaded.color(QPalette::Window);
    shaded.setColor(QPalette::Window, isDark(shaded) ? window.lighter(112) : window.darker(104));
    setPalette(shaded);

    auto *header = new QHBoxLayout;
    header->setSpacing(pixelsForPoints(9));
    header->addWidget(symbolImage(QStringLiteral("waveform"), palette().color(QPalette::Highlight), 25));
    header->addWidget(label(QStringLiteral("Orvanta"), 17, QFont::DemiBold));
    header->addStretch(1);

    m_table->setAccessibleName(QStringLiteral("Navigation"));
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setIconSize(QSize(pixelsForPoints(16), pixelsForPoints(16)));
    m_table->setFont(ui::font(13, QFont::Medium));
    m_table->setSpacing(pixelsForPoints(2));
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->setStyleSheet(QStringLiteral("QListWidget { background: transparent; outline: none; }"
                                          "QListWidget::item { border-radius: 6px; padding: 4px 6px; }"
                                          "QListWidget::item:selected { background: palette(highlight);"
                                          " color: palette(highlighted-text); }"));
    const QStringList names = titles();
    const QStringList icons = symbols();
    for (int row = 0; row < names.size(); ++row) {
        auto *item = new QListWidgetItem(symbols::icon(icons.at(row), palette().color(QPalette::WindowText)),
                                         names.at(row), m_table);
        item->setSizeHint(QSize(0, pixelsForPoints(36)));
        item->setData(Qt::AccessibleTextRole, names.at(row));
    }
    // The rows newly selected decide, whoever selected them: a click, the keys, or an assistive tool's selection,
    // which clears the old row and adds the new one in two steps.
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected) { selectionChanged(selected); });

    auto *footer = new QHBoxLayout;
    footer->setSpacing(pixelsForPoints(6));
    auto *lock = new SymbolView(QStringLiteral("lock.shield"), 12);
    lock->setTintRole(QPalette::PlaceholderText);
    footer->addWidget(lock);
    QLabel *status = label(platform::onThisComputerStatus(), 11, QFont::Normal, Tone::secondary, true);
    footer->addWidget(status, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(pixelsForPoints(8), pixelsForPoints(22), pixelsForPoints(8), pixelsForPoints(20));
    layout->setSpacing(0);
    header->setContentsMargins(pixelsForPoints(11), 0, pixelsForPoints(4), 0);
    layout->addLayout(header);
    layout->addSpacing(pixelsForPoints(26));
    layout->addWidget(m_table, 1);
    layout->addSpacing(pixelsForPoints(20));
    footer->setContentsMargins(pixelsForPoints(11), 0, pixelsForPoints(8), 0);
    layout->addLayout(footer);

    m_table->setCurrentRow(0);
}

void SidebarViewController::selectRow(int row)
{
    if (row < 0 || row >= m_table->count())
        return;
    m_selected = row;
    if (m_table->currentRow() != row || m_table->selectedItems().isEmpty())
        m_table->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

int SidebarViewController::selectedRow() const
{
    return m_selected;
}

void SidebarViewController::selectionChanged(const QItemSelection &selected)
{
    if (m_table->selectedItems().isEmpty()) {
        // An empty selection is not allowed: the page shown stays selected.
        m_table->setCurrentRow(m_selected, QItemSelectionModel::ClearAndSelect);
        return;
    }
    int row = m_selected;
    for (const QModelIndex &index : selected.indexes())
        if (index.row() != m_selected)
            row = index.row();
    if (m_table->selectedItems().size() > 1 || m_table->currentRow() != row)
        m_table->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    if (row == m_selected)
        return;
    m_selected = row;
    if (onSelect)
        onSelect(row);
}

} // namespace orv::ui
