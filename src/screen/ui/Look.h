#pragma once
// The look every Ostrel window shares: colours, fonts, the company logo and the top strip (the white
// logo panel over the teal bar) of the device screens.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace mirota::look {

inline QColor Teal() {
    return QColor(0, 135, 132);
}
inline QColor Grey() {
    return QColor(93, 101, 108);
}
// The settings screen's navigation bar behind its teal flow panel.
inline QColor Slate() {
    return QColor(77, 115, 124);
}

inline constexpr int kLogoWidth = 202;
inline constexpr int kLogoHeight = 64;
inline constexpr int kBarHeight = 27;

// Arial where installed, else a metric-compatible substitute.
QFont ArialFont(int pixelSize, bool bold);

// A window title as given, or a single blank for an empty one: the window system would show the
// program's name instead of an empty title.
inline QString VisibleTitle(const QString& title) {
    return title.isEmpty() ? QStringLiteral(" ") : title;
}

// Fills the widget's background with `colour`.
void Fill(QWidget* widget, const QColor& colour);

// The company logo, 202 x 64 on a transparent background.
QPixmap MakeLogo();
// A 202 x 64 label holding the logo, accessible as "Mirota logo".
QLabel* MakeLogoLabel(QWidget* parent, const char* objectName);
// The white 64 pixel high panel with the logo at its left.
QWidget* MakeLogoPanel(QWidget* parent, const char* panelName, const char* logoName);
// A bar of `height` pixels in `colour`.
QWidget* MakeBar(QWidget* parent, const char* objectName, int height, const QColor& colour);
// The device screens' top strip added to `root`: "pnlTop" with "imgLogo", then the teal "pnlBar"
// (returned).
QWidget* AddTopStrip(QVBoxLayout* root, QWidget* parent);

} // namespace mirota::look
