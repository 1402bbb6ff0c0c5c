#include "Application.h"

#include "uisupport/Fitting.h"

#include <memory>

TQuarnApplication::TQuarnApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    InstallButtonMargins(*this);
}

bool TQuarnApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException(receiver);
        return false;
    }
}
