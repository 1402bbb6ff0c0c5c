#include "Application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
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

bool LoadQtTranslation()
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    translator->setParent(qApp);   // the application owns it from now on
    QCoreApplication::installTranslator(translator.release());
    return true;
}
