#include "screen/ui/ListTools.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

namespace mirota {

namespace {

// A tooltip wraps at blanks only when it is wider than the screen: a long run without one (a value of
// digits, a path) gets break opportunities, so that the tip stays on the screen.
QString Breakable(const QString& text) {
    constexpr int kRun = 60;
    QString out;
    out.reserve(text.size() + text.size() / kRun);
    int run = 0;
    for (const QChar c : text) {
        if (c.isSpace()) {
            run = 0;
        } else if (++run > kRun && !c.isLowSurrogate()) {
            out += QChar(0x200B); // zero-width space
            run = 1;
        }
        out += c;
    }
    return out;
}

} // namespace

bool FullTextTooltipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                        const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    QStyleOptionViewItem full = option;
    initStyleOption(&full, index);
    const bool cutOff = !text.isEmpty() && sizeHint(full, index).width() > option.rect.width();
    QString tip = own;
    if (cutOff) tip = own.isEmpty() ? text : text + QLatin1Char('\n') + own;
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(event->globalPos(), Breakable(tip), view->viewport(), option.rect);
    }
    return true;
}

namespace {

class ReturnOpens : public QObject {
public:
    ReturnOpens(QObject* parent, std::function<void()> open) : QObject(parent), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                open_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> open_;
};

} // namespace

void OpenOnReturn(QAbstractItemView* view, std::function<void()> open) {
    view->installEventFilter(new ReturnOpens(view, std::move(open)));
}

} // namespace mirota
