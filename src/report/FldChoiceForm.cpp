#include "FldChoiceForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

TFldChoiceForm::TFldChoiceForm(QWidget *parent, QList<QPair<QString, QString>> names, int row) : QDialog(parent)
{
    setObjectName(QStringLiteral("FldChoiceForm"));
    setWindowTitle(QStringLiteral("Выбор объекта отчета"));
    std::stable_sort(names.begin(), names.end(), [](const auto &a, const auto &b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    auto *layout = new QVBoxLayout(this);
    NameGrid = new QTableWidget(int(names.size()), 2, this);
    NameGrid->setObjectName(QStringLiteral("NameGrid"));
    NameGrid->setHorizontalHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Описание")});
    NameGrid->verticalHeader()->hide();
    NameGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NameGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NameGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    NameGrid->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < names.size(); ++r) {
        NameGrid->setItem(r, 0, new QTableWidgetItem(names[r].first));
        NameGrid->setItem(r, 1, new QTableWidgetItem(names[r].second));
    }
    NameGrid->resizeColumnToContents(0);
    NameGrid->setCurrentCell(row >= 0 && row < NameGrid->rowCount() ? row : 0, 0);
    NameGrid->installEventFilter(this);
    NameGrid->viewport()->installEventFilter(this);
    layout->addWidget(NameGrid, 1);
    SearchPanel = new QLabel(this);
    SearchPanel->setObjectName(QStringLiteral("SearchPanel"));
    SearchPanel->hide();
    layout->addWidget(SearchPanel);
    auto *buttons = new QHBoxLayout;
    ChooseBtn = new QPushButton(QStringLiteral("Выбрать"), this);
    ChooseBtn->setObjectName(QStringLiteral("ChooseBtn"));
    ChooseBtn->setDefault(true);
    ExitBtn = new QPushButton(QStringLiteral("Выход"), this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    buttons->addStretch(1);
    buttons->addWidget(ChooseBtn);
    buttons->addWidget(ExitBtn);
    layout->addLayout(buttons);
    connect(ChooseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(NameGrid, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    resize(520, 420);
}

int TFldChoiceForm::ChosenRow() const
{
    return NameGrid->currentRow();
}

QString TFldChoiceForm::ChosenName() const
{
    const QTableWidgetItem *item = NameGrid->item(NameGrid->currentRow(), 0);
    return item ? item->text() : QString();
}

void TFldChoiceForm::searchChanged()
{
    SearchPanel->setText(m_search);
    SearchPanel->setVisible(!m_search.isEmpty());
    if (m_search.isEmpty())
        return;
    const QString wanted = m_search.toUpper();
    for (int r = 0; r < NameGrid->rowCount(); ++r)
        if (NameGrid->item(r, 0)->text().toUpper().contains(wanted)) {
            NameGrid->setCurrentCell(r, 0);
            return;
        }
}

bool TFldChoiceForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == NameGrid && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Backspace) {
            m_search.chop(1);
            searchChanged();
            return true;
        }
        const QString text = key->text();
        if (!text.isEmpty() && text.at(0) > u' ' && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            m_search += text;
            searchChanged();
            return true;
        }
    }
    if (watched == NameGrid->viewport() && event->type() == QEvent::MouseButtonPress && !m_search.isEmpty()) {
        m_search.clear();
        searchChanged();
    }
    return QDialog::eventFilter(watched, event);
}
