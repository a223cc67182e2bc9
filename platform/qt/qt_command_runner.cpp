#include "platform/qt/qt_command_runner.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <string>

namespace veskator {

namespace {

QString toQt(const std::string& text) { return QString::fromLocal8Bit(text); }

class QtRunningCommand final : public RunningCommand {
  public:
    explicit QtRunningCommand(CommandDone done) : m_done(std::move(done)) {}
    ~QtRunningCommand() override { cancel(); }
    QtRunningCommand(const QtRunningCommand&) = delete;
    QtRunningCommand& operator=(const QtRunningCommand&) = delete;

    void start(const std::filesystem::path& directory, const Command& command) {
        if (command.argv.empty()) {
            finish(CommandResult{CommandEnd::FailedToStart});
            return;
        }
        const std::filesystem::path output = directory / std::filesystem::path(command.outputPath);
        m_process.setWorkingDirectory(QString::fromStdString(directory.string()));
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(QString::fromStdString(output.string()),
                                        QIODevice::Truncate);
        QObject::connect(&m_process, &QProcess::finished, &m_process,
                         [this](int exitCode, QProcess::ExitStatus status) {
                             if (m_timedOut) {
                                 finish(CommandResult{CommandEnd::TimedOut});
                             } else if (status == QProcess::CrashExit) {
                                 finish(CommandResult{CommandEnd::Crashed});
                             } else {
                                 finish(CommandResult{CommandEnd::Exited, exitCode});
                             }
                         });
        // Only a failed start ends the run here; other errors are followed by finished.
        QObject::connect(&m_process, &QProcess::errorOccurred, &m_process,
                         [this](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart)
                                 finish(CommandResult{CommandEnd::FailedToStart});
                         });
        QTimer::singleShot(command.bound, &m_process, [this] {
            if (m_finished || m_process.state() == QProcess::NotRunning) return;
            m_timedOut = true;
            m_process.kill();
        });

        QStringList arguments;
        for (std::size_t i = 1; i < command.argv.size(); ++i) arguments << toQt(command.argv[i]);
        m_process.start(toQt(command.argv.front()), arguments);
    }

    void cancel() override {
        m_finished = true;
        m_done = nullptr;
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.kill();
        // Reaped at once: a killed child ends without delay, and none is left behind.
        m_process.waitForFinished();
    }

  private:
    void finish(const CommandResult& result) {
        if (m_finished) return;
        m_finished = true;
        // Never inside start() or a handler: from the event loop. The process is the context, so
        // dropping the handle drops a completion still held.
        QTimer::singleShot(0, &m_process, [this, result] {
            CommandDone done = std::move(m_done);
            m_done = nullptr;
            // Last: the callback may drop this handle.
            if (done) done(result);
        });
    }

    CommandDone m_done;
    QProcess m_process;
    bool m_finished = false;
    bool m_timedOut = false;
};

}  // namespace

std::unique_ptr<RunningCommand> QtCommandRunner::start(Command command, CommandDone done) {
    auto running = std::make_unique<QtRunningCommand>(std::move(done));
    running->start(m_directory, command);
    return running;
}

}  // namespace veskator
