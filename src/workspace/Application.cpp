#include "Application.h"

#include <QMessageBox>
#include <memory>

static TExceptionHandler &installedHandler()
{
    static TExceptionHandler handler;
    return handler;
}

const TExceptionHandler &ApplicationExceptionHandler()
{
    return installedHandler();
}

TExceptionHandler SetApplicationExceptionHandler(TExceptionHandler handler)
{
    TExceptionHandler previous = std::move(installedHandler());
    installedHandler() = std::move(handler);
    return previous;
}

void HandleException(QObject *sender, const Exception &e)
{
    if (dynamic_cast<const EAbort *>(&e))
        return;
    // A copy: the handler may replace itself while it runs (a dialog that
    // is destroyed puts back the handler it replaced).
    const TExceptionHandler handler = installedHandler();
    if (!handler) {
        ShowException(e);
        return;
    }
    try {
        handler(sender, e);
    } catch (const EAbort &) {
    } catch (const Exception &inner) {
        ShowException(inner);
    } catch (const std::exception &inner) {
        ShowException(Exception(QString::fromLocal8Bit(inner.what())));
    }
}

void HandleCurrentException(QObject *sender) noexcept
{
    try {
        try {
            throw;
        } catch (const Exception &e) {
            HandleException(sender, e);
        } catch (const std::exception &e) {
            HandleException(sender, Exception(QString::fromLocal8Bit(e.what())));
        } catch (...) {
            HandleException(sender, Exception(QStringLiteral("Внутренняя ошибка программы")));
        }
    } catch (...) {
        // Showing the error failed as well (no memory left): nothing more
        // can be done without letting it cross the event loop.
    }
}

void ShowException(const Exception &e)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), e.Message(),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

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
