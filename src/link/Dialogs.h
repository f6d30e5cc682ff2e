#pragma once
// User messages of the device windows. The Qt windows implement this; tests use a recording fake.
// Both kinds are modal for the caller but keep the loop running (replies, ticks and failures are
// handled while a box is shown).
#include <optional>
#include <string>

namespace mirota {

enum class DialogKind { Error, Information, Warning };
enum class DialogButtons { Ok, YesNo };
enum class DialogResult { Ok, Yes, No, Cancel };

// Captions and button texts of the application's own dialogs.
inline constexpr const char* kCaptionError = "Fehler";
inline constexpr const char* kCaptionInformation = "Informationen";
inline constexpr const char* kCaptionWarning = "Warnung";
inline constexpr const char* kButtonOk = "OK";
inline constexpr const char* kButtonYes = "&Ja";
inline constexpr const char* kButtonNo = "&Nein";
inline constexpr const char* kButtonCancel = "Abbrechen";

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The application's modal dialog: caption from the kind ("Fehler", "Informationen", "Warnung").
    virtual DialogResult ShowDialog(DialogKind kind, const std::string& text, DialogButtons buttons) = 0;
    // A system message box without owner window, with its own caption ("Timeout...").
    virtual DialogResult ShowSystemBox(const std::string& text, const std::string& caption, DialogKind icon,
                                       DialogButtons buttons) = 0;
    // The standard input box ("OK" / "Abbrechen"); empty when cancelled.
    virtual std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                                const std::string& value) {
        (void)caption;
        (void)prompt;
        return value;
    }
};

} // namespace mirota
