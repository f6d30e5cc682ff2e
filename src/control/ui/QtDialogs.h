#pragma once
// Ostrel's dialogs on Qt: the application's modal dialogs with the captions "Fehler", "Informationen",
// "Warnung" and the buttons "OK", "&Ja", "&Nein"; owner-less system boxes; the input box with "OK" and
// "Abbrechen". Every box runs a nested event loop, so the message loop keeps going while it is shown.
#include "link/Dialogs.h"

class QWidget;

namespace mirota {

class QtDialogs : public Dialogs {
public:
    // The application's dialogs are centred on `owner` (the active window when null).
    explicit QtDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }

    DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons buttons) override;
    DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind icon,
                               DialogButtons buttons) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& value) override;

private:
    QWidget* owner_;
};

} // namespace mirota
