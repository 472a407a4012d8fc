// The search command: where a text stood on the screen, from the text index beside a recording.
#include <cstdio>
#include <memory>
#include <string>

#include "ZvfCommand.h"
#include "container/TextIndex.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace {

// Says on stderr how far the index serves the recording; false when it cannot be used.
bool reportCoverage(const zv::TextIndexCoverage &c, const std::string &fileName) {
    switch (c.state) {
        case zv::TextIndexState::Missing:
            std::fprintf(stderr, "Запись \"%s\" не проиндексирована: zvf index построит индекс\n",
                         fileName.c_str());
            return false;
        case zv::TextIndexState::Unusable:
            std::fprintf(stderr, "%s; zvf index построит его заново\n", c.problem.c_str());
            return false;
        case zv::TextIndexState::Partial:
            std::fprintf(stderr,
                         "Проиндексировано кадров %d из %d: поиск только по ним (zvf index "
                         "дочитает остальные)\n",
                         c.indexedFrames, c.heldFrames);
            return true;
        case zv::TextIndexState::Complete:
            break;
    }
    return true;
}

int runSearch(const ZvfArgs &parsed) {
    const std::vector<std::string> &args = parsed.positional;
    expectPositional(parsed, 2, 1'000);
    std::string query;
    for (size_t k = 1; k < args.size(); ++k)
        query += (k > 1 ? " " : "") + args[k];
    if (zv::searchWords(query).empty())
        throw ZvfUsageError("пустой TEXT");
    requireExistingFile(args[0]);
    const std::string native = zv::nativeFilePath(args[0]);
    std::unique_ptr<zv::RandomFile> file =
        zv::localFileSystem().open(native, zv::FileSystem::OpenMode::Read);
    zv::TextIndex index(native, *file);
    if (!reportCoverage(index.coverage(), args[0]))
        return 1;
    const std::vector<zv::TextHit> hits = index.search(query);
    for (const zv::TextHit &hit : hits) {
        TZVFFrameEntry entry;
        const bool dated = zvf::readEntry(*file, hit.firstFrame, entry);
        const std::string left = hit.leftFrame >= 0 ? std::to_string(hit.leftFrame) : "-";
        std::printf("%d\t%s\t%s\t%s\n", hit.firstFrame,
                    dated ? zv::formatDateTimeIso(entry.DateTime).c_str() : "-", left.c_str(),
                    hit.line.c_str());
    }
    return hits.empty() ? 1 : 0;
}

const ZvfRegistrar kSearch(
    {"search",
     "zvf search FILE TEXT...\n"
     "  ищет TEXT в индексе текста записи FILE (FILE.text, его строит zvf index): строка на\n"
     "  каждое место, где текст стоял на экране, через табуляцию: первый кадр, где он стоял,\n"
     "  его дата-время (как в zvf frames), кадр, с которого его на экране нет (\"-\", если он\n"
     "  стоит до последнего проиндексированного кадра), и прочитанная строка текста. Каждое\n"
     "  слово TEXT должно быть в строке (частью слова тоже); регистр и ё/е не важны, цифры\n"
     "  находятся с пробелами между разрядами и без них (\"2486,00\" и \"2 486,00\"). Код 1,\n"
     "  когда ничего не найдено; о записи без индекса или проиндексированной не до конца\n"
     "  сказано в stderr",
     "поиск текста, который был на экране",
     false,
     {},
     runSearch});

}  // namespace
