// SOMBRELLA_RECORD=FILE: the run recorded to a finished video file through
// FFmpeg's libraries. Frames come from the present hooks, music from the
// audio sink that the capture output feeds in step with the frames.
#pragma once

namespace sombrella::record {

// Prepares the recording if one was asked for. 0: go on; otherwise the exit
// status to stop with (2: the file name picks no usable format, 1: the file
// cannot be written), after a message on standard error.
int Start();
// Completes the file under its own name. False (after a message) when the
// recording failed; then no file of that name is left behind.
bool Finish();

}  // namespace sombrella::record
