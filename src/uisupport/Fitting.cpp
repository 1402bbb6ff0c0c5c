#include "Fitting.h"

#include <QApplication>
#include <QMainWindow>
#include <QProxyStyle>
#include <QStyleOptionButton>
#include <QTableWidget>

namespace {

class TButtonMarginStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override
    {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        if (type == CT_PushButton)
            if (const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
                button && !button->text.isEmpty())
                size.setWidth(std::max(size.width(), contents.width() + 2 * TextMargin));
        return size;
    }

    static constexpr int TextMargin = 12;
};

} // namespace

void InstallButtonMargins(QApplication &app)
{
    if (!dynamic_cast<TButtonMarginStyle *>(app.style()))
        QApplication::setStyle(new TButtonMarginStyle(app.style()->name()));
}

void FitColumnsToTexts(QTableWidget &table)
{
    const int widest = 50 * table.fontMetrics().averageCharWidth();
    for (int c = 0; c + 1 < table.columnCount(); ++c) {
        const int width = table.columnWidth(c);
        table.resizeColumnToContents(c);   // the title's and the cells' width
        table.setColumnWidth(c, std::max(width, std::min(table.columnWidth(c), widest)));
    }
}

QWidget *DialogOwner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow *>(w) && w->isVisible() && !w->parentWidget())
            return w;
    return nullptr;
}
