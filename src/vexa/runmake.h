#ifndef VEXA_RUNMAKE_H
#define VEXA_RUNMAKE_H

#include <QObject>
#include <QProcess>

namespace vexa
{

class RunMakeOptionsWidget;

// Runs the user's run and make commands, the project's or the global ones,
// as processes without a shell, and writes their command line, output and
// exit into the messages panel. While make runs, Make reads "Stop": a press
// asks the process to terminate, a second press kills it. A child of the main
// window; at its end every process still running is terminated, then killed.
class RunMake : public QObject
{
    Q_OBJECT
public:
    static RunMake* self();
    ~RunMake() override;

    // The per-project form handed to the project options.
    RunMakeOptionsWidget* projectOptions() const;

public Q_SLOTS:
    void run();
    void make();
    // The scripts dialog for the global commands; returns once it is closed.
    void configure();

protected Q_SLOTS:
    void readStdout();
    void readStderr();
    void processExited(int exitCode, QProcess::ExitStatus status);

private:
    explicit RunMake(QObject* parent);
    void start(bool make);
    void read(QProcess* process, QProcess::ProcessChannel channel, bool atEnd);
    void flush();
    // Make reads "Stop" (and Run is off) while make runs.
    void showMakeRunning(bool running);
    class Private;
    Private* d;
};

} // namespace vexa

#endif
