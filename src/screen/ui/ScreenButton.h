#pragma once
// TScreenButton: a push button of the device screens whose accessible actions do what a click does.
// Qt's own accessible button offers only "Toggle" for a checkable (latching) button, and that flips the
// pressed state without the click handler running, so nothing would be sent to the device. This one is
// a button (checkable and checked states for a latching one) whose Press and Toggle actions click it.
#include <QPushButton>

namespace mirota {

class TScreenButton : public QPushButton {
    Q_OBJECT

public:
    explicit TScreenButton(const QString& caption, QWidget* parent = nullptr);
};

} // namespace mirota
