#include "vexa/runmake.h"

#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messagemarkup.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/processgroup.h"
#include "vexa/project/project.h"
#include "vexa/runmakeoptions.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/utils.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>

#include <utility>

#include <csignal>
#include <unistd.h>

namespace vexa
{

namespace
{

// A row longer than this is cut: the panel stays usable and the memory held
// for a line that never ends stays bounded.
const int kMaxRow = 64 * 1024;

struct Channel {
    QByteArray pending;
    bool cut = false; // the rest of an overlong line is being passed over
};

struct Streams {
    Channel out;
    Channel err;
};

// UTF-8 with bad bytes replaced; control characters other than the tab shown
// as their visible symbols, so nothing the program prints is taken as layout.
QString decodeLine(const QByteArray& bytes)
{
    QString line = QString::fromUtf8(bytes);
    for (QChar& c : line) {
        const ushort u = c.unicode();
        if (u < 0x20 && u != '\t')
            c = QChar(0x2400 + u);
        else if (u == 0x7f)
            c = QChar(0x2421);
    }
    return line;
}

// How long a group asked to end has before it is killed.
const int kGraceMs = 2000;

} // namespace

// Each command runs as a process group of its own, so that Stop and the end
// of the editor reach make's compilers and a script's children too, not only
// the program named. A group is kept from the start until none of its
// processes runs: its leader may end and leave what it started behind.
struct RunMakeGroup {
    pid_t id = 0;
    QPointer<QProcess> leader;
    // Asked to end: killed when this expires, leader or not.
    QDeadlineTimer killAt = QDeadlineTimer(QDeadlineTimer::Forever);

    bool leaderRuns() const { return leader && leader->state() != QProcess::NotRunning; }
    bool runs() const { return leaderRuns() || leaderlessGroupRuns(id); }
    void signal(int sig) const
    {
        if (runs())
            ::kill(-id, sig);
    }
};

class RunMake::Private
{
public:
    static RunMake* self;
    QPointer<QDialog> configureDialog;
    RunMakeOptionsWidget* projectOptions = nullptr;
    RunMakeOptionsWidget* configureWidget = nullptr;
    bool bottomDockWasShown = false;
    // Make reads "Stop" from the start of make until its leader ends, or,
    // once stopped, until its process group is empty: a press before then
    // kills what is left, never starts a build beside it.
    bool makeRunning = false;
    bool stopRequested = false;
    int stopGraceMs = kGraceMs;
    QProcess* makeProcess = nullptr;
    pid_t makeGroup = 0;
    QList<RunMakeGroup> groups;
    // Watches groups whose leader ended or that were asked to end.
    QTimer groupTimer;
    QHash<QProcess*, Streams> streams;
    // Rows read but not yet in the panel, oldest first; no more than the
    // panel keeps.
    struct Row {
        bool err;
        QByteArray bytes;
    };
    QList<Row> queued;
    QTimer flushTimer;
};

RunMake* RunMake::Private::self = nullptr;

RunMake* RunMake::self()
{
    if (!Private::self)
        new RunMake(Shell::self());
    return Private::self;
}

RunMake::RunMake(QObject* parent) : QObject(parent), d(new Private)
{
    Private::self = this;
    d->flushTimer.setSingleShot(true);
    d->flushTimer.setInterval(20);
    connect(&d->flushTimer, &QTimer::timeout, this, &RunMake::flush);
    d->groupTimer.setInterval(250);
    connect(&d->groupTimer, &QTimer::timeout, this, &RunMake::watchGroups);
    d->projectOptions = new RunMakeOptionsWidget(nullptr);
    Project::self()->setProjectOptionsWidget(d->projectOptions);

    Shell* shell = Shell::self();
    Actions::createAction(QStringLiteral("Configure &scripts"), QStringLiteral("RunMake/configure"),
                          QKeySequence(), this, SLOT(configure()), QString(),
                          shell->actionGroup(QStringLiteral("menu/Options/std")));
    ActionGroup* bar = shell->actionGroup(QStringLiteral("toolbar/Run"));
    Action* run = Actions::createAction(QStringLiteral("Run"), QStringLiteral("RunMake/run"),
                                        QKeySequence(Qt::Key_F5), this, SLOT(run()),
                                        QStringLiteral("16x24_Run"), bar);
    Action* make = Actions::createAction(QStringLiteral("Make"), QStringLiteral("RunMake/make"),
                                         QKeySequence(Qt::Key_F9), this, SLOT(make()),
                                         QStringLiteral("16x24_Make"), bar);
    for (Action* a : {run, make}) {
        a->setUsesTextLabel(true);
        a->setTextPosition(Action::BesideIcon);
    }
}

RunMake::~RunMake()
{
    // No program outlives the editor: each command's process group, whether
    // or not its leader still runs, is asked to end, and what is left of it
    // after the grace period is killed.
    const QList<QProcess*> processes = findChildren<QProcess*>();
    for (QProcess* p : processes)
        p->disconnect(this);
    for (const RunMakeGroup& g : std::as_const(d->groups))
        g.signal(SIGTERM);
    const QDeadlineTimer grace(kGraceMs);
    for (;;) {
        bool running = false;
        for (const RunMakeGroup& g : std::as_const(d->groups)) {
            // Reaps a leader that has ended, so that it no longer counts.
            if (g.leaderRuns())
                g.leader->waitForFinished(0);
            running = running || g.runs();
        }
        if (!running || grace.hasExpired())
            break;
        ::usleep(20000);
    }
    for (const RunMakeGroup& g : std::as_const(d->groups))
        g.signal(SIGKILL);
    for (QProcess* p : processes)
        p->waitForFinished(1000);
    if (Private::self == this)
        Private::self = nullptr;
    delete d;
}

void RunMake::setStopGracePeriod(int ms)
{
    d->stopGraceMs = ms;
}

RunMakeOptionsWidget* RunMake::projectOptions() const
{
    return d->projectOptions;
}

void RunMake::run()
{
    start(false);
}

void RunMake::make()
{
    start(true);
}

void RunMake::start(bool make)
{
    if (make && d->makeRunning) {
        // Stop: a polite request to the whole group first; what ignores it
        // is killed by the second press or after the grace period, also
        // when make itself has ended by then.
        for (RunMakeGroup& g : d->groups) {
            if (g.id != d->makeGroup)
                continue;
            g.signal(d->stopRequested ? SIGKILL : SIGTERM);
            if (!d->stopRequested)
                g.killAt = QDeadlineTimer(d->stopGraceMs);
        }
        d->stopRequested = true;
        d->groupTimer.start();
        return;
    }

    const QString scriptName = make ? QStringLiteral("makeScript") : QStringLiteral("runScript");
    const QString argsName =
        make ? QStringLiteral("makeScriptArgs") : QStringLiteral("runScriptArgs");
    const QString scriptKey =
        make ? QStringLiteral("/scripts/makeProject") : QStringLiteral("/scripts/runProject");
    const QString argsKey = make ? QStringLiteral("/scripts/makeProjectArgs")
                                 : QStringLiteral("/scripts/runProjectArgs");
    Project* project = Project::self();
    Editor* editor = Editors::self()->current();
    const QString fileName = editor ? editor->filename() : QString();
    QString script, args, folder;
    if (project->hasProject()) {
        script = project->attribute(scriptName);
        if (script.isEmpty()) {
            project->options();
            script = project->attribute(scriptName);
        }
        args = project->attribute(argsName);
        folder = project->dirPath();
    } else {
        script = Settings::read(scriptKey);
        if (script.isEmpty()) {
            configure();
            script = Settings::read(scriptKey);
        }
        args = Settings::read(argsKey);
        folder = fileName.isEmpty() ? QDir::currentPath() : QFileInfo(fileName).absolutePath();
    }
    if (script.trimmed().isEmpty())
        return;

    QString line = script;
    if (!args.isEmpty())
        line += QLatin1Char(' ') + args;
    line.replace(QLatin1String("%s"), fileName);

    // Split first, then put the file name into each word: a name with blanks,
    // or one starting with "-", stays one argument. A script that names an
    // existing file as a whole (a path from the chooser may hold blanks) is
    // the program word as it stands.
    QStringList words;
    QString toSplit = script + QLatin1Char(' ') + args;
    const QString wholeScript = script.trimmed();
    if (wholeScript.contains(QLatin1Char(' ')) && QFileInfo(QDir(folder), wholeScript).isFile()) {
        words << wholeScript;
        toSplit = args;
    }
    for (const QString& part : toSplit.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QString word = part;
        word.replace(QLatin1String("%s"), fileName);
        if (!word.isEmpty())
            words << word;
    }
    if (words.isEmpty())
        return;

    // Rows still waiting belong to what the clear removes.
    flush();
    MessageOutput* panel = MessageOutput::self();
    panel->clear();
    panel->insertItem(markup::color(u"#000000") + markup::escape(line));

    auto* process = new QProcess(this);
    process->setWorkingDirectory(folder);
    process->setProgram(words.first());
    process->setArguments(words.mid(1));
    d->streams.insert(process, Streams());
    connect(process, &QProcess::readyReadStandardOutput, this, &RunMake::readStdout);
    connect(process, &QProcess::readyReadStandardError, this, &RunMake::readStderr);
    connect(process, &QProcess::finished, this, &RunMake::processExited);

    QWidget* dock = Shell::self()->bottomDockWidget();
    if (make)
        d->bottomDockWasShown = dock->isVisible();
    dock->setVisible(true);
    MessageOutput::self()->makeVisible();

    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    process->start();
    if (!process->waitForStarted()) {
        panel->insertItem(markup::color(u"#f00000") + QStringLiteral("Can't run ") +
                          markup::escape(line) + QStringLiteral(" process."));
        d->streams.remove(process);
        process->disconnect(this);
        process->deleteLater();
        return;
    }
    d->groups.append({pid_t(process->processId()), process});
    if (make) {
        d->makeProcess = process;
        d->makeGroup = pid_t(process->processId());
        d->makeRunning = true;
        d->stopRequested = false;
        showMakeRunning(true);
    }
}

void RunMake::showMakeRunning(bool running)
{
    // The tool button shows the icon text and the tip its own: all three
    // follow, so the button reads what a press will do.
    Action* makeAction = Actions::action(QStringLiteral("RunMake/make"));
    const QString text = running ? tr("Stop") : tr("Make");
    makeAction->setIcon(
        Utils::iconSet(running ? QStringLiteral("22x22_Stop") : QStringLiteral("16x24_Make")));
    makeAction->setText(text);
    makeAction->setIconText(text);
    makeAction->setToolTip(text);
    Actions::action(QStringLiteral("RunMake/run"))->setEnabled(!running);
}

void RunMake::readStdout()
{
    if (auto* p = qobject_cast<QProcess*>(sender()))
        read(p, QProcess::StandardOutput, false);
}

void RunMake::readStderr()
{
    if (auto* p = qobject_cast<QProcess*>(sender()))
        read(p, QProcess::StandardError, false);
}

void RunMake::read(QProcess* process, QProcess::ProcessChannel channel, bool atEnd)
{
    auto it = d->streams.find(process);
    if (it == d->streams.end())
        return;
    const bool isOut = channel == QProcess::StandardOutput;
    Channel& c = isOut ? it->out : it->err;
    c.pending += isOut ? process->readAllStandardOutput() : process->readAllStandardError();

    // Complete lines first as spans of the buffer; only those that will stay
    // in the panel (it keeps its newest rows) are copied, decoded and
    // inserted, with the same result as inserting them all.
    struct Span {
        qsizetype from, size;
    };
    QList<Span> spans;
    qsizetype from = 0;
    for (;;) {
        const qsizetype nl = c.pending.indexOf('\n', from);
        if (nl < 0)
            break;
        if (c.cut)
            c.cut = false;
        else
            spans.append({from, qMin<qsizetype>(nl - from, kMaxRow)});
        from = nl + 1;
    }
    QList<QByteArray> lines;
    const qsizetype keep = qsizetype(MessageOutput::self()->maxItems());
    for (qsizetype i = qMax<qsizetype>(0, spans.size() - keep); i < spans.size(); ++i)
        lines << c.pending.mid(spans.at(i).from, spans.at(i).size);
    c.pending.remove(0, from);
    if (c.pending.size() >= kMaxRow) {
        // A line that does not end: its first part is a row, the rest is
        // passed over up to its end.
        if (!c.cut)
            lines << c.pending.left(kMaxRow);
        c.cut = true;
        c.pending.clear();
    }
    if (atEnd && !c.pending.isEmpty()) {
        if (!c.cut)
            lines << c.pending;
        c.pending.clear();
    }
    // Rows wait a moment and go in as one batch: a program that prints a
    // million lines costs a few hundred insertions, not a million.
    for (QByteArray& l : lines)
        d->queued.append({!isOut, std::move(l)});
    if (d->queued.size() > keep)
        d->queued.remove(0, d->queued.size() - keep);
    if (atEnd)
        flush();
    else if (!d->flushTimer.isActive())
        d->flushTimer.start();
}

void RunMake::flush()
{
    d->flushTimer.stop();
    const QList<Private::Row> rows = std::exchange(d->queued, {});
    MessageOutput* panel = MessageOutput::self();
    for (Private::Row row : rows) {
        if (row.bytes.endsWith('\r'))
            row.bytes.chop(1);
        panel->insertItem(markup::color(row.err ? u"#f00000" : u"black") +
                          markup::escape(decodeLine(row.bytes)));
    }
}

void RunMake::processExited(int exitCode, QProcess::ExitStatus status)
{
    auto* process = qobject_cast<QProcess*>(sender());
    if (!process)
        return;
    read(process, QProcess::StandardOutput, true);
    read(process, QProcess::StandardError, true);
    d->streams.remove(process);

    const QString program = markup::escape(process->program());
    const bool crashed = status == QProcess::CrashExit;
    MessageOutput::self()->insertItem(
        crashed ? markup::color(u"#f00000") + program + QStringLiteral(" crashed.")
                : markup::color(u"#000080") + program + QStringLiteral(" finished. Exit code ") +
                      QString::number(exitCode));
    if (d->makeRunning && process == d->makeProcess) {
        if (!crashed && exitCode == 0)
            Shell::self()->bottomDockWidget()->setVisible(d->bottomDockWasShown);
        d->makeProcess = nullptr;
        // A stopped make whose group still holds processes (they ignored the
        // request) stays stoppable until watchGroups sees the group empty.
        if (!d->stopRequested || !leaderlessGroupRuns(d->makeGroup))
            endMake();
    }
    process->disconnect(this);
    process->deleteLater();
    d->groupTimer.start();
}

void RunMake::endMake()
{
    d->makeRunning = false;
    d->stopRequested = false;
    d->makeGroup = 0;
    showMakeRunning(false);
}

void RunMake::watchGroups()
{
    bool watch = false;
    for (auto it = d->groups.begin(); it != d->groups.end();) {
        if (!it->runs()) {
            if (d->makeRunning && !d->makeProcess && it->id == d->makeGroup)
                endMake();
            it = d->groups.erase(it);
            continue;
        }
        if (it->killAt.hasExpired()) {
            it->signal(SIGKILL);
            it->killAt = QDeadlineTimer(QDeadlineTimer::Forever);
        }
        watch = watch || !it->leaderRuns() || !it->killAt.isForever();
        ++it;
    }
    if (!watch)
        d->groupTimer.stop();
}

void RunMake::configure()
{
    QDialog dialog(Shell::self());
    d->configureDialog = &dialog;
    auto* form = new RunMakeOptionsWidget(&dialog);
    d->configureWidget = form;
    auto* grid = new QGridLayout(&dialog);
    grid->setContentsMargins(5, 5, 5, 5);
    grid->setSpacing(5);
    grid->addWidget(form, 0, 0);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addItem(new QSpacerItem(100, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    auto* ok = new QPushButton(tr("&OK"), &dialog);
    auto* cancel = new QPushButton(tr("&Cancel"), &dialog);
    ok->setShortcut(QKeySequence());
    cancel->setShortcut(QKeySequence());
    ok->setAutoDefault(true);
    cancel->setAutoDefault(true);
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    grid->addLayout(row, 1, 0);
    QWidget::setTabOrder(ok, cancel);
    connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.resize(Utils::storedDialogSize(QStringLiteral("/geometry/configureScriptsDialog/w"),
                                          QStringLiteral("/geometry/configureScriptsDialog/h"),
                                          QSize(500, 300), &dialog));
    dialog.setWindowTitle(form->windowTitle());

    QLineEdit* fields[] = {form->runLineEdit, form->runArgsLineEdit, form->makeLineEdit,
                           form->makeArgsLineEdit};
    const char* const keys[] = {"/scripts/runProject", "/scripts/runProjectArgs",
                                "/scripts/makeProject", "/scripts/makeProjectArgs"};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(Settings::read(QLatin1String(keys[i])));
    form->defaultScriptsCheckBox->setChecked(
        Settings::readBool(QStringLiteral("/scripts/useDefaultsForProjects"), false));
    form->makeLineEdit->setFocus();

    if (dialog.exec() == QDialog::Accepted) {
        for (int i = 0; i < 4; ++i)
            Settings::write(QLatin1String(keys[i]), fields[i]->text());
        Settings::write(QStringLiteral("/scripts/useDefaultsForProjects"),
                        form->defaultScriptsCheckBox->isChecked());
    }
    Settings::write(QStringLiteral("/geometry/configureScriptsDialog/w"), dialog.width());
    Settings::write(QStringLiteral("/geometry/configureScriptsDialog/h"), dialog.height());
    d->configureWidget = nullptr;
}

} // namespace vexa
