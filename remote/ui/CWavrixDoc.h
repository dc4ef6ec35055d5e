#pragma once

namespace remote::ui {

// The remote's document: it holds nothing; the view owns the unit model, its
// link and the known units. Kept so the program has the shape of its kind.
class CWavrixDoc final {};

}  // namespace remote::ui
