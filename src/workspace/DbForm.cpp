#include "DbForm.h"

#include "Application.h"
#include "DbMainForm.h"

#include "data/Database.h"

#include <QCloseEvent>
#include <QMdiArea>

TDbForm::TDbForm(TDbMainForm &mainForm, TDatabase *database)
    : m_mainForm(mainForm), m_database(database)
{
    setAttribute(Qt::WA_DeleteOnClose);
    mainForm.MdiArea()->addSubWindow(this);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (!(before & Qt::WindowActive) && (now & Qt::WindowActive))
                    Guarded(this, [this] { FormActivate(); });
            });
}

TDbForm::~TDbForm() = default;

void TDbForm::SetContent(QWidget *content)
{
    setWidget(content);
}

void TDbForm::ShowChild()
{
    // a new window steps down and right from the others, and starts again
    // at the top left before it would leave the visible workspace
    QMdiArea *area = m_mainForm.MdiArea();
    const QSize room = area->viewport()->size();
    if (room.width() > 100 && room.height() > 100 && !isMaximized()) {
        resize(std::min(width(), room.width()), std::min(height(), room.height()));
        constexpr int Step = 24;
        const int steps = std::max(1, std::min((room.width() - width()) / Step, (room.height() - height()) / Step) + 1);
        int others = 0;
        for (QMdiSubWindow *w : area->subWindowList())
            others += w != this && w->isVisible();
        move((others % steps) * Step, (others % steps) * Step);
    }
    show();
    m_mainForm.MdiArea()->setActiveSubWindow(this);
}

void TDbForm::FormActivate()
{
    m_mainForm.UpdateCommands();
}

void TDbForm::FormClose(TCloseAction &action)
{
    m_mainForm.ChildClosing(action);
}

void TDbForm::closeEvent(QCloseEvent *event)
{
    // A child window of the main window is minimised on close unless its
    // close handler says otherwise; ours say "free".
    TCloseAction action = caMinimize;
    bool close = false;
    Guarded(this, [&] {
        // the window's own questions first (an edit is posted there), then
        // the transaction its database has open; a closing program has
        // asked them all already
        if (m_mainForm.Closing()
            || (FormCloseQuery() && (!m_database || !m_database->Connected() || m_database->AskEndTransaction()))) {
            FormClose(action);
            close = true;
        }
    });
    if (!close || action == caNone) {
        event->ignore();
        return;
    }
    switch (action) {
    case caHide:
        event->ignore();
        hide();
        return;
    case caMinimize:
        event->ignore();
        showMinimized();
        return;
    default:
        QMdiSubWindow::closeEvent(event);   // WA_DeleteOnClose frees the window
    }
}
