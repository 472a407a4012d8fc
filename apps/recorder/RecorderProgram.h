#pragma once

#include <string>

// What the command line asks of the recorder.
struct RecorderOptions {
    std::string config;   // the configuration file (native or operator path); cnf.INI when empty
    bool once = false;    // take one frame and end
    bool pointer = true;  // draw the pointer into the frames
};

// The titles by which the module finds the recorder and stops it.
inline constexpr const char *kServiceTitle = "ZorvideoService";
inline constexpr const char *kQuitTitle = "TempForm";
// The X selection that the running recorder of a display owns.
inline constexpr const char *kInstanceSelection = "_ZORVIDEO_RECORDER_S0";

// Runs the recorder until the quit message, SIGTERM or SIGINT; returns the exit status: 0 after a
// clean end (and when another recorder already runs on the display), 1 when there is no display
// or it was lost, or when --once wrote no frame.
int runRecorder(const RecorderOptions &options);
