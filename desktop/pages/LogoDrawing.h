#pragma once

#include <QImage>

namespace desktop::pages {

// The about page's picture as drawn, 640 × 480 in true colour. The build
// turns it into the program's 8-bit picture once (mrx_make_logo), so the
// program never spends its start-up drawing it.
QImage DrawValdurLogo();

}  // namespace desktop::pages
