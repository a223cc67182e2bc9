#include "platform/qt/qt_command_runner.h"

#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "platform/qt/tick_gate.h"

namespace veskator {

int QtCommandRunner::run(std::string_view commandLine, std::string_view outputPath) {
    const std::filesystem::path output =
        m_directory / std::filesystem::path(std::string(outputPath));

    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(m_directory.string()));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QString::fromStdString(output.string()), QIODevice::Truncate);

    bool ended = false;
    bool failed = false;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        // Only a failed start ends the run; other errors are followed by finished.
        if (error != QProcess::FailedToStart) return;
        failed = true;
        loop.quit();
    });

    TickGate::WaitScope scope(m_gate);
    process.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QString::fromLocal8Bit(commandLine.data(), static_cast<qsizetype>(commandLine.size()))});
    if (!ended && !failed) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (failed || process.exitStatus() != QProcess::NormalExit) return -1;
    return process.exitCode();
}

}  // namespace veskator
