#include "export/ExportRequest.h"

#include <filesystem>
#include <system_error>

#include "container/Mp4Export.h"
#include "container/ZVFformatUnit.h"
#include "platform/Error.h"
#include "platform/Paths.h"

namespace zv {

namespace {

// ForceDirectories: the folder and all its missing parents; false when it is not a folder then.
bool forceDirectories(const std::string &folder) {
    if (folder.empty())
        return false;
    const std::filesystem::path native = nativePath(folder);
    std::error_code error;
    std::filesystem::create_directories(native, error);
    return std::filesystem::is_directory(native, error);
}

void exportPictures(TZVFFormat &zvf, const ExportRequest &r) {
    if (!forceDirectories(r.path))
        throw Error("Неверная директория экспорта");
    if (r.interval == ExportInterval::Time)
        zvf.ExportPicturesByTime(r.path, r.start, r.end);
    else
        zvf.ExportPictures(r.path, r.first, r.last);
}

void exportVideo(TZVFFormat &zvf, const ExportRequest &r) {
    if (r.interval == ExportInterval::Time)
        zvf.ExportVideoByTime(r.path, r.compress, r.start, r.end);
    else
        zvf.ExportVideo(r.path, r.first, r.last, r.compress);
}

void exportMp4(TZVFFormat &zvf, const ExportRequest &r) {
    if (r.interval == ExportInterval::Time)
        zv::exportMp4ByTime(zvf, r.path, r.start, r.end);
    else
        zv::exportMp4(zvf, r.path, r.first, r.last);
}

}  // namespace

void runExportRequest(TZVFFormat &zvf, const ExportRequest &request) {
    switch (request.target) {
        case ExportTarget::Pictures:
            exportPictures(zvf, request);
            return;
        case ExportTarget::Video:
            exportVideo(zvf, request);
            return;
        case ExportTarget::Mp4:
            exportMp4(zvf, request);
            return;
    }
}

}  // namespace zv
