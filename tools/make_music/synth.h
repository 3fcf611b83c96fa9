// The module's instruments, synthesised from scratch. Pitched sounds are
// built so that note C-4 plays middle C (261.63 Hz).
#pragma once

#include "xm_writer.h"

namespace makemusic {

Instrument MakeKick();
Instrument MakeSnare();
Instrument MakeClosedHat();
Instrument MakeOpenHat();
Instrument MakeCrash();
Instrument MakeBass();
Instrument MakePad();
Instrument MakeLead();
Instrument MakePluck();

}  // namespace makemusic
