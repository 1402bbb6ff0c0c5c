#include "DialogUserInterface.h"

#include "LoginDlg.h"
#include "uisupport/Fitting.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

TDialogUserInterface::TDialogUserInterface(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

TDialogUserInterface::~TDialogUserInterface()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool TDialogUserInterface::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        m_escPressed = true;
    return false;
}

bool TDialogUserInterface::InputQuery(const QString &caption, const QString &prompt, QString &value)
{
    QInputDialog box(DialogOwner());
    box.setObjectName(QStringLiteral("InputQuery"));
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(value);
    if (box.exec() != QDialog::Accepted)
        return false;
    value = box.textValue();
    return true;
}

int TDialogUserInterface::MessageDlg(const QString &text, const QString &caption, Kind kind,
                                     const QList<Button> &buttons)
{
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString title = caption;
    switch (kind) {
    case mtWarning: icon = QMessageBox::Warning; if (title.isEmpty()) title = QStringLiteral("Предупреждение"); break;
    case mtError: icon = QMessageBox::Critical; if (title.isEmpty()) title = QStringLiteral("Ошибка"); break;
    case mtInformation: icon = QMessageBox::Information; if (title.isEmpty()) title = QStringLiteral("Информация"); break;
    case mtConfirmation: icon = QMessageBox::Question; if (title.isEmpty()) title = QStringLiteral("Подтверждение"); break;
    }
    QMessageBox box(icon, title, text, QMessageBox::NoButton, DialogOwner());
    box.setObjectName(QStringLiteral("MessageDlg"));
    QList<Button> shown = buttons.isEmpty() ? QList<Button>{mbOK} : buttons;
    QMap<QAbstractButton *, Button> results;
    for (Button b : shown) {
        QAbstractButton *button = nullptr;
        switch (b) {
        case mbOK: button = box.addButton(QMessageBox::Ok); break;
        case mbCancel: button = box.addButton(QMessageBox::Cancel); break;
        case mbAbort: button = box.addButton(QMessageBox::Abort); break;
        case mbRetry: button = box.addButton(QMessageBox::Retry); break;
        case mbIgnore: button = box.addButton(QMessageBox::Ignore); break;
        case mbYes: button = box.addButton(QMessageBox::Yes); break;
        case mbNo: button = box.addButton(QMessageBox::No); break;
        case mbAll: button = box.addButton(QStringLiteral("&Все"), QMessageBox::AcceptRole); break;
        }
        if (button)
            results.insert(button, b);
    }
    // The default answer is OK or Yes, else the first button; Esc answers
    // Cancel, else No, else OK, when the box has one of them.
    auto find = [&](Button b) -> QAbstractButton * { return results.key(b, nullptr); };
    QAbstractButton *def = find(mbOK) ? find(mbOK) : find(mbYes) ? find(mbYes) : find(shown.first());
    if (auto *push = qobject_cast<QPushButton *>(def))
        box.setDefaultButton(push);
    for (Button b : {mbCancel, mbNo, mbOK})
        if (QAbstractButton *esc = find(b)) {
            box.setEscapeButton(esc);
            break;
        }
    box.exec();
    return results.value(box.clickedButton(), mbCancel);
}

QString TDialogUserInterface::FileDialogFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        QStringList patterns;
        for (const QString &p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << p.trimmed();
        const QString list = patterns.join(u' ');
        // A text that names its patterns already keeps them once.
        if (!text.endsWith(u')'))
            text += QStringLiteral(" (%1)").arg(list);
        filters << text;
    }
    if (parts.size() % 2 == 1 && !parts.last().trimmed().isEmpty() && filters.isEmpty())
        filters << parts.last().trimmed();
    return filters.join(QStringLiteral(";;"));
}

QString TDialogUserInterface::OpenFileName(const QString &title, const QString &filter, const QString &dir)
{
    QFileDialog box(DialogOwner(), title, dir, FileDialogFilter(filter));
    box.setObjectName(QStringLiteral("OpenFileName"));
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return QString();
    return box.selectedFiles().first();
}

QString TDialogUserInterface::SaveFileName(const QString &title, const QString &filter, const QString &dir)
{
    QFileDialog box(DialogOwner(), title, dir, FileDialogFilter(filter));
    box.setObjectName(QStringLiteral("SaveFileName"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return QString();
    return box.selectedFiles().first();
}

bool TDialogUserInterface::ProcessMessages()
{
    // Only an Esc among the messages run now counts: one pressed before the
    // loop began was meant for something else.
    m_escPressed = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const bool pressed = m_escPressed;
    m_escPressed = false;
    return pressed;
}

bool TDialogUserInterface::StatementRunning(double seconds)
{
    if (!m_busy) {
        m_busy = std::make_unique<QProgressDialog>(QStringLiteral("Выполнение запроса..."), QStringLiteral("Отмена"),
                                                   0, 0, DialogOwner());
        m_busy->setObjectName(QStringLiteral("StatementBusy"));
        m_busy->setWindowTitle(QStringLiteral("Запрос"));
        m_busy->setWindowModality(Qt::ApplicationModal);
        m_busy->setMinimumDuration(0);
        m_busy->setAutoReset(false);
        m_busy->setAutoClose(false);
        // Esc (and closing the window) stops the statement as "Отмена" does
        connect(m_busy.get(), &QDialog::rejected, m_busy.get(), &QProgressDialog::cancel);
        m_busy->show();
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    m_busy->setLabelText(QStringLiteral("Выполнение запроса... ") + QString::number(int(seconds)) + QStringLiteral(" с"));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return m_busy->wasCanceled();
}

void TDialogUserInterface::StatementEnded()
{
    if (!m_busy)
        return;
    m_busy.reset();
    QApplication::restoreOverrideCursor();
}

bool TDialogUserInterface::LoginDialog(const QString &databaseName, QString &userName, QString &password)
{
    TLoginDlg box(databaseName, userName, DialogOwner());
    if (box.exec() != QDialog::Accepted)
        return false;
    userName = box.UserName();
    password = box.Password();
    return true;
}
