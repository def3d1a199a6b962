// The build runner on the real shell: the lines it writes for real programs
// (fixture scripts), how it splits and fills in the command, where the
// command comes from, Stop, the dock, the options form and its two dialogs.

#include "shellfixture.h"
#include "testeditor.h"

#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/messages/messageitem.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/project/project.h"
#include "vexa/recentfiles.h"
#include "vexa/runmake.h"
#include "vexa/runmakeoptions.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <csignal>

using namespace vexa;

namespace
{

void writeFile(const QString& path, const QByteArray& data, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFile::ExeOwner);
}

// A program that ignores SIGTERM, saying so in a row "TERM ignored", and has
// started one of its own that ignores it silently; it names that child's
// process id in a row "child <pid>".
const QByteArray kEndless =
    "#!/bin/sh\ntrap '' TERM\nsh -c 'while :; do sleep 0.05; done' &\necho \"child $!\"\n"
    "trap 'echo TERM ignored' TERM\necho started\nwhile :; do sleep 0.05; done\n";

// A program that ends at once, or with the argument "wait" on SIGTERM, and
// leaves a child in its process group that ignores SIGTERM; it adds that
// child's process id to the file "children" beside itself.
const QByteArray kLeavesChild =
    "#!/bin/sh\nsh -c \"trap '' TERM; while :; do sleep 0.05; done\" &\n"
    "echo $! >> \"$(dirname \"$0\")/children\"\n"
    "echo started\nif [ \"$1\" = wait ]; then while :; do sleep 0.05; done; fi\n";

// Kills what a test started should the test fail before the runner does.
struct KillAtEnd {
    QList<qint64> pids;
    ~KillAtEnd()
    {
        for (qint64 pid : pids)
            ::kill(pid_t(pid), SIGKILL);
    }
};

// Whether no process of that id runs (gone, or a zombie left to be reaped).
bool gone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// Presses the button of that text in the next modal dialog, after `check`
// has looked at it.
void answerDialog(const QString& button, std::function<void(QDialog*)> check = {})
{
    QTimer::singleShot(0, [button, check] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (check)
            check(dialog);
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == button)
                return b->click();
        QFAIL("no such button");
    });
}

} // namespace

class TestRunMake : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString& name) const { return QDir(dir->path()).filePath(name); }
    RunMake* runner() { return RunMake::self(); }
    Action* action(const char* name) { return Actions::action(QLatin1String(name)); }
    QStringList rows() const
    {
        QStringList list;
        MessageOutput* panel = MessageOutput::self();
        for (int i = 0; i < panel->count(); ++i)
            list << static_cast<MessageItem*>(panel->item(i))->rawText();
        return list;
    }
    // The process ids the rows name as "child <pid>".
    QList<qint64> children() const
    {
        QList<qint64> pids;
        for (const QString& row : rows())
            if (row.startsWith(QLatin1String("#color{black}child ")))
                pids << row.section(QLatin1Char(' '), 1).toLongLong();
        return pids;
    }
    // The children the kLeavesChild scripts left, by process id.
    QList<qint64> leftChildren() const
    {
        QList<qint64> pids;
        QFile f(path("children"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    pids << line.toLongLong();
        return pids;
    }
    bool ended() const
    {
        const QString last = rows().value(rows().size() - 1);
        return last.contains(QLatin1String(" finished. Exit code ")) ||
               last.endsWith(QLatin1String(" crashed.")) ||
               last.contains(QLatin1String("Can't run "));
    }
    void setGlobal(const QString& script, const QString& args, bool make = false)
    {
        Settings::write(make ? QStringLiteral("/scripts/makeProject")
                             : QStringLiteral("/scripts/runProject"),
                        script);
        Settings::write(make ? QStringLiteral("/scripts/makeProjectArgs")
                             : QStringLiteral("/scripts/runProjectArgs"),
                        args);
    }
    QString projectFile(const QByteArray& attrs,
                        const QString& name = QStringLiteral("proj/p.vexa"))
    {
        const QString p = path(name);
        writeFile(p,
                  "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" name=\"P\" " +
                      attrs + ">\n </project>\n</vexaproject>\n");
        return p;
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings(true);
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(shellfixture::openShell(shell, shellfixture::TestEditors | shellfixture::Services |
                                                   shellfixture::Shown));
        writeFile(path("out.sh"), "#!/bin/sh\necho hello\nsleep 0.2\necho oops >&2\nexit 2\n",
                  true);
        for (const char* name : {"args.sh", "my dir/args.sh"})
            writeFile(path(name), "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\n", true);
    }
    void cleanup()
    {
        Editors::setFileDialogRunner({});
        // A test that ended the editor itself leaves nothing to close (the
        // singletons asked for now would outlive the next test's window).
        if (shell) {
            if (Project::self()->hasProject())
                Project::self()->close();
            Editors::self()->closeAll();
            delete shell;
        }
        dir.reset();
    }

    void exactLines_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("stdout, stderr, exit 2")
            << QByteArray("echo hello\nsleep 0.2\necho oops >&2\nexit 2\n")
            << QStringList{"#color{black}hello", "#color{#f00000}oops",
                           "#color{#000080}%1 finished. Exit code 2"};
        QTest::newRow("a crash") << QByteArray("echo before\nkill -SEGV $$\n")
                                 << QStringList{"#color{black}before",
                                                "#color{#f00000}%1 crashed."};
        QTest::newRow("no final newline, CRLF")
            << QByteArray("printf 'a\\r\\nlast'\n")
            << QStringList{"#color{black}a", "#color{black}last",
                           "#color{#000080}%1 finished. Exit code 0"};
        QTest::newRow("NUL, escape, a tag")
            << QByteArray("printf 'x\\000y\\033[1m\\t#color{red}z\\n'\n")
            << QStringList{QString::fromUtf8("#color{black}x\u2400y\u241b[1m\t") +
                               markup::escape("#color{red}z"),
                           "#color{#000080}%1 finished. Exit code 0"};
    }
    void exactLines()
    {
        QFETCH(QByteArray, script);
        QFETCH(QStringList, expected);
        const QString program = path("fixture.sh");
        writeFile(program, "#!/bin/sh\n" + script, true);
        setGlobal(program, QString());
        runner()->run();
        QTRY_VERIFY(ended());
        QStringList want{"#color{#000000}" + program};
        for (const QString& e : expected)
            want << QString(e).replace("%1", program);
        QCOMPARE(rows(), want);
        // What the panel shows of the escaped tag is the tag itself.
        if (QTest::currentDataTag() == QLatin1String("NUL, escape, a tag"))
            QVERIFY(static_cast<MessageItem*>(MessageOutput::self()->item(1))
                        ->text()
                        .endsWith("#color{red}z"));
    }

    void programNotFound()
    {
        for (bool make : {false, true}) {
            setGlobal(QStringLiteral("no-such-program-here"), QStringLiteral("-x"), make);
            make ? runner()->make() : runner()->run();
            QCOMPARE(rows(),
                     (QStringList{"#color{#000000}no-such-program-here -x",
                                  "#color{#f00000}Can't run no-such-program-here -x process."}));
            QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Make"));
            QVERIFY(action("RunMake/run")->isEnabled());
        }
    }

    void rowsWhileRunningAndStop()
    {
        writeFile(path("endless.sh"), kEndless, true);
        setGlobal(path("endless.sh"), QString(), true);
        runner()->make();
        QTRY_VERIFY(rows().contains("#color{black}started"));
        // The tool bar's button reads what a press does.
        QToolButton* button = action("RunMake/make")->toolbuttons.value(0);
        QVERIFY(button);
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Stop"));
        QCOMPARE(button->text(), QStringLiteral("Stop"));
        QVERIFY(!action("RunMake/run")->isEnabled());
        runner()->make(); // asks it to end: ignored
        QTRY_VERIFY(rows().contains("#color{black}TERM ignored"));
        QVERIFY(!ended());
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Stop"));
        QCOMPARE(children().size(), 1);
        QVERIFY(!gone(children().first()));
        runner()->make(); // kills it, and what it started
        QTRY_VERIFY(ended());
        QTRY_VERIFY(gone(children().first()));
        QCOMPARE(rows().last(), "#color{#f00000}" + path("endless.sh") + " crashed.");
        // Make again once the group is seen empty.
        QTRY_COMPARE(action("RunMake/make")->text(), QStringLiteral("Make"));
        QCOMPARE(button->text(), QStringLiteral("Make"));
        QVERIFY(action("RunMake/run")->isEnabled());
    }

    void splitting_data()
    {
        // "{d}" stands for the fixture folder.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("file"); // the current editor's file; empty: untitled
        QTest::addColumn<QString>("echo");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("two blanks before -s") << "{d}/args.sh"
                                              << "  -s"
                                              << ""
                                              << "{d}/args.sh   -s" << QStringList{"[-s]"};
        QTest::newRow("untitled removes %s") << "{d}/args.sh"
                                             << "a %s b"
                                             << ""
                                             << "{d}/args.sh a  b" << QStringList{"[a]", "[b]"};
        QTest::newRow("a name with blanks")
            << "{d}/args.sh"
            << "%s"
            << "a b.txt"
            << "{d}/args.sh {d}/a b.txt" << QStringList{"[{d}/a b.txt]"};
        QTest::newRow("a name starting with -")
            << "{d}/args.sh"
            << "%s"
            << "-n x"
            << "{d}/args.sh {d}/-n x" << QStringList{"[{d}/-n x]"};
        QTest::newRow("%s in the script") << "%s"
                                          << "one"
                                          << "args.sh"
                                          << "{d}/args.sh one" << QStringList{"[one]"};
        QTest::newRow("a script path with blanks") << "{d}/my dir/args.sh"
                                                   << "x %s"
                                                   << ""
                                                   << "{d}/my dir/args.sh x " << QStringList{"[x]"};
        QTest::newRow("no arguments") << "{d}/args.sh"
                                      << ""
                                      << ""
                                      << "{d}/args.sh" << QStringList{};
    }
    void splitting()
    {
        QFETCH(QString, script);
        QFETCH(QString, args);
        QFETCH(QString, file);
        QFETCH(QString, echo);
        QFETCH(QStringList, arguments);
        const QString d = dir->path();
        if (!file.isEmpty()) {
            if (!QFile::exists(path(file)))
                writeFile(path(file), "text");
            QVERIFY(Editors::self()->open(path(file)));
            QCOMPARE(Editors::self()->current()->filename(), path(file));
        }
        setGlobal(QString(script).replace("{d}", d), args);
        runner()->run();
        QTRY_VERIFY(ended());
        QStringList want{"#color{#000000}" + echo.replace("{d}", d)};
        for (const QString& a : arguments)
            want << "#color{black}" + QString(a).replace("{d}", d);
        const QString program = script == "%s" ? d + "/args.sh" : script.replace("{d}", d);
        want << "#color{#000080}" + program + " finished. Exit code 0";
        QCOMPARE(rows(), want);
    }

    void commandSources()
    {
        // Without a project: the settings, in the folder of the current file.
        writeFile(path("pwd.sh"), "#!/bin/sh\npwd\n", true);
        writeFile(path("sub/f.txt"), "f");
        QVERIFY(Editors::self()->open(path("sub/f.txt")));
        setGlobal(path("pwd.sh"), QString());
        runner()->run();
        QTRY_VERIFY(ended());
        QCOMPARE(rows().value(1), "#color{black}" + path("sub"));

        // With a project: its attributes, in its folder.
        const QString file = projectFile("runScript=\"" + QFile::encodeName(path("pwd.sh")) + "\"");
        Project::self()->load(file);
        QVERIFY(Project::self()->hasProject());
        runner()->run();
        QTRY_VERIFY(ended());
        QCOMPARE(rows().value(1), "#color{black}" + path("proj"));
    }

    void emptyScriptAsks()
    {
        // No project: the scripts dialog; Cancel changes nothing at all.
        MessageOutput::self()->insertItem(QStringLiteral("kept"));
        QWidget* dock = shell->bottomDockWidget();
        dock->setVisible(false);
        answerDialog(QStringLiteral("&Cancel"));
        runner()->make();
        QCOMPARE(rows(), QStringList{"kept"});
        QVERIFY(!dock->isVisible());
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Make"));

        // A project without make attributes: its options offer make -s; OK runs it there.
        writeFile(path("proj/Makefile"), "all:\n\t@echo built in $(CURDIR)\n");
        Project::self()->load(projectFile(""));
        QVERIFY(Project::self()->hasProject());
        answerDialog(QStringLiteral("&Cancel"));
        runner()->make();
        QCOMPARE(rows(), QStringList{"kept"});
        QVERIFY(!Project::self()->hasAttribute("makeScript"));
        answerDialog(QStringLiteral("&OK"), [](QDialog* d) {
            auto* form = d->findChild<RunMakeOptionsWidget*>();
            QVERIFY(form);
            QCOMPARE(form->makeLineEdit->text(), QStringLiteral("make"));
            QCOMPARE(form->makeArgsLineEdit->text(), QStringLiteral("-s"));
        });
        runner()->make();
        QTRY_VERIFY(ended());
        QCOMPARE(rows(),
                 (QStringList{"#color{#000000}make -s", "#color{black}built in " + path("proj"),
                              "#color{#000080}make finished. Exit code 0"}));
        QCOMPARE(Project::self()->attribute("makeScript"), QStringLiteral("make"));
    }

    void dock_data()
    {
        QTest::addColumn<bool>("make");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("shownAfter");
        QTest::newRow("make ending 0 restores") << true << QByteArray("exit 0") << false;
        QTest::newRow("make ending 2 stays") << true << QByteArray("exit 2") << true;
        QTest::newRow("make crashing stays") << true << QByteArray("kill -KILL $$") << true;
        QTest::newRow("run stays shown") << false << QByteArray("exit 0") << true;
    }
    void dock()
    {
        QFETCH(bool, make);
        QFETCH(QByteArray, script);
        writeFile(path("s.sh"), "#!/bin/sh\n" + script + "\n", true);
        setGlobal(path("s.sh"), QString(), make);
        QWidget* dock = shell->bottomDockWidget();
        dock->setVisible(false);
        make ? runner()->make() : runner()->run();
        QVERIFY(dock->isVisible());
        QTRY_VERIFY(ended());
        QTEST(dock->isVisible(), "shownAfter");
    }

    void loadSettings_data()
    {
        QTest::addColumn<bool>("useDefaults");
        QTest::addColumn<QByteArray>("attrs");
        QTest::addColumn<QStringList>("fields"); // run, run args, make, make args
        QTest::newRow("off, absent") << false << QByteArray() << QStringList{"", "", "make", "-s"};
        QTest::newRow("off, empty")
            << false << QByteArray("runScript=\"\" makeScript=\"\" makeScriptArgs=\"\"")
            << QStringList{"", "", "", ""};
        QTest::newRow("off, set") << false
                                  << QByteArray(
                                         "runScript=\"r\" runScriptArgs=\"ra\" makeScript=\"m\"")
                                  << QStringList{"r", "ra", "m", "-s"};
        QTest::newRow("on, absent")
            << true << QByteArray() << QStringList{"gr", "gra", "gm", "gma"};
        QTest::newRow("on, empty")
            << true << QByteArray("runScript=\"\"") << QStringList{"", "gra", "gm", "gma"};
    }
    void loadSettings()
    {
        QFETCH(bool, useDefaults);
        QFETCH(QByteArray, attrs);
        QFETCH(QStringList, fields);
        Settings::write(QStringLiteral("/scripts/useDefaultsForProjects"), useDefaults);
        setGlobal("gr", "gra");
        setGlobal("gm", "gma", true);
        Project::self()->load(projectFile(attrs));
        QVERIFY(Project::self()->hasProject());
        RunMakeOptionsWidget* form = runner()->projectOptions();
        form->defaultScriptsCheckBox->setChecked(true);
        form->loadSettings();
        QCOMPARE((QStringList{form->runLineEdit->text(), form->runArgsLineEdit->text(),
                              form->makeLineEdit->text(), form->makeArgsLineEdit->text()}),
                 fields);
        QVERIFY(!form->defaultScriptsCheckBox->isChecked());
    }

    void saveSettings_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::newRow("unticked: attributes only") << false;
        QTest::newRow("ticked: settings and flag too") << true;
    }
    void saveSettings()
    {
        QFETCH(bool, ticked);
        Project::self()->load(projectFile(""));
        setGlobal("old", "old");
        RunMakeOptionsWidget* form = runner()->projectOptions();
        form->runLineEdit->setText("r");
        form->runArgsLineEdit->setText("");
        form->makeLineEdit->setText("m");
        form->makeArgsLineEdit->setText("ma");
        form->defaultScriptsCheckBox->setChecked(ticked);
        form->saveSettings();
        Project* p = Project::self();
        QVERIFY(p->hasAttribute("runScriptArgs"));
        QCOMPARE((QStringList{p->attribute("runScript"), p->attribute("runScriptArgs"),
                              p->attribute("makeScript"), p->attribute("makeScriptArgs")}),
                 (QStringList{"r", "", "m", "ma"}));
        bool stored = false;
        Settings::readBool("/scripts/useDefaultsForProjects", false, &stored);
        QCOMPARE(stored, ticked);
        QCOMPARE(Settings::read("/scripts/runProject"),
                 ticked ? QStringLiteral("r") : QStringLiteral("old"));
        QCOMPARE(Settings::read("/scripts/makeProjectArgs"),
                 ticked ? QStringLiteral("ma") : QString());
    }

    void scriptsDialog()
    {
        Settings::write(QStringLiteral("/scripts/useDefaultsForProjects"), true);
        setGlobal("r", "ra");
        QSize shown;
        answerDialog(QStringLiteral("&OK"), [&shown](QDialog* d) {
            shown = d->size();
            QCOMPARE(d->windowTitle(), QStringLiteral("Run/make scripts"));
            auto* form = d->findChild<RunMakeOptionsWidget*>();
            QCOMPARE(form->runLineEdit->text(), QStringLiteral("r"));
            QVERIFY(form->defaultScriptsCheckBox->isChecked());
            form->defaultScriptsCheckBox->setChecked(false);
            form->makeLineEdit->setText("m2");
            d->resize(520, 310);
        });
        runner()->configure();
        QCOMPARE(shown, QSize(500, 300));
        QCOMPARE(Settings::readBool("/scripts/useDefaultsForProjects", true), false);
        QCOMPARE(Settings::read("/scripts/makeProject"), QStringLiteral("m2"));
        QCOMPARE(Settings::readNum("/geometry/configureScriptsDialog/w"), 520);

        // Cancel writes only the size.
        answerDialog(QStringLiteral("&Cancel"), [&shown](QDialog* d) {
            shown = d->size();
            d->findChild<RunMakeOptionsWidget*>()->makeLineEdit->setText("lost");
            d->resize(530, 320);
        });
        runner()->configure();
        QCOMPARE(shown, QSize(520, 310));
        QCOMPARE(Settings::read("/scripts/makeProject"), QStringLiteral("m2"));
        QCOMPARE(Settings::readNum("/geometry/configureScriptsDialog/h"), 320);
    }

    void chooserStartPath()
    {
        RunMakeOptionsWidget* form = runner()->projectOptions();
        // Where each chooser started (its folder and selected file); the
        // answer is chosen, an empty one cancels.
        QStringList starts;
        QString answer = "/usr/bin/make";
        Editors::setFileDialogRunner([&](QFileDialog& dlg) {
            const QStringList selected = dlg.selectedFiles();
            starts << dlg.directory().absolutePath() + " " + selected.value(0);
            if (answer.isEmpty())
                return false;
            dlg.selectFile(answer);
            return true;
        });
        form->selectMakeFolder();
        QCOMPARE(form->makeLineEdit->text(), QStringLiteral("/usr/bin/make"));
        QCOMPARE(Settings::read("/scripts/lastMakeFolder"), QStringLiteral("/usr/bin/make"));
        answer = QString(); // Cancel
        form->selectMakeFolder();
        form->selectRunFolder();
        QCOMPARE(form->makeLineEdit->text(), QStringLiteral("/usr/bin/make"));
        QVERIFY(Settings::read("/scripts/lastRunFolder").isNull());
        const QString home = QDir(QDir::homePath()).absolutePath();
        QCOMPARE(starts, (QStringList{home + " ", "/usr/bin /usr/bin/make", home + " "}));
    }

    void projectOptionsDialog()
    {
        const QString file = projectFile("makeScript=\"m\"");
        Project::self()->load(file);
        QVERIFY(action("Project/options")->isEnabled());
        QSize shown;
        QString caption;
        answerDialog(QStringLiteral("&Cancel"), [&](QDialog* d) {
            shown = d->size();
            caption = d->windowTitle();
            d->findChild<RunMakeOptionsWidget*>()->makeLineEdit->setText("edited");
            d->resize(600, 350);
        });
        action("Project/options")->trigger();
        QCOMPARE(shown, QSize(500, 300));
        QCOMPARE(caption, QStringLiteral("Run/make scripts"));
        QCOMPARE(Project::self()->attribute("makeScript"), QStringLiteral("m"));
        QCOMPARE(RecentFiles::self()->recentProjects().value(0), file);
        QCOMPARE(RecentFiles::self()->recentProjectsNames().value(0), QStringLiteral("P"));

        // Another project loaded: the form shows its values, the size is kept.
        Project::self()->load(projectFile("makeScript=\"other\"", QStringLiteral("other/o.vexa")));
        QString field;
        answerDialog(QStringLiteral("&OK"), [&](QDialog* d) {
            shown = d->size();
            field = d->findChild<RunMakeOptionsWidget*>()->makeLineEdit->text();
        });
        action("Project/options")->trigger();
        QCOMPARE(shown, QSize(600, 350));
        QCOMPARE(field, QStringLiteral("other"));
        QCOMPARE(Settings::readNum("/geometry/projectOptionsDialog/w"), 600);
    }

    void stopEndsTheWholeGroup()
    {
        // Make dies on SIGTERM; its child ignores it and is killed after the
        // grace period, although make has ended by then.
        writeFile(path("leaves.sh"), kLeavesChild, true);
        setGlobal(path("leaves.sh"), QStringLiteral("wait"), true);
        // Long enough that a loaded machine still finds the child alive after make ended.
        runner()->setStopGracePeriod(8000);
        runner()->make();
        QTRY_VERIFY(rows().contains("#color{black}started"));
        KillAtEnd guard{leftChildren()};
        QCOMPARE(guard.pids.size(), 1);
        runner()->make(); // Stop
        QTRY_VERIFY(ended());
        QCOMPARE(rows().last(), "#color{#f00000}" + path("leaves.sh") + " crashed.");
        // Still stoppable while the child holds the group.
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Stop"));
        QVERIFY(!gone(guard.pids.first()));
        QTRY_VERIFY_WITH_TIMEOUT(gone(guard.pids.first()), 20000);
        QTRY_COMPARE(action("RunMake/make")->text(), QStringLiteral("Make"));
        QVERIFY(action("RunMake/run")->isEnabled());
    }

    void stopPressedTwiceKillsAndStartsNothing()
    {
        // Make dies on the first Stop, its child ignores it. The second
        // press kills the child at once (the grace period would never come)
        // and starts no build; one after the group emptied does.
        writeFile(path("leaves.sh"), kLeavesChild, true);
        setGlobal(path("leaves.sh"), QStringLiteral("wait"), true);
        runner()->setStopGracePeriod(600000);
        runner()->make();
        QTRY_VERIFY(rows().contains("#color{black}started"));
        KillAtEnd guard{leftChildren()};
        QCOMPARE(guard.pids.size(), 1);
        runner()->make(); // Stop
        QTRY_VERIFY(ended());
        const QStringList stopped = rows();
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Stop"));
        QVERIFY(!action("RunMake/run")->isEnabled());
        runner()->make(); // Stop again
        QTRY_VERIFY(gone(guard.pids.first()));
        QCOMPARE(rows(), stopped);
        QCOMPARE(leftChildren().size(), 1);
        QTRY_COMPARE(action("RunMake/make")->text(), QStringLiteral("Make"));
        QCOMPARE(rows(), stopped);
        runner()->make(); // a new build
        QTRY_VERIFY(rows().contains("#color{black}started"));
        guard.pids = leftChildren();
        QCOMPARE(guard.pids.size(), 2);
        QCOMPARE(action("RunMake/make")->text(), QStringLiteral("Stop"));
    }

    void quittingEndsLeftGroups()
    {
        // A run that ended and left its child behind, and a make stopped a
        // moment before the end, whose child the grace period has not yet
        // reached: neither child outlives the editor.
        writeFile(path("leaves.sh"), kLeavesChild, true);
        setGlobal(path("leaves.sh"), QString());
        runner()->run();
        QTRY_VERIFY(ended());
        setGlobal(path("leaves.sh"), QStringLiteral("wait"), true);
        // The stopped make's child must still be there when the editor goes,
        // however slowly the machine runs: only quitting may end it.
        runner()->setStopGracePeriod(600000);
        runner()->make();
        QTRY_VERIFY(rows().contains("#color{black}started"));
        runner()->make(); // Stop
        QTRY_VERIFY(ended());
        KillAtEnd guard{leftChildren()};
        QCOMPARE(guard.pids.size(), 2);
        for (qint64 pid : guard.pids)
            QVERIFY(!gone(pid));
        Editors::self()->closeAll();
        delete shell;
        for (qint64 pid : guard.pids)
            QTRY_VERIFY(gone(pid));
    }

    void noProgramOutlivesTheEditor()
    {
        writeFile(path("endless.sh"), kEndless, true);
        setGlobal(path("endless.sh"), QString());
        runner()->run();
        runner()->run(); // a second run leaves the first one going
        QTRY_COMPARE(rows().count("#color{black}started"), 2);
        QList<qint64> pids = children(); // what the two programs started
        QCOMPARE(pids.size(), 2);
        for (QProcess* p : runner()->findChildren<QProcess*>())
            pids << p->processId();
        QCOMPARE(pids.size(), 4);
        // The project's form, never shown, goes with the project too.
        QPointer<QWidget> form = runner()->projectOptions();
        Editors::self()->closeAll();
        delete shell;
        QVERIFY(!form);
        for (qint64 pid : pids)
            QTRY_VERIFY(gone(pid));
    }
};

QTEST_MAIN(TestRunMake)
#include "tst_runmake.moc"
