#pragma once

class QWidget;

namespace orvik {

// The recorder panel picRecorder (buttons, file name, rate and bits options, read-outs) and
// the hidden track list picRecorderTrackList, which lies in frFreqCtl beside frPresets so it
// can be laid over it. buildBandControls must have run first.
void buildRecorderControls(QWidget* window);

} // namespace orvik
