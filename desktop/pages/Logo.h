#pragma once

#include <QIcon>
#include <QImage>

namespace desktop::pages {

// The about page's picture: 640 × 480, 8 bits per pixel, our own drawing
// carried in the program's constant data.
QImage ValdurLogo();
// The program's icon.
QIcon ValdurIcon();

}  // namespace desktop::pages
