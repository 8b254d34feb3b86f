// The system's own capture and mixer layers, made once for the process and never destroyed
// (a recording thread may still be finishing when the process ends).
#pragma once

#include "platform/MixerApi.h"
#include "platform/WaveIn.h"

WaveInApi& systemWaveIn();
// A device id names the same card here as in systemWaveIn().
MixerApi& systemMixers();
