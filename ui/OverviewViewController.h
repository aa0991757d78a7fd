#pragma once

#include <QWidget>

namespace orv {

class AppModel;

namespace ui {

// The Overview page of the main window; redraws from the model on every change notification.
class OverviewViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit OverviewViewController(AppModel &model, QWidget *parent = nullptr);

    void refresh();

private:
    AppModel &m_model;
};

} // namespace ui
} // namespace orv
