#include "KeyFilter.h"

#include "Application.h"

#include "common/UserInterface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScopeGuard>
#include <QTabWidget>

TKeyFilter::TKeyFilter(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

TKeyFilter::~TKeyFilter()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool TKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        return true;
    case QEvent::KeyPress: {
        bool consumed = false;
        Guarded(this, [&] { consumed = keyDown(watched, static_cast<QKeyEvent *>(event)); });
        return consumed;
    }
    default:
        return false;
    }
}

bool TKeyFilter::keyDown(QObject *receiver, QKeyEvent *key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                           Qt::AltModifier | Qt::MetaModifier);
    switch (key->key()) {
    case Qt::Key_F4:
        if (mods != Qt::NoModifier || !OnCalculatorKey)
            return false;
        if (!m_calculatorShown) {
            m_calculatorShown = true;
            auto reset = qScopeGuard([this] { m_calculatorShown = false; });
            OnCalculatorKey();
        }
        return true;
    case Qt::Key_F6:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier)))
            SelectNextPage(QApplication::focusWidget(), !(mods & Qt::ShiftModifier));
        return true;
    case Qt::Key_ScrollLock: {
        QWidget *window = QApplication::activeWindow();
        if (!window)
            if (auto *w = qobject_cast<QWidget *>(receiver))
                window = w->window();
        const int answer = UserInterface().MessageDlg(
            QStringLiteral("Вы уверены, что хотите печатать форму ?"), QString(),
            TUserInterface::mtWarning, {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel});
        if (answer == TUserInterface::mbYes && window && OnPrintForm)
            OnPrintForm(window);
        return true;
    }
    default:
        // Alt with a letter of a Latin layout: the mnemonic of the Russian
        // letter on the same key, as people with a Latin layout active expect
        if (mods == Qt::AltModifier || mods == (Qt::AltModifier | Qt::ShiftModifier)) {
            const QChar letter = RussianLetterOfKey(key->key());
            QWidget *window = QApplication::activeWindow();
            if (!window)
                if (auto *w = qobject_cast<QWidget *>(receiver))
                    window = w->window();
            return !letter.isNull() && window && PressMnemonic(window, letter);
        }
        return false;
    }
}

QChar TKeyFilter::RussianLetterOfKey(int key)
{
    // the Russian typewriter layout (ЙЦУКЕН) over the Latin one (QWERTY)
    static const QString latin = QStringLiteral("QWERTYUIOP[]ASDFGHJKL;'ZXCVBNM,.`");
    static const QString russian = QStringLiteral("ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ");
    if (key <= 0 || key > 0x7f)
        return QChar();
    const qsizetype at = latin.indexOf(QChar(key));
    return at < 0 ? QChar() : russian[at];
}

bool TKeyFilter::PressMnemonic(QWidget *window, QChar letter)
{
    const QKeySequence wanted(QKeyCombination(Qt::AltModifier, Qt::Key(letter.toUpper().unicode())));
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        if (b->isVisible() && b->isEnabled() && QKeySequence::mnemonic(b->text()) == wanted) {
            b->setFocus(Qt::ShortcutFocusReason);
            b->click();
            return true;
        }
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->isVisible() && l->buddy() && l->buddy()->isEnabled() && QKeySequence::mnemonic(l->text()) == wanted) {
            l->buddy()->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    for (QMenuBar *bar : window->findChildren<QMenuBar *>())
        for (QAction *a : bar->actions())
            if (a->isVisible() && a->isEnabled() && QKeySequence::mnemonic(a->text()) == wanted) {
                bar->setActiveAction(a);
                return true;
            }
    return false;
}

bool TKeyFilter::SelectNextPage(QWidget *focus, bool goForward)
{
    for (QWidget *w = focus; w; w = w->parentWidget()) {
        auto *pages = qobject_cast<QTabWidget *>(w);
        if (!pages)
            continue;
        const int count = pages->count();
        if (count == 0)
            return true;
        // Like the tab order, the pages go round: after the last comes the
        // first. Disabled pages are passed over.
        int i = pages->currentIndex();
        for (int step = 0; step < count; ++step) {
            i = (i + (goForward ? 1 : count - 1)) % count;
            if (pages->isTabEnabled(i)) {
                pages->setCurrentIndex(i);
                break;
            }
        }
        return true;
    }
    return false;
}
