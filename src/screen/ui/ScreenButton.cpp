#include "screen/ui/ScreenButton.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace mirota {

namespace {

class AccessibleScreenButton : public QAccessibleWidget {
public:
    explicit AccessibleScreenButton(TScreenButton* b) : QAccessibleWidget(b, QAccessible::Button) {}

    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString name = button()->accessibleName();
            return name.isEmpty() ? QString(button()->text()).remove(QLatin1Char('&')) : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (button()->isCheckable()) {
            s.checkable = true;
            s.checked = button()->isChecked();
        }
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        QStringList names{pressAction()};
        if (button()->isCheckable()) names << toggleAction();
        return names;
    }

    void doAction(const QString& action) override {
        if (!button()->isEnabled()) return;
        if (action == pressAction() || action == toggleAction())
            button()->click(); // the click handler runs, as for the mouse
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

QAccessibleInterface* ButtonFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("mirota::TScreenButton") && object && object->isWidgetType())
        return new AccessibleScreenButton(static_cast<TScreenButton*>(object));
    return nullptr;
}

} // namespace

TScreenButton::TScreenButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    static const bool installed = [] {
        QAccessible::installFactory(ButtonFactory);
        return true;
    }();
    (void)installed;
    setAccessibleName(QString(caption).remove(QLatin1Char('&')));
}

} // namespace mirota
