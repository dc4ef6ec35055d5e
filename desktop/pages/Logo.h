#pragma once

#include <QIcon>
#include <QImage>

namespace desktop::pages {

// The about page's picture, 640 × 480, drawn by the program itself so it
// ships no bitmap of anyone else's.
QImage ValdurLogo();
// The program's icon, from the same drawing.
QIcon ValdurIcon();

}  // namespace desktop::pages
