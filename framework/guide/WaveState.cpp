#include "framework/guide/WaveState.h"

namespace kelto {

bool gfWaveRunning = false;

} // namespace kelto
