// A run ended by SIGINT or SIGTERM leaves its files whole: the sound recorded so far is written and the
// WAV header's sizes brought up to date, a PNG being written is removed (only whole ones carry a PNG
// name), then the signal ends the process as it would have. One the process was started with ignored
// stays ignored. A file-size limit makes writes fail (and be reported) rather than end the process.
#pragma once

#include "host/wav_writer.h"

namespace host {

// `wav` may be null (no recording). Call once, before the run starts.
void InstallOutputSignalHandlers(WavWriter* wav);

}  // namespace host
