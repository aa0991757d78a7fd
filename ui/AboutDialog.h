#pragma once

#include <QDialog>

namespace orv::ui {

// "About Orvanta": the icon, the version, one sentence of what it does, and where it works.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
};

} // namespace orv::ui
