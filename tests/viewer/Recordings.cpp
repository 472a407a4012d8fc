#include "viewer/Recordings.h"

#include <algorithm>
#include <filesystem>

#include "container/ZVFAppender.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"

namespace zvtest {

Rgb frameColour(int k) {
    return {static_cast<uint8_t>((k * 40) % 256), static_cast<uint8_t>((k * 16 + 8) % 256),
            static_cast<uint8_t>(255 - (k * 8) % 256)};
}

uint32_t framePixel(int k) {
    return argb(frameColour(k));
}

std::vector<uint8_t> plainGif(Rgb colour, int width, int height) {
    GifLayout layout;
    layout.screenWidth = width;
    layout.screenHeight = height;
    layout.globalPalette = {colour, {0, 0, 0}};
    GifPicture picture;
    picture.width = width;
    picture.height = height;
    picture.raster.assign(static_cast<size_t>(width) * height, 0);
    layout.pictures.push_back(picture);
    return makeGif(layout);
}

double frameTime(int k) {
    static const double start = zv::encodeDateTime({2024, 3, 5, 10, 20, 30, 0});
    return start + k / 86400.0;
}

void appendFrames(const std::string &file, int first, int count, const std::vector<int> &bad) {
    std::filesystem::create_directories(std::filesystem::path(zv::nativePath(file)).parent_path());
    ZVFAppender appender(file);
    for (int k = first; k < first + count; ++k) {
        if (std::find(bad.begin(), bad.end(), k) != bad.end()) {
            const std::string junk = "these bytes are no picture";
            appender.append(junk.data(), junk.size(), frameTime(k));
        } else {
            const std::vector<uint8_t> gif = plainGif(frameColour(k));
            appender.append(gif.data(), gif.size(), frameTime(k));
        }
    }
}

void makeRuns(const std::string &file, const std::vector<int> &runs) {
    std::filesystem::create_directories(std::filesystem::path(zv::nativePath(file)).parent_path());
    ZVFAppender appender(file);
    int k = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        const std::vector<uint8_t> gif = plainGif(frameColour(static_cast<int>(r)));
        for (int i = 0; i < runs[r]; ++i)
            appender.append(gif.data(), gif.size(), frameTime(k++));
    }
}

}  // namespace zvtest
