#include "DBNavigator.h"

#include "Application.h"

#include "common/UserInterface.h"
#include "data/DataSet.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

struct TButtonLook {
    const char *name;
    QString hint;
};

TButtonLook look(TDBNavigator::TNavigateBtn b)
{
    switch (b) {
    case TDBNavigator::nbFirst: return {"First", QStringLiteral("Первая запись")};
    case TDBNavigator::nbPrior: return {"Prior", QStringLiteral("Предыдущая запись")};
    case TDBNavigator::nbNext: return {"Next", QStringLiteral("Следующая запись")};
    case TDBNavigator::nbLast: return {"Last", QStringLiteral("Последняя запись")};
    case TDBNavigator::nbInsert: return {"Insert", QStringLiteral("Добавить запись")};
    case TDBNavigator::nbDelete: return {"Delete", QStringLiteral("Удалить запись")};
    case TDBNavigator::nbEdit: return {"Edit", QStringLiteral("Редактировать запись")};
    case TDBNavigator::nbPost: return {"Post", QStringLiteral("Сохранить изменения")};
    case TDBNavigator::nbCancel: return {"Cancel", QStringLiteral("Отменить изменения")};
    case TDBNavigator::nbRefresh: return {"Refresh", QStringLiteral("Обновить данные")};
    }
    return {"", QString()};
}

// The button's glyph, drawn rather than loaded, so that it needs no image
// files and stays sharp at any scale.
QIcon glyph(TDBNavigator::TNavigateBtn b)
{
    QIcon icon;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = mode == QIcon::Normal ? QColor(0x20, 0x20, 0x80) : QColor(0xA0, 0xA0, 0xA0);
        p.setPen(QPen(ink, 2));
        p.setBrush(ink);
        auto triangle = [&](qreal x, bool right) {
            QPainterPath path;
            path.moveTo(right ? x : x + 6, 3);
            path.lineTo(right ? x + 6 : x, 8);
            path.lineTo(right ? x : x + 6, 13);
            path.closeSubpath();
            p.drawPath(path);
        };
        switch (b) {
        case TDBNavigator::nbFirst: p.drawLine(QPointF(4, 3), QPointF(4, 13)); triangle(6, false); break;
        case TDBNavigator::nbPrior: triangle(5, false); break;
        case TDBNavigator::nbNext: triangle(5, true); break;
        case TDBNavigator::nbLast: triangle(4, true); p.drawLine(QPointF(12, 3), QPointF(12, 13)); break;
        case TDBNavigator::nbInsert:
            p.drawLine(QPointF(8, 3), QPointF(8, 13));
            p.drawLine(QPointF(3, 8), QPointF(13, 8));
            break;
        case TDBNavigator::nbDelete: p.drawLine(QPointF(3, 8), QPointF(13, 8)); break;
        case TDBNavigator::nbEdit: {
            QPainterPath path;
            path.moveTo(3, 12);
            path.lineTo(8, 4);
            path.lineTo(13, 12);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case TDBNavigator::nbPost:
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
            break;
        case TDBNavigator::nbCancel:
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case TDBNavigator::nbRefresh:
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
            p.setBrush(ink);
            p.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(11, 3), QPointF(8, 5)}));
            break;
        }
        p.end();
        icon.addPixmap(pm, mode);
    }
    return icon;
}

} // namespace

TDBNavigator::TDBNavigator(std::initializer_list<TNavigateBtn> buttons, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (TNavigateBtn b : buttons) {
        auto *button = new QToolButton(this);
        const TButtonLook l = look(b);
        button->setObjectName(QLatin1String(l.name));
        button->setStatusTip(l.hint);
        button->setIcon(glyph(b));
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, b] { Guarded(this, [&] { BtnClick(b); }); });
        layout->addWidget(button);
        m_buttons[size_t(b)] = button;
    }
    updateButtons();
}

TDBNavigator::~TDBNavigator()
{
    SetDataSource(nullptr);
}

void TDBNavigator::SetDataSource(TDataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        m_source->RemoveLink(m_link);
    m_source = source;
    m_link = 0;
    if (m_source)
        m_link = m_source->AddLink([this](TDataEvent, TField *) { updateButtons(); });
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    TDataSet *ds = m_source && m_source->Enabled() ? m_source->DataSet() : nullptr;
    const bool active = ds && ds->Active();
    const bool browsing = active && ds->State() == dsBrowse;
    const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
    const bool canModify = active && ds->CanModify();
    const bool empty = !active || ds->IsEmpty();
    auto set = [this](TNavigateBtn b, bool on) {
        if (QToolButton *button = m_buttons[size_t(b)])
            button->setEnabled(on);
    };
    set(nbFirst, browsing && !empty && !ds->Bof());
    set(nbPrior, browsing && !empty && !ds->Bof());
    set(nbNext, browsing && !empty && !ds->Eof());
    set(nbLast, browsing && !empty && !ds->Eof());
    set(nbInsert, canModify && !editing);
    set(nbDelete, canModify && browsing && !empty);
    set(nbEdit, canModify && browsing && !empty);
    set(nbPost, editing);
    set(nbCancel, editing);
    set(nbRefresh, browsing);
}

void TDBNavigator::BtnClick(TNavigateBtn b)
{
    TDataSet *ds = m_source ? m_source->DataSet() : nullptr;
    if (!ds)
        return;
    switch (b) {
    case nbFirst: ds->First(); break;
    case nbPrior: ds->Prior(); break;
    case nbNext: ds->Next(); break;
    case nbLast: ds->Last(); break;
    case nbInsert: ds->Insert(); break;
    case nbDelete:
        if (UserInterface().MessageDlg(QStringLiteral("Удалить запись?"), QString(),
                                       TUserInterface::mtConfirmation,
                                       {TUserInterface::mbOK, TUserInterface::mbCancel})
            == TUserInterface::mbOK)
            ds->Delete();
        break;
    case nbEdit: ds->Edit(); break;
    case nbPost: ds->Post(); break;
    case nbCancel: ds->Cancel(); break;
    case nbRefresh: ds->Refresh(); break;
    }
    updateButtons();
}
