#pragma once

#include <cstdint>
#include <string>

namespace zvbench {

// Writes a recording of frames frames of frameSize bytes each, packed back to back as the
// recorder leaves them, taken a second apart. With fillBytes the frame bytes are pseudo-random
// (they are not GIF pictures: a ZVF export copies them raw); without, the data area is a hole of
// a sparse file, for benchmarks that read only the index. Synced to disk before returning.
void writeRecording(const std::string &path, int32_t frames, int32_t frameSize, bool fillBytes);

}  // namespace zvbench
