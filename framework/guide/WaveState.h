#pragma once
// Whether a waveform has been played in the current run: written by the waveform
// test elements, read by the grid result view, which accepts the operator's verdict
// only while it is set. False when the library loads.

namespace kelto {

extern bool gfWaveRunning;

} // namespace kelto
