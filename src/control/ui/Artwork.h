#pragma once
// The control screen's pictures, drawn in code: the navigation icons (70 x 63, 32-bit colour) in a
// normal and a hover variant. The logo is the one every window shows (screen/ui/Look.h).
#include "screen/ui/Look.h"

#include <QPixmap>
#include <vector>

namespace mirota {

inline constexpr int kIconValues = 0;
inline constexpr int kIconPower = 1;
inline constexpr int kIconSettings = 2;
inline constexpr int kIconTerminal = 3;

using look::MakeLogo;
// The image list: indices kIconValues .. kIconTerminal.
std::vector<QPixmap> MakeIconList(bool hover);

} // namespace mirota
