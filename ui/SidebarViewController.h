#pragma once

#include <QItemSelection>
#include <QStringList>
#include <QWidget>

#include <functional>

class QListWidget;

namespace orv {

class AppModel;

namespace ui {

// The main window's page list: the application's name at the top, the four pages, and "On this computer"
// at the bottom. A row is always selected.
class SidebarViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit SidebarViewController(AppModel &model, QWidget *parent = nullptr);

    static QStringList titles();
    static QStringList symbols();

    // Called with the row the user selected.
    std::function<void(int)> onSelect;

    void selectRow(int row);
    int selectedRow() const;
    QListWidget *table() const { return m_table; }

private:
    void selectionChanged(const QItemSelection &selected);

    AppModel &m_model;
    QListWidget *m_table;
    int m_selected = 0;
};

} // namespace ui
} // namespace orv
