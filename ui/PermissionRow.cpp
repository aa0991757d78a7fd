#include "ui/PermissionRow.h"

#include "ui/SymbolView.h"
#include "ui/UIComponents.h"

#include <QHBoxLayout>
#include <QLabel>

namespace orv::ui {

PermissionRow::PermissionRow(QString title, const QString &detail, QWidget *parent)
    : QWidget(parent), m_title(std::move(title)), m_stateLabel(label(QString(), 12, QFont::Normal, Tone::secondary)),
      m_indicator(new SymbolView(QStringLiteral("circle"), 14))
{
    m_indicator->setTintRole(QPalette::PlaceholderText);
    m_indicator->setBoxWidth(pixelsForPoints(18));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(12));
    layout->addWidget(m_indicator);
    layout->addWidget(label(m_title, 13), 1);
    layout->addWidget(m_stateLabel);
    setToolTip(detail);
    setAccessibleDescription(detail);
    setAccessibleName(m_title);
}

void PermissionRow::update(const QString &state, bool granted)
{
    m_granted = granted;
    m_stateLabel->setText(state);
    if (granted) {
        m_indicator->setSymbol(QStringLiteral("checkmark.circle.fill"));
        m_indicator->setTint(successColor(palette()));
    } else {
        m_indicator->setSymbol(QStringLiteral("circle"));
        m_indicator->setTintRole(QPalette::PlaceholderText);
    }
    setAccessibleName(m_title + QStringLiteral(": ") + state);
}

QString PermissionRow::state() const
{
    return m_stateLabel->text();
}

} // namespace orv::ui
