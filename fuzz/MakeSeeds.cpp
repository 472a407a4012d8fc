// Writes the seed corpora of the fuzz targets with the module's own encoder and writers, so that
// the fuzzers start from well-formed inputs without any file kept in the repository.
// Usage: zvf_fuzz_seeds FOLDER; makes FOLDER/recording, gif, ini and text.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "container/ZVFformatUnit.h"
#include "platform/Cp1251.h"
#include "platform/DateTime.h"
#include "platform/IniFile.h"
#include "recording/RecordingSettings.h"

namespace {

namespace fs = std::filesystem;

void writeSeed(const fs::path &folder, const std::string &name, const void *data, size_t size) {
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!out)
        throw std::runtime_error("cannot write " + (folder / name).string());
}

void writeSeed(const fs::path &folder, const std::string &name, const std::string &bytes) {
    writeSeed(folder, name, bytes.data(), bytes.size());
}

// A small picture with bands and a diagonal, so that the LZW stream has runs and changes.
std::vector<uint8_t> picture(int width, int height, int colours, int seed) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>((x * 255) / width);
            p[1] = static_cast<uint8_t>(x == y ? 255 : (y * 40 + seed * 30));
            p[2] = static_cast<uint8_t>((x / 3 + y / 2 + seed) % 2 ? 200 : 20);
        }
    return zv::GifImage::encodeRgb(rgb.data(), width, height, colours);
}

void gifSeeds(const fs::path &folder) {
    const struct {
        int w, h, colours;
    } sizes[] = {{1, 1, 2}, {4, 2, 2}, {8, 8, 16}, {17, 5, 16}, {32, 24, 256}, {3, 40, 256}};
    int k = 0;
    for (const auto &s : sizes) {
        const std::vector<uint8_t> gif = picture(s.w, s.h, s.colours, k);
        writeSeed(folder, "encoded-" + std::to_string(k++), gif.data(), gif.size());
    }
}

void recordingSeeds(const fs::path &folder) {
    zvtest::MemoryFileSystem files;
    files.setFile("empty.zvf", {}, 0);
    {
        ZVFAppender writer("one.zvf", files);
        const std::vector<uint8_t> gif = picture(8, 8, 16, 1);
        writer.append(gif.data(), gif.size(), 40543.5);
    }
    {
        ZVFAppender writer("five.zvf", files);
        for (int i = 0; i < 5; ++i) {
            const std::vector<uint8_t> gif = picture(4 + i, 3 + i, i % 2 ? 16 : 2, i);
            writer.append(gif.data(), gif.size(), 40543.5 + i / 86'400.0);
        }
    }
    TZVFFormat five("five.zvf", files);
    five.ExportVideo("export.zvf", 1, 3, false);
    for (const char *name : {"empty.zvf", "one.zvf", "five.zvf", "export.zvf"}) {
        const std::vector<uint8_t> bytes = zvfuzz::fuzzBytesOf(files.contents(name));
        writeSeed(folder, name, bytes.data(), bytes.size());
    }
}

void iniSeeds(const fs::path &folder) {
    TRecordingSettings defaults;
    zv::IniFile fresh = zv::IniFile::fromBytes("");
    zv::writeRecordingSettings(fresh, defaults);
    writeSeed(folder, "defaults", fresh.bytes());

    TRecordingSettings other;
    other.OutFile = "D:\\Записи\\смена 2.zvf";
    other.BitRate = 8;
    other.EnableRec = true;
    for (const char *eol : {"\n", "\r", "\r\n"}) {
        const std::string e = eol;
        zv::IniFile file =
            zv::IniFile::fromBytes("; кассы" + e + "[Other]" + e + "a = 1" + e + "[zorvideo]" + e +
                                   "zvBitRate=6" + e + e + "[Last]" + e + "x='q'");
        zv::writeRecordingSettings(file, other);
        writeSeed(folder, "mixed-" + std::to_string(e.size()) + std::to_string(e[0]), file.bytes());
    }
}

void textSeeds(const fs::path &folder) {
    int k = 0;
    for (const char *text : {"Ошибка получения данных из файла видео:", "C:\\VELD\\ZORVIDEO",
                             "Ёё№€‰", "2010-12-31 23:59:58.123", "1899-12-30 00:00:00"})
        writeSeed(folder, "utf8-" + std::to_string(k++), text);
    writeSeed(folder, "cp1251", zv::utf8ToCp1251("Запись\\просмотр видеозаписей"));
    for (double value : {40543.5, 0.0, -1.25, 2'958'465.999}) {
        writeSeed(folder, "value-" + std::to_string(k++), &value, sizeof value);
        writeSeed(folder, "iso-" + std::to_string(k++), zv::formatDateTimeIso(value));
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const fs::path root = argv[1];
        recordingSeeds(root / "recording");
        gifSeeds(root / "gif");
        iniSeeds(root / "ini");
        textSeeds(root / "text");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
