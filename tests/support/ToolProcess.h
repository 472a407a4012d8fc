#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace zvtest {

// What a finished command-line program left: its exit status (-1 when it crashed or did not
// finish within two minutes), its standard output and its standard error.
struct ToolOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline ToolOutcome runTool(
    const QString &program, const QStringList &args,
    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool finished = p.waitForFinished(120'000);
    ToolOutcome r;
    r.status = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

}  // namespace zvtest
