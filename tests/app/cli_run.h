// orvane-cli run as a separate process, as a script would run it.
#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>

struct TRun {
    int status = -1;  // -1: it did not exit normally
    QString out, err;
};

// `tmpdir`: the run's TMPDIR, the test's own when empty.
inline TRun Cli(const QStringList& args, const QString& tmpdir = {}) {
    QProcess p;
    if (!tmpdir.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmpdir);
        p.setProcessEnvironment(env);
    }
    p.start(ORVANE_CLI, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
