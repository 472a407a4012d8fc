// The zvf tool as a process: its exact output, exit statuses and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "container/GifFixtures.h"
#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "platform/DateTime.h"
#include "platform/File.h"
#include "support/TempRoot.h"
#include "support/ToolProcess.h"

namespace {

zvtest::ToolOutcome zvf(const QStringList &args) {
    return zvtest::runTool(QStringLiteral(ZVF_TOOL), args);
}

QString q(const std::string &s) {
    return QString::fromStdString(s);
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

class ZvfTool : public ::testing::Test {
protected:
    zvtest::TempRoot root;
    std::string file;
    void SetUp() override {
        std::filesystem::create_directories(root.file("drive_c/VELD"));
        file = root.file("drive_c/VELD/s.zvf");
        zvtest::ToolOutcome r =
            zvf({"sample", "C:\\VELD\\s.zvf", "--frames", "3", "--delay", "500", "--size", "64x48",
                 "--quality", "4", "--start", "2010-12-31 12:00:00"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

}  // namespace

TEST_F(ZvfTool, InfoAndFramesPrintTheExactLines) {
    zvtest::ToolOutcome info = zvf({"info", q(file)});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto size = std::filesystem::file_size(file);
    EXPECT_EQ(info.out, "size: " + std::to_string(size) +
                            "\nframes: 3\nfirst: 2010-12-31 12:00:00.000\n"
                            "last: 2010-12-31 12:00:01.000\n");

    zvtest::ToolOutcome frames = zvf({"frames", q(file)});
    ASSERT_EQ(frames.status, 0) << frames.err;
    auto rows = lines(frames.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].substr(0, 4), "0\t0\t");
    EXPECT_NE(rows[1].find("\t2010-12-31 12:00:00.500"), std::string::npos);
    // Packed frames: the sizes sum to the data area.
    long long sum = 0;
    for (const auto &row : rows) {
        size_t a = row.find('\t'), b = row.find('\t', a + 1), c = row.find('\t', b + 1);
        EXPECT_EQ(std::stoll(row.substr(a + 1, b - a - 1)), sum);
        sum += std::stoll(row.substr(b + 1, c - b - 1));
    }
    EXPECT_EQ(10'000'000 + sum, static_cast<long long>(size));

    zvtest::ToolOutcome one = zvf({"frames", q(file), "2", "10"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(lines(one.out).size(), 1u);
    EXPECT_EQ(one.out.substr(0, 2), "2\t");
    EXPECT_EQ(zvf({"frames", q(file), "3"}).status, 1);
    EXPECT_EQ(zvf({"frames", q(file), "2", "1"}).status, 2);
    EXPECT_EQ(zvf({"frames", q(file), "x"}).status, 2);
}

TEST_F(ZvfTool, FrameWritesPngAndGifOfTheSamePicture) {
    const std::string png = root.file("f.png"), gif = root.file("f.gif");
    ASSERT_EQ(zvf({"frame", q(file), "1", q(png)}).status, 0);
    ASSERT_EQ(zvf({"frame", q(file), "1", q(gif)}).status, 0);
    QImage fromPng(q(png));
    ASSERT_EQ(fromPng.width(), 64);
    ASSERT_EQ(fromPng.height(), 48);
    std::string bytes = zvtest::readFile(gif);
    zv::GifImage fromGif;
    fromGif.loadFromBytes(bytes.data(), bytes.size());
    fromPng = fromPng.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(fromPng.pixel(x, y), fromGif.pixels()[y * 64 + x]) << x << "," << y;

    EXPECT_EQ(zvf({"frame", q(file), "3", q(png)}).status, 1);
    EXPECT_EQ(zvf({"frame", q(file), "0", q(root.file("f.bmp"))}).status, 2);
}

TEST_F(ZvfTool, CheckAndDamagedFrames) {
    zvtest::ToolOutcome ok = zvf({"check", q(file)});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "");
    {
        // Frame 1 now points at the bytes of frame 0 shifted by one: not a GIF.
        zv::UniqueFd fd = zv::openFile(file, O_RDWR);
        int64_t one = 1;
        zv::writeAt(fd.get(), &one, 8, 2000 + 20);
        int32_t zero = 0;
        zv::writeAt(fd.get(), &zero, 4, 2000 + 40 + 8);
    }
    zvtest::ToolOutcome bad = zvf({"check", q(file)});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "запись 2: размер 0 не больше нуля\n");
    zvtest::ToolOutcome frame = zvf({"frame", q(file), "1", q(root.file("x.png"))});
    EXPECT_EQ(frame.status, 1);
    EXPECT_NE(frame.err.find("Ошибка получения данных из файла видео:\n"), std::string::npos)
        << frame.err;
    EXPECT_FALSE(std::filesystem::exists(root.file("x.png")));
}

TEST_F(ZvfTool, ReasonsAreTrueAndInRussian) {
    // Not a file: a folder, a named pipe, a link loop; none is "not found".
    std::filesystem::create_directories(root.file("folder"));
    ASSERT_EQ(::mkfifo(root.file("pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(root.file("loop"), root.file("loop"));
    const struct {
        std::string name, reason;
    } cases[] = {
        {root.file("folder"), zv::systemErrorReason(EISDIR)},
        {root.file("pipe"), "не является обычным файлом"},
        {root.file("loop"), zv::systemErrorReason(ELOOP)},
    };
    for (const auto &c : cases) {
        const zvtest::ToolOutcome r = zvf({"info", q(c.name)});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Не удается открыть файл \"" + c.name + "\": " + c.reason + "\n");
    }
    // giflib's complaint in our words.
    {
        zv::UniqueFd fd = zv::openFile(file, O_RDWR);
        int64_t one = 1;
        zv::writeAt(fd.get(), &one, 8, 2000 + 20);
    }
    zvtest::ToolOutcome frame = zvf({"frame", q(file), "1", q(root.file("x.gif"))});
    EXPECT_EQ(frame.status, 1);
    EXPECT_EQ(frame.err,
              "Ошибка получения данных из файла видео:\nДанные не являются изображением GIF\n");
    // A picture that cannot be written says why.
    frame = zvf({"frame", q(file), "0", q(root.file("no/such/x.png"))});
    EXPECT_EQ(frame.status, 1);
    EXPECT_EQ(frame.err, "Не удается открыть файл \"" + root.file("no/such/x.png") +
                             "\": " + zv::systemErrorReason(ENOENT) + "\n");
    // Qt's own texts are Russian as well, and a run as root without a session prints nothing
    // of Qt's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    zvtest::ToolOutcome wrong =
        zvtest::runTool(QStringLiteral(ZVF_TOOL), {"frames", q(file), "-1", "5"}, env);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.err.find("Unknown"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("«1»"), std::string::npos) << wrong.err;
    zvtest::ToolOutcome sample = zvtest::runTool(
        QStringLiteral(ZVF_TOOL),
        {"sample", q(root.file("s2.zvf")), "--frames", "1", "--size", "16x16"}, env);
    EXPECT_EQ(sample.status, 0);
    EXPECT_EQ(sample.err, "");
}

TEST_F(ZvfTool, FrameKeepsTheBytesOfItsOutputName) {
    // A Windows-1251 name ("Пр"), given through the shell as bytes.
    const zvtest::ToolOutcome r =
        zvtest::runTool(QStringLiteral("/bin/sh"),
                        {"-c", "exec \"$0\" frame \"$1\" 0 \"$2$(printf '\\317\\360.png')\"",
                         ZVF_TOOL, q(file), q(root.file(""))});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(std::filesystem::file_size(root.file("\xCF\xF0.png")), 0u);
}

TEST_F(ZvfTool, ChangesListsTheRunStartsWithTheirLengths) {
    // Runs of a, b and a again, frames a second apart; a and b have the same size.
    const std::vector<uint8_t> a = zvtest::smallGif(1), b = zvtest::smallGif(2);
    ASSERT_EQ(a.size(), b.size());
    const std::string runs = root.file("runs.zvf");
    {
        ZVFAppender out(runs);
        const double start = zv::encodeDateTime({2010, 12, 31, 12, 0, 0, 0});
        int k = 0;
        for (const auto *gif : {&a, &a, &a, &b, &a, &a})
            out.append(gif->data(), gif->size(), start + k++ / 86'400.0);
    }
    zvtest::ToolOutcome all = zvf({"changes", q(runs)});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out,
              "0 2010-12-31 12:00:00.000 3 3.000\n"
              "3 2010-12-31 12:00:03.000 1 1.000\n"
              "4 2010-12-31 12:00:04.000 2 1.000\n");  // until the last frame
    zvtest::ToolOutcome range = zvf({"changes", q(runs), "1", "4"});
    ASSERT_EQ(range.status, 0) << range.err;
    EXPECT_EQ(range.out,
              "1 2010-12-31 12:00:01.000 2 2.000\n"
              "3 2010-12-31 12:00:03.000 1 1.000\n"
              "4 2010-12-31 12:00:04.000 1 1.000\n");  // until frame 5, after the range
    EXPECT_EQ(zvf({"changes", q(runs), "5", "400000"}).out, "5 2010-12-31 12:00:05.000 1 0.000\n");
    zvtest::ToolOutcome beyond = zvf({"changes", q(runs), "6"});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("Кадр 6 вне файла: кадров 6"), std::string::npos) << beyond.err;
    EXPECT_EQ(zvf({"changes", q(runs), "4", "3"}).status, 2);
    EXPECT_EQ(zvf({"changes", q(runs), "-1"}).status, 2);
    EXPECT_EQ(zvf({"changes", q(root.file("missing.zvf"))}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(root.file("missing.zvf")));
}

TEST_F(ZvfTool, UsageHelpAndMissingFiles) {
    EXPECT_EQ(zvf({}).status, 2);
    EXPECT_EQ(zvf({"bogus"}).status, 2);
    zvtest::ToolOutcome help = zvf({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char *command : {"info", "frames", "frame", "check", "sample", "changes"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(help.out.find(command), std::string::npos);
        zvtest::ToolOutcome h = zvf({command, "--help"});
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.out.rfind(std::string("zvf ") + command, 0), 0u) << h.out;
    }
    EXPECT_EQ(zvf({"info"}).status, 2);
    EXPECT_EQ(zvf({"info", q(file), "extra"}).status, 2);
    EXPECT_EQ(zvf({"sample", q(file), "--quality", "5"}).status, 2);
    EXPECT_EQ(zvf({"sample", q(file), "--size", "64"}).status, 2);
    EXPECT_EQ(zvf({"sample", q(file), "--start", "2010-12-31"}).status, 2);
    EXPECT_EQ(zvf({"sample", q(file), "--colour", "1"}).status, 2);
    EXPECT_EQ(zvf({"sample", q(file), "--frames"}).status, 2);
    zvtest::ToolOutcome version = zvf({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zvf ", 0), 0u) << version.out;
    // Options and positional arguments in any order; "--" ends the options.
    EXPECT_EQ(zvf({"sample", "--frames", "2", q(file), "--size", "16x16"}).status, 0);
    EXPECT_EQ(zvf({"info", "--", q(file)}).status, 0);

    const std::string missing = root.file("missing.zvf");
    zvtest::ToolOutcome r = zvf({"info", q(missing)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Файл не найден"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(missing));
}
