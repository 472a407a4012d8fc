#include "platform/ProcessStart.h"

#include <unistd.h>

#include <QProcess>

namespace zv {

namespace {

class QtProcessStarter final : public ProcessStarter {
public:
    bool startDetached(const std::string &nativeProgram) override {
        QProcess process;
        process.setProgram(QString::fromStdString(nativeProgram));
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        // A session of its own: a hang-up or an interrupt of the host's terminal does not
        // reach the recorder.
        process.setChildProcessModifier([] { ::setsid(); });
        return process.startDetached();
    }
};

}  // namespace

ProcessStarter &systemProcessStarter() {
    static QtProcessStarter starter;
    return starter;
}

}  // namespace zv
