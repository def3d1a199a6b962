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
// asks make's process group to terminate, a second press, or the end of a
// grace period, kills what is left of it; a stopped make reads "Stop" until
// its group is empty, also when make itself ended at the first press. A child of the main window;
// at its end every process left in a command's group is terminated, then killed.
class RunMake : public QObject
{
    Q_OBJECT
public:
    static RunMake* self();
    ~RunMake() override;

    // How long a stopped make's group has before it is killed; tests on a
    // loaded machine lengthen it to see what outlives the polite request.
    void setStopGracePeriod(int ms);

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
    // Make is over: its button reads "Make" again.
    void endMake();
    // Forgets the process groups that no longer run and kills those whose
    // grace period has passed.
    void watchGroups();
    class Private;
    Private* d;
};

} // namespace vexa

#endif
