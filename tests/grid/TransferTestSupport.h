#pragma once

// What the export and import tests share: a grid over a query, a person
// who names files and answers questions, the grid's menu clicked with the
// mouse, and the next modal window driven while it is shown.

#include "GridTestSupport.h"

#include "grid/GridCommands.h"
#include "grid/GridHooks.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

namespace TransferTest {

using namespace GridTest;

// A person: names the file to save or open, answers questions with
// Answer, presses Esc in long loops when told to.
class TPerson : public TRecordingUI {
public:
    QString SaveAs;
    QString OpenName;
    int SaveAsked = 0;
    bool Esc = false;
    QString SaveFileName(const QString &, const QString &, const QString &) override
    {
        ++SaveAsked;
        return SaveAs;
    }
    QString OpenFileName(const QString &, const QString &, const QString &) override { return OpenName; }
    bool ProcessMessages() override { return Esc; }
};

// Errors that reached the application while it lives.
class TErrors {
public:
    QStringList Messages;
    TErrors()
        : m_previous(SetApplicationExceptionHandler([this](QObject *, const Exception &e) { Messages << e.Message(); }))
    {
    }
    ~TErrors() { SetApplicationExceptionHandler(m_previous); }

private:
    TExceptionHandler m_previous;
};

// A grid over a query, shown with the keyboard in it.
struct TGridWindow {
    TQuery query;
    TDataSource source{&query};
    TSearchDBGrid grid;
    TGridWindow(const QString &alias, const QString &sql, bool live = false)
    {
        query.SetDatabaseName(alias);
        query.SetSQLText(sql);
        query.SetRequestLive(live);
        query.Open();
        grid.SetDataSource(&source);
        grid.resize(600, 300);
        grid.show();
        grid.View()->setFocus();
    }
    ~TGridWindow() { grid.SetDataSource(nullptr); }

    // Alt+F10 pops the menu up; the item of `tag` is clicked with the mouse.
    // False when the item is not shown.
    bool clickMenu(int tag)
    {
        QTest::keyClick(grid.View(), Qt::Key_F10, Qt::AltModifier);
        TDBGridPopupMenu *menu = DefaultMenuHook();
        if (!QTest::qWaitFor([&] { return menu->isVisible(); }))
            return false;
        QAction *item = menu->Item(tag);
        if (!item || !item->isVisible()) {
            menu->hide();
            return false;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        menu->hide();
        return true;
    }
};

// Calls `act` with the next modal window of the class T once it is shown
// (it may close it); gives up after five seconds.
template <class T>
void whenShown(std::function<void(T &)> act)
{
    auto *timer = new QTimer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline, act] {
        auto *w = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!w && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (w)
            act(*w);
    });
    timer->start(10);
}

// Presses a key in the window's focused control, as typed.
inline void press(QWidget &window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = window.focusWidget() ? window.focusWidget() : &window;
    QTest::keyClick(target, key, modifiers);
}

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace TransferTest
