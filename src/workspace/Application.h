#pragma once

#include "common/Translation.h"
#include "uisupport/Guard.h"

#include <QApplication>

// The application object of the program: its notify is the last net for
// exceptions that an event handler let through.
class TQuarnApplication : public QApplication {
public:
    TQuarnApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

