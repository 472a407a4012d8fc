// How zvf describes the export commands: export, export-time, pictures, pictures-time,
// export-mp4, export-mp4-time. Only texts: the runs are in ExportCommands.cpp (zvf-export).
#include "ExportUsage.h"

#include <string>

namespace {

const char kMp4Options[] =
    "  --speed X         X секунд записи за секунду видео (по умолчанию 1; 0,01..10000)\n"
    "  --max-gap S       пауза длиннее S секунд показа урезается до S (по умолчанию 2)\n"
    "  --no-timestamp    без даты-времени в правом верхнем углу картинки\n"
    "  --verbose         собственный журнал FFmpeg (по-английски) в stderr, для поиска сбоев";

void addZvfExports(std::vector<ZvfCommand> &list) {
    const ZvfOption sevenZip{"7z", ""};
    list.push_back(
        {"export",
         "zvf export SRC DST FIRST LAST [--7z]\n"
         "  копирует кадры FIRST..LAST (включительно, в любом порядке) из SRC в файл ZVF DST,\n"
         "  который переписывается на месте, если есть (от прежнего ничего не остаётся); --7z\n"
         "  ещё упаковывает DST в DST.7z (DST остаётся; архив, который не создать, - ошибка)",
         "кадры по номерам в новый файл ZVF",
         false,
         {sevenZip}});
    list.push_back(
        {"export-time",
         "zvf export-time SRC DST START END [--7z]\n"
         "  как export, для кадров, снятых строго после START и строго до END\n"
         "  (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\", местное время); промежуток\n"
         "  между двумя соседними кадрами экспортирует оба",
         "промежуток времени в новый файл ZVF",
         false,
         {sevenZip}});
}

void addPictureExports(std::vector<ZvfCommand> &list) {
    list.push_back(
        {"pictures",
         "zvf pictures SRC DIR FIRST LAST\n"
         "  декодирует кадры FIRST..LAST и пишет каждый как DIR/\"YYMMDD hhnnss.GIF\" (его\n"
         "  дата-время; следующие кадры той же секунды получают _2, _3, ...); DIR создаётся\n"
         "  с родительскими папками (DIR, которую не создать, - ошибка)",
         "кадры по номерам в картинки GIF",
         false,
         {}});
    list.push_back(
        {"pictures-time",
         "zvf pictures-time SRC DIR START END\n"
         "  как pictures, для кадров, снятых строго после START и строго до END\n"
         "  (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\")",
         "промежуток времени в картинки GIF",
         false,
         {}});
}

void addMp4Exports(std::vector<ZvfCommand> &list) {
    const std::vector<ZvfOption> options = {
        {"speed", "X"}, {"max-gap", "S"}, {"no-timestamp", ""}, {"verbose", ""}};
    list.push_back(
        {"export-mp4",
         std::string(
             "zvf export-mp4 SRC DST FIRST LAST [--speed X] [--max-gap S] [--no-timestamp]\n"
             "               [--verbose]\n"
             "  кодирует кадры FIRST..LAST (включительно, в любом порядке) из SRC в видео\n"
             "  MP4 DST (H.264), каждый кадр показан своё настоящее время; DST заменяется,\n"
             "  если есть. Кадры, которые не прочитать, повторяют предыдущий, о них\n"
             "  сообщается в конце (код 1, видео записано)\n") +
             kMp4Options,
         "кадры по номерам в видео MP4", true, options});
    list.push_back(
        {"export-mp4-time",
         std::string("zvf export-mp4-time SRC DST START END [--speed X] [--max-gap S] "
                     "[--no-timestamp]\n"
                     "               [--verbose]\n"
                     "  как export-mp4, для кадров, снятых строго после START и строго\n"
                     "  до END (START, END: \"YYYY-MM-DD hh:mm:ss[.zzz]\")\n") +
             kMp4Options,
         "промежуток времени в видео MP4", true, options});
}

}  // namespace

std::vector<ZvfCommand> exportCommandUsages() {
    std::vector<ZvfCommand> list;
    addZvfExports(list);
    addPictureExports(list);
    addMp4Exports(list);
    return list;
}
