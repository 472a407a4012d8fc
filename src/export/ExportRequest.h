#pragma once

#include <cstdint>
#include <string>

class TZVFFormat;

namespace zv {

// What the export window's "Экспортировать" asks of the frame store, read from its controls.
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

    friend bool operator==(const ExportRequest &, const ExportRequest &) = default;
};

// Makes the one call of the frame store (or of the MP4 export, Mp4Export.h, with its defaults)
// that the request names. A picture export first creates its folder with every missing parent
// and fails with "Неверная директория экспорта" when that cannot be done. Errors of the frame
// store pass through as raised.
void runExportRequest(TZVFFormat &zvf, const ExportRequest &request);

}  // namespace zv
