#pragma once

#include <QDialog>

// The about box "Информация": product name, version and a "В&ыход" button.
class TAboutBoxForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBoxForm(QWidget *parent = nullptr);
};
