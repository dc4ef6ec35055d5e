#pragma once

#include "sim/CardModel.h"

// One behaviour file per card family; the catalogue lists them by type code.
namespace sim::cards {

extern const CardModel kMainUnit;
extern const CardModel kQvi520;
extern const CardModel kBuz310;
extern const CardModel kQvo520;
extern const CardModel kHej520;
extern const CardModel kSiv520;
extern const CardModel kTwr310i;
extern const CardModel kNvo310;
extern const CardModel kJov520;
extern const CardModel kYor310;
extern const CardModel kKlf310;
extern const CardModel kFront26;

}  // namespace sim::cards
