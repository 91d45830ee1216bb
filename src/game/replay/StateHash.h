// A fingerprint of a game in play: the globals of play, the soldier, the random generator
// and every sprite on the field. Two runs of the same game agree on it tick by tick; the
// first tick where they differ is where one went another way.
#pragma once
#include <cstdint>

class TForm1;

uint64_t StateHash(TForm1& form);
