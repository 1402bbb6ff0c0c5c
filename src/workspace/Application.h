#pragma once

#include "uisupport/Guard.h"

#include <QApplication>

// The application object of the program: its notify is the last net for
// exceptions that an event handler let through.
class TQuarnApplication : public QApplication {
public:
    TQuarnApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Loads Qt's own Russian translation (standard buttons read Да, Нет,
// Отмена) into the application; false when the translation is missing.
bool LoadQtTranslation();
