#pragma once
// What the item lists of both programs share: cells whose text does not fit show it as a tooltip, and
// Return opens the selected row as a double-click does.
#include <QStyledItemDelegate>

#include <functional>

class QAbstractItemView;

namespace mirota {

// Cells whose text does not fit their column show the full text as a tooltip. A tooltip the cell has
// of its own (Qt::ToolTipRole) is shown as well, below the text; alone where the text fits. Long runs
// without a blank may break anywhere in the tooltip, which stays on the screen.
class FullTextTooltipDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

// Return and the keypad's Enter on `view` call `open` (which decides whether a row is selected) and go
// no further; other keys are left to the view.
void OpenOnReturn(QAbstractItemView* view, std::function<void()> open);

} // namespace mirota
