#pragma once

#include <cstdint>
#include <string>

#include "container/Mp4Export.h"

class TZVFFormat;

namespace zv {

// One export as the export window's "Экспортировать" or a zvf export command asks for it.
enum class ExportTarget { Video, Pictures, Mp4 };
enum class ExportInterval { Frames, Time, Graph };

struct ExportRequest {
    ExportTarget target = ExportTarget::Video;
    ExportInterval interval = ExportInterval::Time;
    std::string path;       // target file (Video, Mp4) or folder (Pictures), as typed
    bool compress = false;  // Video: pack the new file into path + ".7z"
    int32_t first = 0;      // Frames and Graph: the two frames, in either order
    int32_t last = 0;
    double start = 0.0;  // Time: the two instants
    double end = 0.0;
    Mp4ExportOptions mp4;  // Mp4: speed, longest pause, time stamp, encoding

    friend bool operator==(const ExportRequest &, const ExportRequest &) = default;
};

// The one runner of exports, for the window and zvf alike: makes the one call of the frame store
// (or of the MP4 export, Mp4Export.h, with the request's options) that the request names. A
// picture export first creates its folder with every missing parent and fails with "Неверная
// директория экспорта" when that cannot be done. Errors of the frame store pass through as
// raised. Progress and cancel go through the frame store's hooks, as the caller set them.
void runExportRequest(TZVFFormat &zvf, const ExportRequest &request);

}  // namespace zv
