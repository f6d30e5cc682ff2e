#pragma once
// The control screen's pictures, drawn in code: the logo (202 x 64) and the navigation icons
// (70 x 63, 32-bit colour) in a normal and a hover variant.
#include <QPixmap>
#include <vector>

namespace mirota {

inline constexpr int kIconValues = 0;
inline constexpr int kIconPower = 1;
inline constexpr int kIconSettings = 2;
inline constexpr int kIconTerminal = 3;

QPixmap MakeLogo();
// The image list: indices kIconValues .. kIconTerminal.
std::vector<QPixmap> MakeIconList(bool hover);

} // namespace mirota
