// Packing a 200 MB recording with NORMAL through TSevenZip against 7-Zip's own command line
// (`7z a -mx5 -ms=off`) on the same file. The input (GIF-like frames whose image data is as
// dense as LZW output, like a real recording) and the two archives, about 600 MB in all, lie in a
// work folder under $ZORVIDEO_BENCH_DIR (else the temporary folder), removed when the run ends.

#include "archive/SevenZip.h"

#include <benchmark/benchmark.h>

#include "BenchRecording.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string kFolder;  // set by main
std::string kInput;
constexpr int64_t kInputSize = 200ll << 20;

int64_t fileSize(const std::string &file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_size : -1;
}

void makeInput() {
    if (fileSize(kInput) == kInputSize)
        return;
    FILE *out = std::fopen(kInput.c_str(), "wb");
    if (!out)
        std::abort();
    std::string frame;
    uint64_t x = 0x9E3779B97F4A7C15ull;
    int64_t written = 0;
    for (uint32_t index = 0; written < kInputSize; ++index) {
        frame.assign("GIF89a\x00\x05\xd0\x02\xf7\x00\x00", 13);
        for (int i = 0; i < 768; ++i)
            frame += static_cast<char>((i * 37 + index) & 0xFF);
        const size_t body = 400000 + (index * 7919) % 100000;
        for (size_t i = 0; i < body; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            frame.append(reinterpret_cast<const char *>(&x), 8);
        }
        frame += ';';
        const size_t n = static_cast<size_t>(std::min<int64_t>(frame.size(), kInputSize - written));
        std::fwrite(frame.data(), 1, n, out);
        written += static_cast<int64_t>(n);
    }
    std::fclose(out);
}

void BM_TSevenZipNormal(benchmark::State &state) {
    makeInput();
    const std::string archive = kFolder + "/ours.7z";
    for (auto _ : state) {
        ::unlink(archive.c_str());
        TSevenZip zip;
        zip.SZFileName = zv::utf8ToWide(archive);
        zip.LZMACompressStrength = TCompressStrength::NORMAL;
        zip.SetVolumeSize(0);
        zip.Files.Add(zv::utf8ToWide(kInput));
        if (zip.AddFiles() != 0)
            state.SkipWithError("AddFiles failed");
    }
    state.counters["archive_bytes"] = static_cast<double>(fileSize(archive));
    state.SetBytesProcessed(state.iterations() * kInputSize);
}

void BM_SevenZipCli(benchmark::State &state) {
    makeInput();
    const std::string archive = kFolder + "/cli.7z";
    const std::string command =
        "cd / && 7z a -mx5 -ms=off '" + archive + "' '" + kInput.substr(1) + "' >/dev/null 2>&1";
    for (auto _ : state) {
        ::unlink(archive.c_str());
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("7z failed");
    }
    state.counters["archive_bytes"] = static_cast<double>(fileSize(archive));
    state.SetBytesProcessed(state.iterations() * kInputSize);
}

// Single runs, interleaved by runBenchmarks, so that a busy machine hurts both sides alike.
BENCHMARK(BM_TSevenZipNormal)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_SevenZipCli)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char **argv) {
    const std::filesystem::path folder = zvbench::workFolder("zorvideo-bench-archive");
    kFolder = folder.string();
    kInput = kFolder + "/recording.zvf";
    return zvbench::runBenchmarks(argc, argv, folder);
}
