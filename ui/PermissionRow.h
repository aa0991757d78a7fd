#pragma once

#include <QWidget>

class QLabel;

namespace orv::ui {

class SymbolView;

// One permission with its state and a check mark once granted. The detail sentence is the row's tooltip
// and accessible description, not shown as text.
class PermissionRow final : public QWidget
{
    Q_OBJECT

public:
    PermissionRow(QString title, const QString &detail, QWidget *parent = nullptr);

    void update(const QString &state, bool granted);
    using QWidget::update;

    const QString &title() const { return m_title; }
    QString state() const;
    bool isGranted() const { return m_granted; }
    const SymbolView &indicator() const { return *m_indicator; }

private:
    QString m_title;
    QLabel *m_stateLabel;
    SymbolView *m_indicator;
    bool m_granted = false;
};

} // namespace orv::ui
