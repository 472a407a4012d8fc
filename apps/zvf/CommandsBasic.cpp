// The reading commands (info, frames, frame, check) and sample.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

#include "ZvfCommand.h"
#include "container/GifImage.h"
#include "container/ZVFCheck.h"
#include "container/ZVFConstants.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/PartFile.h"
#include "platform/Paths.h"
#include "recorder/SampleRecording.h"

namespace {

using Args = ZvfArgs;

int runInfo(const Args &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 1, 1);
    requireExistingFile(args[0]);
    TZVFFormat zvf(args[0]);
    const int32_t n = zvf.FrameCount();
    std::printf("size: %lld\nframes: %d\n", static_cast<long long>(zvf.FileSize()), n);
    if (n > 0) {
        TZVFFrameEntry first, last;
        zvf.ReadFrameEntry(0, first);
        zvf.ReadFrameEntry(n - 1, last);
        std::printf("first: %s\nlast: %s\n", zv::formatDateTimeIso(first.DateTime).c_str(),
                    zv::formatDateTimeIso(last.DateTime).c_str());
    }
    return 0;
}

int runFrames(const Args &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 1, 3);
    requireExistingFile(args[0]);
    TZVFFormat zvf(args[0]);
    const FrameRange range = frameRangeOf(parsed, zvf.FrameCount());
    const int32_t last = range.last;
    // Blocks of entries keep memory flat for a full index.
    constexpr int32_t kBlock = 65'536;
    std::string out;
    char line[128];
    for (int32_t first = range.first; first <= last; first += kBlock) {
        const int32_t m = std::min(kBlock, last - first + 1);
        std::vector<TZVFFrameEntry> entries = zvf.ReadFrameEntries(first, m);
        out.clear();
        for (size_t k = 0; k < entries.size(); ++k) {
            const TZVFFrameEntry &e = entries[k];
            int len =
                std::snprintf(line, sizeof line, "%d\t%lld\t%d\t%s\n",
                              first + static_cast<int32_t>(k), static_cast<long long>(e.Offset),
                              e.Size, zv::formatDateTimeIso(e.DateTime).c_str());
            out.append(line, static_cast<size_t>(len));
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        if (static_cast<int32_t>(entries.size()) < m)
            throw zv::Error("Индекс кадров обрывается на кадре " +
                            std::to_string(first + entries.size()));
    }
    return 0;
}

bool endsWithNoCase(const std::string &text, const std::string &tail) {
    if (text.size() < tail.size())
        return false;
    return std::equal(
        tail.begin(), tail.end(), text.end() - static_cast<long>(tail.size()),
        [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

int runFrame(const Args &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 3, 3);
    const std::string &out = args[2];
    const bool png = endsWithNoCase(out, ".png");
    if (!png && !endsWithNoCase(out, ".gif"))
        throw ZvfUsageError("OUT должен оканчиваться на .png или .gif");
    const int64_t index = parseIntArg(args[1], "INDEX", 0, zvf::kCapacity - 1);
    requireExistingFile(args[0]);
    TZVFFormat zvf(args[0]);
    const int32_t n = zvf.FrameCount();
    if (index >= n)
        throw zv::Error("Кадр " + std::to_string(index) + " вне файла: кадров " +
                        std::to_string(n));
    zv::GifImage image;
    const zv::Status loaded = zvf.TryLoadFrame(static_cast<int32_t>(index), image);
    if (!loaded.ok())
        throw zv::Error(TZVFFormat::LoadFailureText(loaded.reason(), '\n'));
    // OUT keeps its bytes as given (UTF-8 or not); the picture is written whole under a part of
    // its own and renamed into place, with the system's reason when that fails.
    const std::string native = zv::nativePath(out);
    if (png) {
        const QImage picture(reinterpret_cast<const uchar *>(image.pixels()), image.width(),
                             image.height(), image.width() * 4, QImage::Format_ARGB32);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, "PNG"))
            throw zv::Error("Не удается записать файл \"" + native + "\": ошибка кодирования PNG");
        zv::writeWholeFile(native, bytes.constData(), static_cast<size_t>(bytes.size()));
    } else {
        const std::vector<uint8_t> bytes = image.saveToBytes();
        zv::writeWholeFile(native, bytes.data(), bytes.size());
    }
    return 0;
}

int runCheck(const Args &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 1, 1);
    requireExistingFile(args[0]);
    zvf::CheckResult result = zvf::checkFile(args[0]);
    for (const std::string &line : result.lines)
        std::printf("%s\n", line.c_str());
    return result.problems == 0 ? 0 : 1;
}

int runSample(const Args &args) {
    expectPositional(args, 1, 1);
    SampleOptions o;
    for (const auto &[name, value] : args.options) {
        if (name == "frames") {
            o.frames = static_cast<int>(parseIntArg(value, "--frames", 0, zvf::kCapacity));
        } else if (name == "delay") {
            o.delayMs = static_cast<int>(parseIntArg(value, "--delay", 0, 86'400'000));
        } else if (name == "size") {
            size_t x = value.find_first_of("xX");
            if (x == std::string::npos)
                throw ZvfUsageError("--size: ожидается ШИРИНАxВЫСОТА, например 1280x1024");
            o.width = static_cast<int>(parseIntArg(value.substr(0, x), "width", 16, 8192));
            o.height = static_cast<int>(parseIntArg(value.substr(x + 1), "height", 16, 8192));
        } else if (name == "quality") {
            o.quality = static_cast<int>(parseIntArg(value, "--quality", 4, 8));
            if (o.quality != 4 && o.quality != 8)
                throw ZvfUsageError("--quality: ожидается 4 или 8");
        } else if (name == "start") {
            auto start = zv::parseDateTimeIso(value);
            if (!start)
                throw ZvfUsageError("--start: ожидается \"ГГГГ-ММ-ДД чч:мм:сс\"");
            o.start = *start;
        }
    }
    writeSampleRecording(args.positional[0], o);
    return 0;
}

const ZvfRegistrar kInfo({"info",
                          "zvf info FILE\n"
                          "  печатает \"size: <байт>\", \"frames: <n>\" и, когда n > 0,\n"
                          "  \"first: <дата-время>\" и \"last: <дата-время>\"\n"
                          "  (дата-время: YYYY-MM-DD hh:mm:ss.zzz, местное время записи)",
                          "размер, число кадров, первая и последняя дата-время",
                          false,
                          {},
                          runInfo});

const ZvfRegistrar kFrames({"frames",
                            "zvf frames FILE [FIRST [LAST]]\n"
                            "  строка на кадр: номер TAB смещение TAB размер TAB дата-время;\n"
                            "  LAST за последним кадром урезается до него",
                            "список записей индекса",
                            false,
                            {},
                            runFrames});

const ZvfRegistrar kFrame({"frame",
                           "zvf frame FILE INDEX OUT\n"
                           "  декодирует кадр INDEX; OUT с окончанием .png получает PNG, .gif -\n"
                           "  GIF (картинку как она хранится, без квантования)",
                           "один кадр в PNG или GIF",
                           false,
                           {},
                           runFrame});

const ZvfRegistrar kCheck({"check",
                           "zvf check FILE\n"
                           "  проверяет правила формата; строка на каждую проблему;\n"
                           "  код завершения 1, если они есть",
                           "проверка правил формата",
                           false,
                           {},
                           runCheck});

const ZvfRegistrar kSample(
    {"sample",
     "zvf sample FILE [--frames N] [--delay MS] [--size WxH] [--quality 4|8]\n"
     "                [--start \"YYYY-MM-DD hh:mm:ss\"]\n"
     "  пишет пример записи с нарисованными экранами оператора вместо FILE;\n"
     "  по умолчанию: 120 кадров, 1000 мс, 1280x1024, качество 8 (256 цветов), начало сейчас",
     "пример записи",
     true,
     {{"frames", "N"}, {"delay", "MS"}, {"size", "WxH"}, {"quality", "4|8"}, {"start", "TIME"}},
     runSample});

}  // namespace
