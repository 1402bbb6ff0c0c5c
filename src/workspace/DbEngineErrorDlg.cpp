#include "DbEngineErrorDlg.h"

#include "common/Format.h"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TDbEngineErrorDlg::TDbEngineErrorDlg(QWidget *parent, std::function<bool()> terminating)
    : QDialog(parent), m_terminating(std::move(terminating))
{
    setObjectName(QStringLiteral("DbEngineErrorDlg"));
    setWindowTitle(QStringLiteral("Database Engine Error"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    // Upper part: icon, error text, buttons.
    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    ErrorText = new QLabel(this);
    ErrorText->setObjectName(QStringLiteral("ErrorText"));
    ErrorText->setWordWrap(true);
    ErrorText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ErrorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ErrorText->setMinimumHeight(2 * ErrorText->fontMetrics().height());
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    // OK is the default only while the details are closed (setDetails): as
    // an auto-default button it would take Enter from "Next >" whenever it
    // got the focus, which it gets each time the dialog is shown
    OKBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    DetailsBtn = new QPushButton(QStringLiteral("&Details"), this);
    DetailsBtn->setObjectName(QStringLiteral("DetailsBtn"));
    DetailsBtn->setAutoDefault(false);
    connect(DetailsBtn, &QPushButton::clicked, this, Guard(this, &TDbEngineErrorDlg::DetailsBtnClick));
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(DetailsBtn);
    buttons->addStretch();
    auto *upper = new QHBoxLayout;
    upper->addWidget(icon);
    upper->addSpacing(8);
    upper->addWidget(ErrorText, 1);
    upper->addSpacing(8);
    upper->addLayout(buttons);

    // Lower part: the entries of the error stack.
    DetailsPanel = new QWidget(this);
    DetailsPanel->setObjectName(QStringLiteral("DetailsPanel"));
    BDELabel = new QLabel(QStringLiteral("BDE Error:"), DetailsPanel);
    DbResult = new QLineEdit(DetailsPanel);
    DbResult->setObjectName(QStringLiteral("DbResult"));
    DbCatSub = new QLineEdit(DetailsPanel);
    DbCatSub->setObjectName(QStringLiteral("DbCatSub"));
    DbMessage = new QPlainTextEdit(DetailsPanel);
    DbMessage->setObjectName(QStringLiteral("DbMessage"));
    DbMessage->setFixedHeight(4 * DbMessage->fontMetrics().lineSpacing() + 10);
    NativeLabel = new QLabel(QStringLiteral("Server Error:"), DetailsPanel);
    NativeLabel->setObjectName(QStringLiteral("NativeLabel"));
    NativeResult = new QLineEdit(DetailsPanel);
    NativeResult->setObjectName(QStringLiteral("NativeResult"));
    for (QLineEdit *field : {DbResult, DbCatSub, NativeResult}) {
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::ClickFocus);
    }
    DbMessage->setReadOnly(true);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    DbCatSub->setFont(fixed);
    BackBtn = new QPushButton(QStringLiteral("< &Back"), DetailsPanel);
    BackBtn->setObjectName(QStringLiteral("BackBtn"));
    BackBtn->setAutoDefault(false);
    connect(BackBtn, &QPushButton::clicked, this, Guard(this, &TDbEngineErrorDlg::BackClick));
    NextBtn = new QPushButton(QStringLiteral("Next >"), DetailsPanel);
    NextBtn->setObjectName(QStringLiteral("NextBtn"));
    NextBtn->setAutoDefault(false);
    connect(NextBtn, &QPushButton::clicked, this, Guard(this, &TDbEngineErrorDlg::NextClick));

    auto *grid = new QGridLayout(DetailsPanel);
    grid->setContentsMargins(0, 8, 0, 0);
    grid->addWidget(BDELabel, 0, 0);
    grid->addWidget(DbResult, 0, 1);
    grid->addWidget(DbCatSub, 0, 2);
    grid->addWidget(DbMessage, 1, 0, 1, 3);
    grid->addWidget(NativeLabel, 2, 0);
    grid->addWidget(NativeResult, 2, 1);
    auto *move = new QHBoxLayout;
    move->addStretch();
    move->addWidget(BackBtn);
    move->addWidget(NextBtn);
    grid->addLayout(move, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(upper);
    layout->addWidget(DetailsPanel);

    // The dialog is always as high as what it shows: the upper part grows
    // with the message, the details add the panel below it. The caption of
    // the button is taken as made; then the dialog starts closed.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ErrorText->setFixedWidth(320);
    m_detailsCaption = DetailsBtn->text();
    DetailsBtnClick();
}

TDbEngineErrorDlg::~TDbEngineErrorDlg()
{
    // The handler goes back even when there was none before: a handler left
    // behind would call a dialog that no longer exists.
    if (m_installed)
        SetApplicationExceptionHandler(std::move(m_previous));
}

void TDbEngineErrorDlg::Install()
{
    if (m_installed)
        return;
    m_previous = SetApplicationExceptionHandler(
        [this](QObject *sender, const Exception &e) { HandleException(sender, e); });
    m_installed = true;
}

void TDbEngineErrorDlg::HandleException(QObject *sender, const Exception &e)
{
    const auto *engineError = dynamic_cast<const EDBEngineError *>(&e);
    const bool ending = m_terminating ? m_terminating() : QCoreApplication::closingDown();
    if (engineError && !m_error && !ending) {
        ShowError(*engineError);
        return;
    }
    if (m_previous)
        m_previous(sender, e);
    else
        ShowException(e);
}

void TDbEngineErrorDlg::ShowError(const EDBEngineError &e)
{
    m_error.emplace(e);
    ErrorText->setText(e.Message());
    if (DetailsOpen())
        ShowEntry(0);
    OKBtn->setDefault(!DetailsOpen());
    OKBtn->setFocus();
    struct TRelease {
        TDbEngineErrorDlg *dlg;
        ~TRelease() { dlg->m_error.reset(); }
    } release{this};
    exec();
}

bool TDbEngineErrorDlg::DetailsOpen() const
{
    return !DetailsPanel->isHidden();
}

void TDbEngineErrorDlg::DetailsBtnClick()
{
    setDetails(!DetailsOpen());
}

void TDbEngineErrorDlg::setDetails(bool open)
{
    DetailsPanel->setVisible(open);
    layout()->activate();   // the new height at once, not at the next event
    DetailsBtn->setText(open ? QStringLiteral("<< %1").arg(m_detailsCaption)
                             : QStringLiteral("%1 >>").arg(m_detailsCaption));
    // With the details open, Enter walks on through the entries.
    NextBtn->setDefault(open);
    OKBtn->setDefault(!open);
    if (open)
        ShowEntry(0);
}

QString TDbEngineErrorDlg::CategoryText(const TDBError &entry)
{
    return Format(QStringLiteral("[$%2x] [$%2x]"), {entry.Category(), entry.SubCode()});
}

void TDbEngineErrorDlg::ShowEntry(int i)
{
    const int count = m_error ? m_error->ErrorCount() : 0;
    if (count == 0) {
        m_entry = 0;
        BackBtn->setEnabled(false);
        NextBtn->setEnabled(false);
        for (QLineEdit *field : {DbResult, DbCatSub, NativeResult})
            field->clear();
        DbMessage->clear();
        NativeLabel->setEnabled(false);
        return;
    }
    m_entry = std::clamp(i, 0, count - 1);
    const TDBError &entry = m_error->Error(m_entry);
    BackBtn->setEnabled(m_entry > 0);
    NextBtn->setEnabled(m_entry < count - 1);
    DbMessage->setPlainText(entry.Message);
    DbResult->setText(QString::number(entry.ErrorCode));
    DbCatSub->setText(CategoryText(entry));
    NativeLabel->setEnabled(entry.NativeError != 0);
    if (entry.NativeError != 0)
        NativeResult->setText(QString::number(entry.NativeError));
    else
        NativeResult->clear();
}

void TDbEngineErrorDlg::reject()
{
    // Esc answers "OK", the only answer there is.
    accept();
}
