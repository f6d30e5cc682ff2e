#pragma once
// The pictures of the launcher's windows, drawn at run time: the company logo and the navigation bar's
// image list.
#include <QPixmap>
#include <QVector>

namespace mirota {

QPixmap CompanyLogo(int width, int height, bool onWhite);
// ilNavbarImages: 30 x 30 pictures; picture 1 is the information button's.
QVector<QPixmap> NavbarImages();

} // namespace mirota
