#include "export/ExportRequest.h"

#include "container/Mp4Export.h"
#include "container/ZVFformatUnit.h"
#include "export/PictureFolder.h"

namespace zv {

namespace {

void exportPictures(TZVFFormat &zvf, const ExportRequest &r) {
    makePictureFolder(r.path);
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
        zv::exportMp4ByTime(zvf, r.path, r.start, r.end, r.mp4);
    else
        zv::exportMp4(zvf, r.path, r.first, r.last, r.mp4);
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
