#include "Application.h"

#include <memory>

TQuarnApplication::TQuarnApplication(int &argc, char **argv) : QApplication(argc, argv)
{
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
