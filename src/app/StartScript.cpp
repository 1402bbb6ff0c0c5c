#include "StartScript.h"

#include "workspace/Application.h"
#include "viewer/KtPreviewForm.h"
#include "workspace/DbMainForm.h"
#include "workspace/QuarnForm.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <cstdio>

TStartScript::TStartScript(TDbMainForm &mainForm, TStartSteps steps)
    : QObject(&mainForm), m_mainForm(mainForm), m_steps(std::move(steps))
{
    // Every step runs from its own timer: a step that opens a modal dialog
    // (the engine-error dialog after a bad alias) does not hold back the
    // steps after it, which then act on that dialog.
    m_mainForm.activateWindow();
    int at = 300;
    if (!m_steps.OpenFile.isEmpty()) {
        QTimer::singleShot(at, this, [this] {
            Guarded(&m_mainForm, [this] { m_mainForm.OpenDatabaseFile(m_steps.OpenFile); });
        });
        at += 700;
    }
    if (!m_steps.OpenAlias.isEmpty()) {
        QTimer::singleShot(at, this, [this] { openAlias(); });
        at += 700;
    }
    if (!m_steps.SqlText.isEmpty()) {
        QTimer::singleShot(at, this, [this] { openSqlEditor(); });
        at += 700;
    }
    if (!m_steps.PreviewFile.isEmpty()) {
        QTimer::singleShot(at, this, [this] { openPreview(); });
        at += 700;
    }
    // One key at a time, each from its own timer: what a key starts (a
    // dialog opening, a connection failing) happens before the next key.
    for (const QString &key : std::as_const(m_steps.Keys)) {
        QTimer::singleShot(at, this, [this, key] { pressKey(key); });
        at += 300;
    }
    if (!m_steps.ScreenshotFile.isEmpty())
        QTimer::singleShot(at + m_steps.Delay, this, [this] { takeScreenshot(); });
}

void TStartScript::openAlias()
{
    Guarded(&m_mainForm, [this] {
        m_mainForm.OpenDatabase(m_steps.OpenAlias);
        if (!m_steps.ExpandTree)
            return;
        // the tables under the database's line, as Enter on it shows them
        auto *browser = qobject_cast<TQuarnForm *>(m_mainForm.ActiveChild());
        QTreeWidgetItem *root = browser ? browser->Tree->topLevelItem(0) : nullptr;
        if (root && !root->isExpanded())
            browser->ToggleLine(root);
    });
}

void TStartScript::openSqlEditor()
{
    Guarded(&m_mainForm, [this] {
        TDbForm *active = m_mainForm.ActiveChild();
        TDbForm *form = active ? m_mainForm.OpenSQLEditor(active->Database()) : nullptr;
        auto *editor = dynamic_cast<TSQLEditor *>(form);
        if (!editor)
            return;
        form->showMaximized();
        editor->SetSQLLines(m_steps.SqlText.split(u'\n'));
        editor->RunStatement();
    });
}

void TStartScript::openPreview()
{
    Guarded(&m_mainForm, [this] {
        auto *form = new TKtPreviewForm(&m_mainForm);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->Setup(m_steps.PreviewFile, TPageGeometry::Portrait, true, 1);
        // alone (the main window never shown) it is the program: closing it
        // ends the program, though it is no primary window of its own
        if (!m_mainForm.isVisible())
            connect(form, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        form->show();
        if (m_steps.PreviewZoom >= 0)
            form->SetZoomItem(m_steps.PreviewZoom);
        form->activateWindow();
    });
}

void TStartScript::pressKey(const QString &key)
{
    if (!QApplication::activeModalWidget() && !QApplication::activePopupWidget())
        m_mainForm.activateWindow();
    SendKey(key);
}

bool TStartScript::SendKey(const QString &name)
{
    const QKeySequence seq = QKeySequence::fromString(name.trimmed(), QKeySequence::PortableText);
    if (seq.isEmpty() || seq[0].key() == Qt::Key_unknown) {
        std::fprintf(stderr, "quarn --keys: неизвестная клавиша %s\n", qPrintable(name));
        return false;
    }
    const Qt::Key key = seq[0].key();
    const Qt::KeyboardModifiers mods = seq[0].keyboardModifiers();
    QString text;
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde && !(mods & (Qt::ControlModifier | Qt::AltModifier)))
        text = (mods & Qt::ShiftModifier) ? QString(QChar(key)) : QString(QChar(key)).toLower();
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        text = QStringLiteral("\r");
    // An open menu takes the keys first, as it does from the keyboard.
    QWidget *target = QApplication::activePopupWidget();
    if (!target)
        target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeModalWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (!target)
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->isWindow()) {
                target = w->focusWidget() ? w->focusWidget() : w;
                break;
            }
    if (!target) {
        std::fprintf(stderr, "quarn --keys: нет окна для клавиши %s\n", qPrintable(name));
        return false;
    }
    // A key press sent (not typed) goes through the shortcuts first, as a
    // typed one does, so mnemonics such as Alt+D work.
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    if (QWidget *now = QApplication::focusWidget())
        QApplication::sendEvent(now, &release);
    return true;
}

QImage TStartScript::Grab(TDbMainForm &mainForm)
{
    QRect area = mainForm.frameGeometry();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != &mainForm && w->windowType() != Qt::ToolTip)
            area = area.united(w->frameGeometry());
    QScreen *screen = mainForm.screen();
    // On a real display (Xvfb included) the screen's own pixels.
    QPixmap shot = screen ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()) : QPixmap();
    if (!shot.isNull() && QGuiApplication::platformName() != u"offscreen")
        return shot.toImage();
    // Without one the windows paint themselves, the main window first.
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.drawPixmap(mainForm.geometry().topLeft() - area.topLeft(), mainForm.grab());
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != &mainForm && (w->windowType() == Qt::Dialog || w->isModal()))
            painter.drawPixmap(w->geometry().topLeft() - area.topLeft(), w->grab());
    return image;
}

void TStartScript::takeScreenshot()
{
    const QImage image = Grab(m_mainForm);
    if (image.isNull() || !image.save(m_steps.ScreenshotFile, "PNG")) {
        std::fprintf(stderr, "quarn --screenshot: не удалось сохранить %s\n", qPrintable(m_steps.ScreenshotFile));
        QCoreApplication::exit(1);
        return;
    }
    std::printf("%s\n", qPrintable(m_steps.ScreenshotFile));
    std::fflush(stdout);
    QCoreApplication::exit(0);
}
