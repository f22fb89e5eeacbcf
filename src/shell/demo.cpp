#include "shell/demo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#endif

#include "shell/application.h"
#include "shell/main_window.h"

namespace korvit::shell {

Demo::Demo(Application& app, MainWindow& window, QObject* parent)
    : QObject(parent), app_(app), window_(window) {
    connect(&process_, &QProcess::readyReadStandardOutput, this, &Demo::OnLine);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError) {
        app_.log.Print("Demo: the simulator failed: %s",
                       process_.errorString().toLocal8Bit().constData());
    });
}

Demo::~Demo() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(2000)) process_.kill();
    }
}

bool Demo::Start(const QString& simulator, const QString& definition) {
    if (simulator.isEmpty() || !QFileInfo(simulator).isExecutable()) {
        app_.log.PrintLine("Demo: korvit-ecusim not found beside the program");
        return false;
    }
    if (definition.isEmpty() || !QFileInfo::exists(definition)) {
        app_.log.PrintLine("Demo: samples/demo.adx not found");
        return false;
    }
    definition_ = definition;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
    // The simulator ends with the program however the program ends: closed, killed or crashed.
    const pid_t parent = getpid();
    process_.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);  // the program ended before the line above
    });
#endif
    process_.start(simulator, {definition});
    return true;
}

void Demo::OnLine() {
    if (started_ || !process_.canReadLine()) return;
    const QString port = QString::fromLocal8Bit(process_.readLine()).trimmed();
    started_ = true;
    if (!window_.LoadDefinition(definition_.toStdString())) return;
    app_.UsePortForThisRun(port.toStdString());
    window_.ToggleScan();
}

namespace {

QString FirstExisting(const QStringList& candidates) {
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.isFile()) return info.absoluteFilePath();
    }
    return {};
}

}  // namespace

QString Demo::FindSimulator() {
    const QDir dir(QCoreApplication::applicationDirPath());
    return FirstExisting(
        {dir.filePath("korvit-ecusim"), dir.filePath("korvit-ecusim/korvit-ecusim")});
}

QString Demo::FindDefinition() {
    const QDir dir(QCoreApplication::applicationDirPath());
    return FirstExisting({dir.filePath("samples/demo.adx"), dir.filePath("../samples/demo.adx"),
                          dir.filePath("../../../samples/demo.adx"),
                          dir.filePath("../share/korvit/samples/demo.adx")});
}

}  // namespace korvit::shell
