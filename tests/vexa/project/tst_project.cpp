// The project on the real main window: reading and writing project files,
// the lifecycle over restarts, names and paths of nodes, the tree's file
// commands and the recent projects page.

#include "../shellfixture.h"
#include "../testeditor.h"
#include "projecttest.h"
#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/explorer/explorerpanel.h"
#include "vexa/filetype.h"
#include "vexa/project/project.h"
#include "vexa/project/projectfile.h"
#include "vexa/project/recentprojects.h"
#include "vexa/recentfiles.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/widgets/domlistview.h"
#include "vexa/widgets/widgetstack.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <QStringEncoder>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;
using namespace projecttest;

namespace
{

const QByteArray kValid = "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                          "name=\"Demo\">\n  <folder name=\"src\">\n   <cpp name=\"a.cpp\" "
                          "type=\"file\"/>\n  </folder>\n </project>\n</vexaproject>\n";

// The visible entries of a menu, a separator as "-".
QStringList menuTexts(QMenu* menu)
{
    QStringList t;
    for (QAction* a : menu->actions())
        if (a->isVisible())
            t.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return t;
}

} // namespace

class TestProject : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;

    Project* project() { return Project::self(); }
    DomListView* tree() { return project()->domView(); }
    QString path(const QString& name) const { return QDir(dir->path()).filePath(name); }
    QString projectFile(const QByteArray& xml, const QString& name = QStringLiteral("p/p.vexa"))
    {
        const QString p = path(name);
        writeFile(p, xml);
        return p;
    }

    // What the entry function does between building the window and the event loop.
    void start()
    {
        QVERIFY(shellfixture::openShell(shell, shellfixture::Titled | shellfixture::TestEditors |
                                                   shellfixture::Services | shellfixture::Shown));
    }
    // The window goes as the entry function ends.
    void quit()
    {
        QVERIFY(Editors::self()->closeAll());
        delete shell;
    }
    void loadOk(const QString& file)
    {
        Boxes boxes;
        project()->load(file);
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        QVERIFY(project()->hasProject());
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings(true);
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        start();
    }
    void cleanup()
    {
        Editors::setFileDialogRunner({});
        if (shell)
            quit();
        delete dir;
        dir = nullptr;
    }

    // ---------------------------------------------------------------- lifecycle

    void firstStart()
    {
        // The files explorer is in front, its tab button raised; the
        // project's page is the list of recent projects.
        QCOMPARE(shell->leftDock()->visibleWidget(), ExplorerPanel::self());
        project()->makeVisible();
        QCOMPARE(shell->leftDock()->visibleWidget(), project()->recentPage());
        // The tab of the page in front shows its text label.
        auto* tab = qobject_cast<QToolButton*>(shell->leftDockTab()->widgetForAction(
            Actions::action(QStringLiteral("leftDock/project"))));
        QVERIFY(tab);
        QCOMPARE(tab->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(tab->text(), QStringLiteral("Project"));
        QVERIFY(!project()->hasProject());
        QVERIFY(project()->dirPath().isNull());
        QCOMPARE(project()->folders(), QStringList("/"));
        QVERIFY(project()->filePaths(QString()).isEmpty());
        QVERIFY(project()->selectedFilePaths().isEmpty());
        QVERIFY(!Actions::action(QStringLiteral("Project/save"))->isEnabled());
        QVERIFY(!Actions::action(QStringLiteral("Project/close"))->isEnabled());
        QVERIFY(Actions::action(QStringLiteral("Project/open"))->isEnabled());
        QVERIFY(Actions::action(QStringLiteral("Project/create"))->isEnabled());
        QVERIFY(!Actions::action(QStringLiteral("Project/addfiles"))->isEnabled());
        QVERIFY(!Actions::action(QStringLiteral("Project/addfolder"))->isEnabled());
        // Every entry of the Project menu does something.
        QMenu* menu = nullptr;
        for (QAction* a : shell->menuBar()->actions())
            if (a->text().remove(QLatin1Char('&')) == QLatin1String("Project"))
                menu = a->menu();
        QVERIFY(menu);
        QCOMPARE(menuTexts(menu),
                 QStringList({"&New", "-", "&Open project", "Open &recent project", "&Save project",
                              "&Close project", "-", "Add f&iles", "-", "O&ptions"}));
        QVERIFY(!Actions::action(QStringLiteral("Project/options"))->isEnabled());
        // The open dialog starts in the home folder and is cancelled.
        QString shownDir;
        Editors::setFileDialogRunner([&shownDir](QFileDialog& dlg) {
            shownDir = dlg.directory().absolutePath();
            return false;
        });
        Actions::action(QStringLiteral("Project/open"))->trigger();
        QCOMPARE(shownDir, QDir::homePath());
        QVERIFY(!project()->hasProject());
    }

    void openDialogLoadsTheChosenFile()
    {
        const QString file = projectFile(kValid);
        Editors::setFileDialogRunner([file](QFileDialog& dlg) {
            dlg.selectFile(file);
            return true;
        });
        QSignalSpy loaded(project(), &Project::loaded);
        Actions::action(QStringLiteral("Project/open"))->trigger();
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(project()->filePath(), file);
        QCOMPARE(project()->dirPath(), path("p"));
        QCOMPARE(shell->leftDock()->visibleWidget(), tree());
        QVERIFY(Actions::action(QStringLiteral("Project/save"))->isEnabled());
        QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("Demo"));
        QCOMPARE(RecentFiles::self()->recentProjects().value(0), file);
        QCOMPARE(RecentFiles::self()->recentProjectsNames().value(0), QStringLiteral("Demo"));
    }

    void loadTable_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message"); // %1: the path; empty: none
        QTest::addColumn<QString>("name");    // of the loaded project; null: not loaded
        const QString notProject = QStringLiteral("File:\n'%1'\nis not Vexa project file.");
        const QString wrong = QStringLiteral("XML file:\n'%1'\nhave wrong contents.");
        const QString newer =
            QStringLiteral("The project:\n'%1'\nwas created by higher version of Vexa.");
        QTest::newRow("valid") << kValid << QString() << "Demo";
        QTest::newRow("empty") << QByteArray() << notProject << QString();
        QTest::newRow("not XML") << QByteArray("<vexaproject><project") << notProject << QString();
        QTest::newRow("root only")
            << QByteArray("<!DOCTYPE vexaproject><vexaproject/>") << wrong << QString();
        QTest::newRow("root with text only")
            << QByteArray("<vexaproject>text</vexaproject>") << wrong << QString();
        QTest::newRow("comment first")
            << QByteArray(
                   "<!-- saved by hand -->\n<vexaproject><project name=\"C\"/></vexaproject>")
            << QString() << "C";
        QTest::newRow("XML declaration first")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE vexaproject>"
                          "<vexaproject><project name=\"D\"/></vexaproject>")
            << QString() << "D";
        QTest::newRow("other doctype and tags")
            << QByteArray("<!DOCTYPE other><root><thing name=\"Other\"/></root>") << QString()
            << "Other";
        QTest::newRow("text before the project element")
            << QByteArray("<vexaproject>words<!-- c --><project name=\"T\"/></vexaproject>")
            << QString() << "T";
        const QList<QPair<const char*, bool>> versions = {
            {"8.0", false}, {"8.99", false}, {"", false},  {"abc", false},  {"nan", false},
            {"9", true},    {"9.0", true},   {"12", true}, {"1e999", true}, {"-1e999", false}};
        for (const auto& v : versions)
            QTest::newRow(qPrintable(QStringLiteral("version %1").arg(QLatin1String(v.first))))
                << QByteArray("<vexaproject><project name=\"V\" version=\"") + v.first +
                       "\"/></vexaproject>"
                << (v.second ? newer : QString()) << "V";
        QByteArray bomb = "<?xml version=\"1.0\"?><!DOCTYPE b [<!ENTITY l0 \"lol\">";
        for (int i = 1; i < 10; ++i) {
            bomb += "<!ENTITY l" + QByteArray::number(i) + " \"";
            for (int j = 0; j < 10; ++j)
                bomb += "&l" + QByteArray::number(i - 1) + ';';
            bomb += "\">";
        }
        bomb += "]><b><project name=\"&l9;\"/></b>";
        QTest::newRow("entity bomb") << bomb << notProject << QString();
        QTest::newRow("NUL in an attribute")
            << QByteArray("<r><project name=\"&e\0\0xt;\"/></r>", 32) << notProject << QString();
        QTest::newRow("nested too deep")
            << QByteArray("<r><project name=\"N\">") +
                   QByteArray("<folder name=\"f\">").repeated(300) +
                   QByteArray("</folder>").repeated(300) + "</project></r>"
            << notProject << QString();
        QTest::newRow("processing instruction with an invalid target")
            << QByteArray("<r><project name=\"I\"/><?da\x08"
                          "a?></r>")
            << notProject << QString();
        QTest::newRow("processing instructions")
            << QByteArray("<?style a?><r><?x-y z?><project name=\"J\"><?p?></project></r>")
            << QString() << "J";
        QTest::newRow("nested deep but within the cap")
            << QByteArray("<r><project name=\"M\">") +
                   QByteArray("<folder name=\"f\">").repeated(200) +
                   QByteArray("</folder>").repeated(200) + "</project></r>"
            << QString() << "M";
    }
    void loadTable()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(QString, name);
        const QString open = projectFile(kValid, QStringLiteral("open/open.vexa"));
        loadOk(open);
        const QString file = projectFile(content, QStringLiteral("new/new.vexa"));
        QSignalSpy closed(project(), &Project::closed);
        Boxes boxes;
        project()->load(file);
        QCOMPARE(boxes.texts, message.isEmpty() ? QStringList() : QStringList(message.arg(file)));
        if (name.isNull()) {
            // A bad file leaves the open project as it was.
            QCOMPARE(project()->filePath(), open);
            QCOMPARE(closed.count(), 0);
            QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("Demo"));
            QCOMPARE(project()->filePaths(QString()), QStringList(path("open/src/a.cpp")));
        } else {
            QCOMPARE(closed.count(), 1);
            QCOMPARE(project()->filePath(), file);
            QCOMPARE(project()->attribute(QStringLiteral("name")), name);
            QCOMPARE(tree()->topLevelItem(0)->text(0), name);
            // The project element never is a null one that swallows writes.
            project()->setAttribute(QStringLiteral("runScript"), QStringLiteral("./run"));
            QCOMPARE(project()->attribute(QStringLiteral("runScript")), QStringLiteral("./run"));
        }
    }

    void fileThatCannotBeReadKeepsTheProject_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "nothing/here.vexa";
        QTest::newRow("a folder") << "folder.vexa";
        // Opened for reading it would wait for a writer for ever.
        QTest::newRow("a FIFO") << "fifo.vexa";
    }
    void fileThatCannotBeReadKeepsTheProject()
    {
        QFETCH(QString, name);
        QDir(dir->path()).mkdir(QStringLiteral("folder.vexa"));
        QDir(dir->path()).mkdir(QStringLiteral("nothing"));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.vexa")).constData(), 0600), 0);
        const QString open = projectFile(kValid);
        loadOk(open);
        Boxes boxes;
        project()->load(path(name));
        QCOMPARE(boxes.texts,
                 QStringList(QStringLiteral("Can't open project file:\n'%1'").arg(path(name))));
        QCOMPARE(project()->filePath(), open);
        // The chooser starts where the failed file was.
        QString shownDir;
        Editors::setFileDialogRunner([&shownDir](QFileDialog& dlg) {
            shownDir = dlg.directory().absolutePath();
            return false;
        });
        project()->load();
        QCOMPARE(shownDir, QFileInfo(path(name)).absolutePath());
    }

    void roundTripKeepsContentAndStripsMarks()
    {
        const QByteArray in =
            projectXml("  <description>Sample &amp; more</description>\n"
                       "  <folder name=\"src\" open=\"1\" custom=\"kept\">\n"
                       "   <cpp name=\"a.cpp\" type=\"file\" open=\"0\"/>\n"
                       "   <extra type=\"temp\"><cpp name=\"gone.cpp\" type=\"file\"/></extra>\n"
                       "   <folder name=\"deep\"><folder name=\"deeper\">"
                       "<text name=\"t.txt\" type=\"temp\"/><text name=\"k.txt\" type=\"file\"/>"
                       "</folder></folder>\n"
                       "  </folder>\n"
                       "  <unknown what=\"x\">text<![CDATA[raw]]><!-- note --></unknown>\n",
                       "name=\"P\" type=\"temp\" other=\"1\"");
        const QString file = projectFile(in);
        loadOk(file);
        QCOMPARE(project()->attribute(QStringLiteral("open")), QStringLiteral("1"));
        project()->setAttribute(QStringLiteral("makeScript"), QStringLiteral("make \"all\" <&>"));
        QSignalSpy saved(project(), &Project::saved);
        Boxes boxes;
        QVERIFY(project()->save());
        QCOMPARE(saved.count(), 1);
        const QByteArray expected =
            "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" name=\"P\" "
            "type=\"temp\" other=\"1\" open=\"1\" makeScript=\"make &quot;all&quot; &lt;&amp;>\">\n"
            "  <description>Sample &amp; more</description>\n"
            "  <folder name=\"src\" custom=\"kept\">\n"
            "   <cpp name=\"a.cpp\" type=\"file\"/>\n"
            "   <folder name=\"deep\"><folder name=\"deeper\"><text name=\"k.txt\" type=\"file\"/>"
            "</folder></folder>\n"
            "  </folder>\n"
            "  <unknown what=\"x\">text<![CDATA[raw]]><!-- note --></unknown>\n"
            " </project>\n</vexaproject>\n";
        QCOMPARE(canonicalXml(readFile(file)), canonicalXml(expected));
        // The written text is the document's own form: a doctype, no declaration.
        QVERIFY(readFile(file).startsWith("<!DOCTYPE vexaproject>\n<vexaproject>\n <project"));
        // The tree lost the removed element's item.
        QVERIFY(!itemOf(tree(), QStringLiteral("/src/extra")));

        // A save elsewhere leaves the project bound to its own file.
        QVERIFY(project()->save(path("copy.vexa")));
        QCOMPARE(project()->filePath(), file);
        QCOMPARE(canonicalXml(readFile(path("copy.vexa"))), canonicalXml(expected));
        QVERIFY(boxes.texts.isEmpty());
    }

    void reloadingTheOpenProjectReadsWhatItsCloseWrote()
    {
        const QString file = projectFile(kValid);
        loadOk(file);
        project()->setAttribute(QStringLiteral("runScript"), QStringLiteral("go"));
        loadOk(file);
        QCOMPARE(project()->attribute(QStringLiteral("runScript")), QStringLiteral("go"));
    }

    void saveFailureKeepsTheOldFileAndAsksAtClose()
    {
        const QString file = projectFile(kValid);
        loadOk(file);
        const QByteArray before = readFile(file);
        QSignalSpy saved(project(), &Project::saved);
        QSignalSpy closed(project(), &Project::closed);

        // A folder where the file should go.
        {
            Boxes boxes;
            QVERIFY(QDir().mkdir(path("taken.vexa")));
            QVERIFY(!project()->save(path("taken.vexa")));
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY(boxes.texts.first().startsWith(
                QStringLiteral("Can't open file:\n'%1' for writing.").arg(path("taken.vexa"))));
            QVERIFY(QFileInfo(path("taken.vexa")).isDir());
        }

        // Writes that stop at a file size limit: the old file stays whole.
        project()->setAttribute(QStringLiteral("big"), QString(200000, QLatin1Char('x')));
        {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit old;
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &small);
            Boxes boxes;
            const bool ok = project()->save();
            setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY(!ok);
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY(boxes.texts.first().startsWith(
                QStringLiteral("Can't write file:\n'%1'").arg(file)));
        }
        QCOMPARE(readFile(file), before);
        QCOMPARE(saved.count(), 0);
        QVERIFY(project()->hasProject());

        // The file's own place taken by a folder: closing asks, Cancel keeps all.
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkdir(file));
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Ok, QMessageBox::Cancel};
            QVERIFY(!project()->close());
            QCOMPARE(boxes.texts.size(), 2);
            QCOMPARE(boxes.texts.at(1),
                     QStringLiteral("The project file:\n'%1'\ncould not be saved.\nClose the "
                                    "project without saving?")
                         .arg(file));
        }
        QVERIFY(project()->hasProject());
        QCOMPARE(closed.count(), 0);
        QCOMPARE(project()->attribute(QStringLiteral("big")).size(), 200000);
        QCOMPARE(shell->leftDock()->visibleWidget(), tree());
        // Loading another project asks the same; the default keeps this one.
        {
            Boxes boxes;
            project()->load(projectFile(kValid, QStringLiteral("other/o.vexa")));
            QCOMPARE(boxes.texts.size(), 2);
            QCOMPARE(project()->filePath(), file);
        }
        // Leaving the program asks too, and Cancel stays.
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Ok, QMessageBox::Cancel};
            shell->exit();
            QCOMPARE(boxes.texts.size(), 2);
            QVERIFY(project()->hasProject());
        }
        // Yes closes without saving.
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Ok, QMessageBox::Yes};
            QVERIFY(project()->close());
            QVERIFY(!project()->hasProject());
            QCOMPARE(closed.count(), 1);
            QCOMPARE(shell->leftDock()->visibleWidget(), project()->recentPage());
        }
        QVERIFY(QFileInfo(file).isDir());
    }

    void saveOnAFullDisk()
    {
        const QString mnt = path("tmpfs");
        QDir().mkpath(mnt);
        if (QProcess::execute(QStringLiteral("mount"),
                              {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mnt}) != 0)
            QSKIP("mount of a tmpfs is not allowed here");
        struct Unmount {
            QString at;
            ~Unmount() { QProcess::execute(QStringLiteral("umount"), {at}); }
        } unmount{mnt};
        const QString file = projectFile(kValid, QStringLiteral("tmpfs/p.vexa"));
        loadOk(file);
        const QByteArray before = readFile(file);
        {
            // Fill the disk to the brim.
            QFile filler(mnt + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        project()->setAttribute(QStringLiteral("big"), QString(300000, QLatin1Char('x')));
        QSignalSpy saved(project(), &Project::saved);
        {
            Boxes boxes;
            QVERIFY(!project()->save());
            QCOMPARE(boxes.texts.size(), 1);
        }
        QCOMPARE(readFile(file), before);
        QCOMPARE(saved.count(), 0);
        QVERIFY(project()->hasProject());
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Ok, QMessageBox::Yes};
            QVERIFY(project()->close());
        }
    }

    void projectFileRemovedWhileOpenIsWrittenAgain()
    {
        const QString file = projectFile(kValid);
        loadOk(file);
        QVERIFY(QFile::remove(file));
        Boxes boxes;
        QVERIFY(project()->close());
        QVERIFY(boxes.texts.isEmpty());
        QByteArray expected = kValid;
        expected.replace("name=\"Demo\"", "name=\"Demo\" open=\"1\"");
        QCOMPARE(canonicalXml(readFile(file)), canonicalXml(expected));
    }

    void projectFileChangedByAnotherProgram()
    {
        const QString file = projectFile(kValid);
        const QByteArray theirs = projectXml("  <text name=\"theirs.txt\" type=\"file\"/>\n");
        // Closing asks; the default keeps the other program's file, and the
        // project closes all the same.
        loadOk(file);
        writeFile(file, theirs);
        {
            Boxes boxes;
            QSignalSpy closed(project(), &Project::closed);
            QVERIFY(project()->close());
            QCOMPARE(boxes.texts,
                     QStringList(QStringLiteral("The project file:\n'%1'\nhas been changed by "
                                                "another program since it was loaded.\n"
                                                "Overwrite it with the open project?")
                                     .arg(file)));
            QCOMPARE(closed.count(), 1);
        }
        QCOMPARE(readFile(file), theirs);

        // The way out asks the same, and nothing writes the file afterwards;
        // the project comes back at the next start, as the other program left it.
        loadOk(file);
        QVERIFY(project()->save());
        writeFile(file, kValid);
        {
            Boxes boxes;
            QVERIFY(Project::saveAtExit());
            QCOMPARE(boxes.texts.size(), 1);
        }
        quit();
        QCOMPARE(readFile(file), kValid);
        start();
        QCOMPARE(project()->filePath(), file);
        QCOMPARE(project()->attribute(QStringLiteral("name")), QStringLiteral("Demo"));

        // Yes writes the open project over it, and then no question is
        // left: the file is as the program wrote it.
        project()->setAttribute(QStringLiteral("runScript"), QStringLiteral("mine"));
        writeFile(file, theirs);
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            QVERIFY(project()->save());
            QCOMPARE(boxes.texts.size(), 1);
        }
        QVERIFY(readFile(file).contains("runScript=\"mine\""));
        {
            Boxes boxes;
            QVERIFY(project()->close());
            QVERIFY(boxes.texts.isEmpty());
        }
    }

    void saveKeepsHardLinks()
    {
        const QString file = projectFile(kValid);
        const QString alias = path("elsewhere.vexa");
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(alias).constData()) ==
                0);
        loadOk(file);
        project()->setAttribute(QStringLiteral("makeScript"), QStringLiteral("make"));
        QVERIFY(project()->save());
        QVERIFY(readFile(alias).contains("makeScript=\"make\""));
        QCOMPARE(readFile(alias), readFile(file));
        // The program's own write is no change by another program.
        Boxes boxes;
        QVERIFY(project()->close());
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(QFileInfo(alias).exists() && readFile(alias) == readFile(file));
    }

    // A file that declares another encoding than UTF-8 keeps every name over
    // any number of saves and loads.
    void declaredEncodingsRoundTrip_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("name");
        QTest::newRow("ISO-8859-2")
            << "ISO-8859-2" << QStringLiteral(u"Za\u017C\u00F3\u0142\u0107");
        QTest::newRow("ISO-8859-1") << "ISO-8859-1" << QStringLiteral(u"S\u00E4tze \u00E0 \u00FF");
        QTest::newRow("windows-1250") << "windows-1250" << QStringLiteral(u"\u0160\u0161\u017E");
        QTest::newRow("UTF-16") << "UTF-16" << QStringLiteral(u"\u65E5\u672C \u0105");
    }
    void declaredEncodingsRoundTrip()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, name);
        const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n"
                                           "<!DOCTYPE vexaproject>\n<vexaproject>\n"
                                           " <project version=\"8.0\" name=\"%2\">\n"
                                           "  <folder name=\"%2\"><text name=\"%2.txt\" "
                                           "type=\"file\"/></folder>\n"
                                           " </project>\n</vexaproject>\n")
                                .arg(encoding, name);
        QStringEncoder encoder(encoding.toLatin1().constData(), QStringEncoder::Flag::WriteBom);
        QVERIFY(encoder.isValid());
        const QByteArray bytes = encoder(xml);
        QVERIFY(!encoder.hasError());
        const QString file = projectFile(bytes);
        for (int round = 0; round < 3; ++round) {
            loadOk(file);
            QCOMPARE(project()->attribute(QStringLiteral("name")), name);
            QCOMPARE(project()->localNames(), QStringList("/" + name + "/" + name + ".txt"));
            QVERIFY(project()->close());
        }
    }

    void closeEmptiesAndRaisesTheRecentPage()
    {
        loadOk(projectFile(kValid));
        QSignalSpy changed(project(), &Project::projectChanged);
        QSignalSpy closed(project(), &Project::closed);
        QSignalSpy enabled(project(), &Project::enabled);
        QStringList order;
        connect(project(), &Project::projectChanged, this, [&order] { order << "changed"; });
        connect(project(), &Project::closed, this, [&order] { order << "closed"; });
        QApplication::setActiveWindow(shell);
        Actions::action(QStringLiteral("Project/close"))->trigger();
        QCOMPARE(order, QStringList({"changed", "closed"}));
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(enabled.first().first().toBool(), false);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QCOMPARE(shell->leftDock()->visibleWidget(), project()->recentPage());
        QTRY_COMPARE(QApplication::focusWidget(), project()->recentPage());
        // Nothing of the closed project answers any more.
        QVERIFY(project()->attribute(QStringLiteral("name")).isNull());
        QVERIFY(project()->localName2node(QStringLiteral("/src")).isNull());
        QVERIFY(!Actions::action(QStringLiteral("Project/save"))->isEnabled());
    }

    void exitSavesAndTheNextStartReopens()
    {
        const QString file = projectFile(kValid);
        loadOk(file);
        project()->setAttribute(QStringLiteral("makeScript"), QStringLiteral("make"));
        tree()->topLevelItem(0)->child(0)->setExpanded(true);
        // The orderly way out writes the file while the window stands.
        QVERIFY(Project::saveAtExit());
        QVERIFY(readFile(file).contains("makeScript=\"make\""));
        quit();
        QCOMPARE(Settings::read(QStringLiteral("/project/openedProject")), file);
        QCOMPARE(Settings::read(QStringLiteral("/project/lastLoadDir")), path("p"));
        QVERIFY(!readFile(file).contains("open=\"0\"") &&
                !readFile(file).contains("<folder name=\"src\" open"));

        start();
        QCOMPARE(project()->filePath(), file);
        QCOMPARE(project()->attribute(QStringLiteral("makeScript")), QStringLiteral("make"));
        QCOMPARE(shell->leftDock()->visibleWidget(), tree());
        // Folders come back closed.
        QVERIFY(!tree()->topLevelItem(0)->child(0)->isExpanded());
        QVERIFY(tree()->topLevelItem(0)->isExpanded());
        QVERIFY(project()->close());
        quit();
        QCOMPARE(Settings::read(QStringLiteral("/project/openedProject"), QStringLiteral("x")),
                 QString());
        start();
        QVERIFY(!project()->hasProject());
    }

    void projectFileFromTheRegistryLoads()
    {
        const QString file = projectFile(kValid);
        FileTypeManager::openFile(file);
        QCOMPARE(project()->filePath(), file);
        for (Editor* e : Editors::self()->editors())
            QVERIFY(e->filename() != file);
    }

    // ---------------------------------------------------------------- names and paths

    void namesAndPaths_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QStringList>("expected"); // relative to the project folder: "@/..."
        QTest::newRow("node of /") << "node"
                                   << "/" << QStringList("/");
        QTest::newRow("node of empty") << "node"
                                       << "" << QStringList("/");
        QTest::newRow("node of src") << "node"
                                     << "src" << QStringList("/src");
        QTest::newRow("node of /src/") << "node"
                                       << "/src/" << QStringList("/src");
        QTest::newRow("node of //src//a.c") << "node"
                                            << "//src//a.c" << QStringList("/src/a.c");
        QTest::newRow("node of /SRC") << "node"
                                      << "/SRC" << QStringList();
        QTest::newRow("node of /src/b.c, second src") << "node"
                                                      << "/src/b.c" << QStringList();
        QTest::newRow("path of a file") << "path"
                                        << "/src/a.c" << QStringList("@/src/a.c");
        QTest::newRow("path with url") << "path"
                                       << "/src/form.ui/x.py" << QStringList("@/lib/x.py");
        QTest::newRow("path of the project") << "path"
                                             << "/" << QStringList("@/");
        QTest::newRow("filePaths of all")
            << "filePaths"
            << ""
            << QStringList({"@/src/a.c", "@/src/form.ui", "@/lib/x.py", "@/src/b.c", "@/top.txt"});
        QTest::newRow("filePaths of /src (the first)")
            << "filePaths"
            << "/src" << QStringList({"@/src/a.c", "@/src/form.ui", "@/lib/x.py"});
        QTest::newRow("filePaths of a file") << "filePaths"
                                             << "/src/form.ui" << QStringList("@/lib/x.py");
        QTest::newRow("filePaths of nothing") << "filePaths"
                                              << "/none" << QStringList();
        QTest::newRow("localNames") << "localNames"
                                    << ""
                                    << QStringList({"/src/a.c", "/src/form.ui", "/src/form.ui/x.py",
                                                    "/src/b.c", "/top.txt"});
        QTest::newRow("folders") << "folders"
                                 << ""
                                 << QStringList(
                                        {"/", "/src", "/src/sub", "/src", "/cont", "/cont/in"});
        QTest::newRow("node of a path") << "node of path"
                                        << "@/src/a.c" << QStringList("/src/a.c");
        QTest::newRow("node of the folder") << "node of path"
                                            << "@" << QStringList("/");
        QTest::newRow("node of a url") << "node of path"
                                       << "@/lib/x.py" << QStringList("/src/form.ui/x.py");
        QTest::newRow("node in a sibling folder") << "node of path"
                                                  << "@2/src/a.c" << QStringList();
        QTest::newRow("node outside") << "node of path"
                                      << "/etc/passwd" << QStringList();
    }
    void namesAndPaths()
    {
        QFETCH(QString, query);
        QFETCH(QString, argument);
        QFETCH(QStringList, expected);
        const QString file = projectFile(
            projectXml("  <folder name=\"src\">\n"
                       "   <cpp name=\"a.c\" type=\"file\"/>\n"
                       "   <folder name=\"sub\"/>\n"
                       "   <uifile name=\"form.ui\" type=\"file\" container=\"1\">"
                       "<pyfile name=\"x.py\" type=\"file\" url=\"/lib/x.py\"/></uifile>\n"
                       "  </folder>\n"
                       "  <folder name=\"src\"><cpp name=\"b.c\" type=\"file\"/></folder>\n"
                       "  <thing name=\"cont\" type=\"container\"><folder name=\"in\"/></thing>\n"
                       "  <text name=\"top.txt\" type=\"file\"/>\n"));
        loadOk(file);
        const QString d = project()->dirPath();
        for (QString& e : expected)
            e.replace(QLatin1Char('@'), d);
        argument.replace(QLatin1Char('@'), d);
        QStringList actual;
        if (query == QLatin1String("node")) {
            const QDomNode n = project()->localName2node(argument);
            if (!n.isNull())
                actual.append(project()->node2localName(n));
        } else if (query == QLatin1String("path")) {
            actual.append(project()->node2filePath(project()->localName2node(argument)));
        } else if (query == QLatin1String("filePaths")) {
            actual = project()->filePaths(argument);
        } else if (query == QLatin1String("localNames")) {
            actual = project()->localNames();
        } else if (query == QLatin1String("folders")) {
            actual = project()->folders();
        } else {
            const QDomNode n = project()->filePath2node(argument);
            if (!n.isNull())
                actual.append(project()->node2localName(n));
        }
        QCOMPARE(actual, expected);
        QVERIFY(project()->node2localName(QDomNode()).isNull());
    }

    void projectInTheRootFolder()
    {
        // Paths are built without a doubled separator; nothing is written there.
        loadOk(projectFile(
            projectXml("  <folder name=\"src\"><cpp name=\"a.c\" type=\"file\"/></folder>\n")));
        const QString own = project()->filePath();
        // Whatever happens below, nothing is ever written to "/".
        struct Restore {
            QString path;
            ~Restore() { Project::self()->setFilePath(path); }
        } restore{own};
        project()->setFilePath(QStringLiteral("/p.vexa"));
        QCOMPARE(project()->dirPath(), QStringLiteral("/"));
        QCOMPARE(project()->filePaths(QString()), QStringList("/src/a.c"));
        QCOMPARE(project()->node2filePath(project()->rootNode()), QStringLiteral("/"));
        QCOMPARE(project()->node2localName(project()->filePath2node(QStringLiteral("/src/a.c"))),
                 QStringLiteral("/src/a.c"));
        QCOMPARE(project()->diskPath(project()->localName2node(QStringLiteral("/src/a.c"))),
                 QStringLiteral("/src/a.c"));
    }

    void selection()
    {
        loadOk(
            projectFile(projectXml("  <folder name=\"src\" open=\"1\"><cpp name=\"a.c\" "
                                   "type=\"file\"/><cpp name=\"b.c\" type=\"file\"/></folder>\n"
                                   "  <text name=\"t.txt\" type=\"file\" url=\"/doc/t.txt\"/>\n")));
        QSignalSpy changed(project(), &Project::selectionChanged);
        tree()->setCurrentItem(nullptr);
        tree()->clearSelection();
        QVERIFY(project()->selectedNode().isNull());
        QVERIFY(project()->selectedFilePath().isNull());
        QVERIFY(project()->selectedLocalNames().isEmpty());
        tree()->topLevelItem(0)->setSelected(true);
        QVERIFY(!changed.isEmpty());
        QVERIFY(changed.last().first().toString().isNull());
        QVERIFY(project()->selectedLocalNames().isEmpty());

        itemOf(tree(), QStringLiteral("/src"))->setSelected(true);
        itemOf(tree(), QStringLiteral("/src/b.c"))->setSelected(true);
        itemOf(tree(), QStringLiteral("/t.txt"))->setSelected(true);
        QCOMPARE(project()->selectedLocalNames(), QStringList({"/src", "/src/b.c", "/t.txt"}));
        const QString d = project()->dirPath();
        QCOMPARE(project()->selectedFilePaths(),
                 QStringList({d + "/src", d + "/src/b.c", d + "/doc/t.txt"}));
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/a.c")));
        QCOMPARE(changed.last().first().toString(), QStringLiteral("/src/a.c"));
        QCOMPARE(project()->selectedFilePath(), d + "/src/a.c");
        tree()->setCurrentItem(tree()->topLevelItem(0));
        QCOMPARE(project()->selectedFilePath(), d + "/");
    }

    void contextMenuOfEachKind()
    {
        loadOk(projectFile(kValid));
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        auto menuAt = [this](const QString& localName) {
            QTreeWidgetItem* item = itemOf(tree(), localName);
            tree()->scrollToItem(item);
            QTest::mouseClick(tree()->viewport(), Qt::RightButton, {},
                              tree()->visualItemRect(item).center());
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            const QStringList texts = menu ? menuTexts(menu) : QStringList("no menu");
            if (menu)
                menu->close();
            return texts;
        };
        QCOMPARE(menuAt(QStringLiteral("/")),
                 QStringList({"New Folder", "Add files", "-", "O&ptions", "-", "&Save project",
                              "&Close project"}));
        QCOMPARE(menuAt(QStringLiteral("/src")),
                 QStringList({"New Folder", "Add files", "-", "Remove from project", "-",
                              "&Close project"}));
        QCOMPARE(menuAt(QStringLiteral("/src/a.cpp")),
                 QStringList({"Open", "-", "Remove from project", "Delete the file", "-",
                              "&Close project"}));
    }

    // ---------------------------------------------------------------- file commands

    void openFromTheTree()
    {
        const QString file = projectFile(
            projectXml("  <folder name=\"src\" open=\"1\"><cpp name=\"a.cpp\" type=\"file\"/>"
                       "<cpp name=\"gone.cpp\" type=\"file\"/></folder>\n"
                       "  <text name=\"n.txt\" type=\"file\" url=\"/doc/n.txt\"/>\n"));
        writeFile(path("p/src/a.cpp"), "int a;\n");
        writeFile(path("p/doc/n.txt"), "notes\n");
        loadOk(file);
        QApplication::setActiveWindow(shell);
        QVERIFY(QTest::qWaitForWindowActive(shell));
        auto opened = [] {
            QStringList files;
            for (Editor* e : Editors::self()->editors())
                if (!e->filename().isEmpty())
                    files << QFileInfo(e->filename()).fileName();
            return files;
        };
        // A folder, the project element and a missing file open nothing.
        for (const QString& name :
             {QStringLiteral("/src"), QStringLiteral("/"), QStringLiteral("/src/gone.cpp")}) {
            tree()->setCurrentItem(itemOf(tree(), name));
            project()->openFile();
            QCOMPARE(opened(), QStringList());
        }
        // A double click opens the file under the mouse.
        QTreeWidgetItem* a = itemOf(tree(), QStringLiteral("/src/a.cpp"));
        tree()->scrollToItem(a);
        const QPoint at = tree()->visualItemRect(a).center();
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(opened(), QStringList("a.cpp"));
        QCOMPARE(RecentFiles::self()->recentFilesMenu() != nullptr, true);
        // Return on the current item, a file with a url.
        tree()->setFocus();
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/n.txt")));
        QTest::keyClick(tree(), Qt::Key_Return);
        QTRY_COMPARE(opened(), QStringList({"a.cpp", "n.txt"}));
        QCOMPARE(Editors::self()->current()->filename(), path("p/doc/n.txt"));
        // The keys go to the file just opened.
        QWidget* editor = Editors::self()->current();
        QTRY_VERIFY(QApplication::focusWidget() == editor ||
                    editor->isAncestorOf(QApplication::focusWidget()));
    }

    void aListedProjectFileLoadsThatProject()
    {
        const QString other = projectFile(kValid, QStringLiteral("p/sub/other.vexa"));
        const QString file =
            projectFile(projectXml("  <folder name=\"sub\" open=\"1\"><project name=\"other.vexa\" "
                                   "type=\"file\"/></folder>\n"));
        loadOk(file);
        tree()->setFocus();
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/sub/other.vexa")));
        QTest::keyClick(tree(), Qt::Key_Return);
        // The load runs once the tree's signal has returned.
        QCOMPARE(project()->filePath(), file);
        QTRY_COMPARE(project()->filePath(), other);
        QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("Demo"));
        // The file that was left was written on the way.
        QVERIFY(readFile(file).contains("other.vexa"));
    }

    void removeFromTheProject()
    {
        const QString file = projectFile(
            projectXml("  <folder name=\"src\" open=\"1\"><cpp name=\"a.cpp\" type=\"file\"/>"
                       "<cpp name=\"b.cpp\" type=\"file\"/><folder name=\"in\"><cpp name=\"c.cpp\" "
                       "type=\"file\"/></folder></folder>\n"));
        for (const char* f : {"p/src/a.cpp", "p/src/b.cpp", "p/src/in/c.cpp"})
            writeFile(path(QLatin1String(f)), "x");
        loadOk(file);
        QSignalSpy changed(project(), &Project::projectChanged);
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/a.cpp")));
        Actions::action(QStringLiteral("Project/context/removefile"))->trigger();
        QCOMPARE(changed.count(), 1);
        QVERIFY(!itemOf(tree(), QStringLiteral("/src/a.cpp")));
        QVERIFY(project()->localName2node(QStringLiteral("/src/a.cpp")).isNull());
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/in")));
        Actions::action(QStringLiteral("Project/context/removefolder"))->trigger();
        QCOMPARE(changed.count(), 2);
        QCOMPARE(project()->localNames(), QStringList("/src/b.cpp"));
        QVERIFY(!itemOf(tree(), QStringLiteral("/src/in/c.cpp")));
        // With a name only the node goes: the item stays until the next sync.
        project()->removeFile(QStringLiteral("/src/b.cpp"));
        project()->deleteFile(QStringLiteral("/src"));
        QCOMPARE(changed.count(), 2);
        QVERIFY(project()->localNames().isEmpty());
        QVERIFY(itemOf(tree(), QStringLiteral("/src")));
        for (const char* f : {"p/src/a.cpp", "p/src/b.cpp", "p/src/in/c.cpp"})
            QVERIFY(QFile::exists(path(QLatin1String(f))));
        // The project element never leaves.
        project()->removeFolder(QStringLiteral("/"));
        QVERIFY(!project()->rootNode().parentNode().isNull());
    }

    void deleteAsksAndRemovesTheChosenFile()
    {
        // Two siblings of one name, one of them with a url of its own.
        const QString file =
            projectFile(projectXml("  <folder name=\"src\" open=\"1\">"
                                   "<cpp name=\"a.cpp\" type=\"file\"/>"
                                   "<cpp name=\"a.cpp\" type=\"file\" url=\"/other/a.cpp\"/>"
                                   "<cpp name=\"line\nbreak.cpp\" type=\"file\"/>"
                                   "<cpp name=\"gone.cpp\" type=\"file\"/>"
                                   "<cpp name=\"dir.cpp\" type=\"file\"/></folder>\n"));
        writeFile(path("p/src/a.cpp"), "first");
        writeFile(path("p/other/a.cpp"), "second");
        writeFile(path("p/src/line break.cpp"), "odd name");
        writeFile(path("p/src/dir.cpp/inside"), "a folder in the file's place");
        loadOk(file);
        QSignalSpy changed(project(), &Project::projectChanged);
        QList<DomListViewItem*> twins;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            if ((*it)->text(0) == QLatin1String("a.cpp"))
                twins << static_cast<DomListViewItem*>(*it);
        QCOMPARE(twins.size(), 2);
        DomListViewItem* second = twins.at(0)->node.toElement().hasAttribute(QStringLiteral("url"))
                                      ? twins.at(0)
                                      : twins.at(1);
        tree()->setCurrentItem(second);
        {
            // The default answer is No: nothing changes.
            Boxes boxes;
            Actions::action(QStringLiteral("Project/context/deletefile"))->trigger();
            QCOMPARE(boxes.texts, QStringList(QStringLiteral("Delete the file '%1' from the disk?")
                                                  .arg(path("p/other/a.cpp"))));
            QVERIFY(QFile::exists(path("p/other/a.cpp")));
            QCOMPARE(changed.count(), 0);
        }
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            Actions::action(QStringLiteral("Project/context/deletefile"))->trigger();
            QCOMPARE(boxes.texts.size(), 1);
        }
        QVERIFY(!QFile::exists(path("p/other/a.cpp")));
        QCOMPARE(readFile(path("p/src/a.cpp")), QByteArray("first"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(project()->filePaths(QString()).count(project()->dirPath() + "/src/a.cpp"), 1);
        QVERIFY(!project()->filePaths(QString()).contains(project()->dirPath() + "/other/a.cpp"));

        // A name with a line break is a name like any other.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/line\nbreak.cpp")));
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            project()->deleteFile();
        }
        QVERIFY(!QFile::exists(path("p/src/line\nbreak.cpp")));
        QVERIFY(QFile::exists(path("p/src/line break.cpp")));

        // A file already gone: the message, and the node goes.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/gone.cpp")));
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            project()->deleteFile();
            QCOMPARE(boxes.texts.value(1),
                     QStringLiteral("Can't delete file:\n'%1'").arg(path("p/src/gone.cpp")));
        }
        QVERIFY(project()->localName2node(QStringLiteral("/src/gone.cpp")).isNull());
        // A removal that fails with the thing still there keeps the node.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/src/dir.cpp")));
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            project()->deleteFile();
            QCOMPARE(boxes.texts.size(), 2);
        }
        QVERIFY(QFileInfo(path("p/src/dir.cpp")).isDir());
        QVERIFY(!project()->localName2node(QStringLiteral("/src/dir.cpp")).isNull());
        QVERIFY(itemOf(tree(), QStringLiteral("/src/dir.cpp")));
    }

    void namesThatLeadOutAreNeverOpenedOrDeleted_data()
    {
        QTest::addColumn<QByteArray>("node");
        QTest::addColumn<QString>("shown"); // the local name of the node's item
        QTest::newRow("name ..") << QByteArray("<text name=\"..\" type=\"file\"/>") << "/..";
        QTest::newRow("folder .. then a name")
            << QByteArray("<folder name=\"..\" open=\"1\"><text name=\"outside.txt\" "
                          "type=\"file\"/></folder>")
            << "/../outside.txt";
        QTest::newRow("url /../x")
            << QByteArray("<text name=\"x\" type=\"file\" url=\"/../outside.txt\"/>") << "/x";
        QTest::newRow("url /a/../../x")
            << QByteArray("<text name=\"x\" type=\"file\" url=\"/a/../../outside.txt\"/>") << "/x";
        QTest::newRow("name with a slash")
            << QByteArray("<text name=\"../outside.txt\" type=\"file\"/>") << "/../outside.txt";
    }
    void namesThatLeadOutAreNeverOpenedOrDeleted()
    {
        QFETCH(QByteArray, node);
        QFETCH(QString, shown);
        writeFile(path("outside.txt"), "keep me");
        writeFile(path("p/x"), "inside");
        const QString file = projectFile(projectXml("  " + node + "\n"));
        loadOk(file);
        DomListViewItem* item = itemOf(tree(), shown);
        QVERIFY(item);
        QVERIFY(project()->diskPath(item->node).isNull());
        tree()->setCurrentItem(item);
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Ok, QMessageBox::Yes};
            project()->openFile();
            project()->deleteFile();
            QCOMPARE(boxes.texts.size(), 2);
            QVERIFY(
                boxes.texts.first().contains(QStringLiteral("lies outside the project folder")));
        }
        {
            Boxes boxes;
            tree()->setFocus();
            QTest::keyClick(tree(), Qt::Key_Return);
            QTRY_COMPARE(boxes.texts.size(), 1);
        }
        QCOMPARE(readFile(path("outside.txt")), QByteArray("keep me"));
        for (Editor* e : Editors::self()->editors())
            QVERIFY(e->filename().isEmpty());
        // Such a document loads and saves unchanged.
        QVERIFY(project()->save());
        QByteArray unchanged = node;
        unchanged.replace(" open=\"1\"", "");
        QCOMPARE(canonicalXml(readFile(file)),
                 canonicalXml(projectXml("  " + unchanged + "\n", "name=\"P\" open=\"1\"")));
    }

    void deleteThroughLinkedFolders()
    {
        // proj/link leads out of the project folder, proj/inner stays in it.
        writeFile(path("outside/secret.txt"), "secret");
        writeFile(path("p/src/own.txt"), "own");
        QVERIFY(QFile::link(QStringLiteral("../outside"), path("p/link")));
        QVERIFY(QFile::link(QStringLiteral("src"), path("p/inner")));
        loadOk(projectFile(projectXml("  <folder name=\"link\" open=\"1\"><text "
                                      "name=\"secret.txt\" type=\"file\"/></folder>\n"
                                      "  <folder name=\"inner\" open=\"1\"><text name=\"own.txt\" "
                                      "type=\"file\"/></folder>\n")));
        const QString linked = path("p/link/secret.txt");
        const QString real = QFileInfo(path("outside")).canonicalFilePath() + "/secret.txt";

        // Opening through the linked folder is allowed.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/link/secret.txt")));
        project()->openFile();
        QCOMPARE(Editors::self()->current()->filename(), linked);
        QVERIFY(Editors::self()->closeAll());

        // The question names the file that would go; the default keeps it.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/link/secret.txt")));
        {
            Boxes boxes;
            project()->deleteFile();
            QCOMPARE(boxes.texts,
                     QStringList(QStringLiteral("Delete the file '%1', which is '%2' outside the "
                                                "project folder?")
                                     .arg(linked, real)));
        }
        QCOMPARE(readFile(real), QByteArray("secret"));
        QVERIFY(!project()->localName2node(QStringLiteral("/link/secret.txt")).isNull());
        // Yes deletes it there.
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            project()->deleteFile();
        }
        QVERIFY(!QFile::exists(real));
        QVERIFY(project()->localName2node(QStringLiteral("/link/secret.txt")).isNull());

        // A link that stays inside the project folder gets the plain question.
        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("/inner/own.txt")));
        {
            Boxes boxes;
            project()->deleteFile();
            QCOMPARE(boxes.texts, QStringList(QStringLiteral("Delete the file '%1' from the disk?")
                                                  .arg(path("p/inner/own.txt"))));
        }
        QVERIFY(QFile::exists(path("p/src/own.txt")));
    }

    // Doubled separators and empty names, as hand-written files have them,
    // name the file they name once cleaned: opening, deleting and the
    // add-files dialog agree on it.
    void doubledSeparatorsAndEmptyNames()
    {
        writeFile(path("p/src/a.txt"), "a");
        writeFile(path("p/b.txt"), "b");
        writeFile(path("p/src/c.txt"), "c");
        loadOk(projectFile(projectXml(
            "  <text name=\"a.txt\" type=\"file\" url=\"//src/a.txt\"/>\n"
            "  <folder name=\"\" open=\"1\"><text name=\"b.txt\" type=\"file\"/></folder>\n"
            "  <text name=\"c.txt\" type=\"file\" url=\"/src/./c.txt\"/>\n")));
        const QStringList nodes = {"/a.txt", "//b.txt", "/c.txt"};
        const QStringList files = {path("p/src/a.txt"), path("p/b.txt"), path("p/src/c.txt")};
        for (int i = 0; i < nodes.size(); ++i) {
            DomListViewItem* item = itemOf(tree(), nodes.at(i));
            QVERIFY2(item, qPrintable(nodes.at(i)));
            QCOMPARE(project()->diskPath(item->node), files.at(i));
            tree()->setCurrentItem(item);
            Boxes boxes;
            project()->openFile();
            QVERIFY(boxes.texts.isEmpty());
            QCOMPARE(Editors::self()->current()->filename(), files.at(i));
        }
        QVERIFY(Editors::self()->closeAll());

        // The add-files dialog counts them as the project's files.
        QStringList listed;
        Message::setDialogRunner([&listed](QDialog& d) {
            for (QTreeWidgetItemIterator it(static_cast<QTreeWidget*>(
                     d.findChild<QTreeWidget*>(QStringLiteral("listViewFiles"))));
                 *it; ++it)
                listed << (*it)->text(0);
            return int(QDialog::Rejected);
        });
        project()->addFilesDialog();
        Message::setDialogRunner({});
        QCOMPARE(listed, QStringList({"P", "src"}));

        tree()->setCurrentItem(itemOf(tree(), QStringLiteral("//b.txt")));
        {
            Boxes boxes;
            boxes.answers = {QMessageBox::Yes};
            project()->deleteFile();
            QCOMPARE(
                boxes.texts,
                QStringList(
                    QStringLiteral("Delete the file '%1' from the disk?").arg(path("p/b.txt"))));
        }
        QVERIFY(!QFile::exists(path("p/b.txt")));
        QVERIFY(QFile::exists(path("p/src/a.txt")));
    }

    // A project file far larger than any real project, reopened at start:
    // refused unread with a message, and not tried again at the next start.
    void oversizedProjectFileIsRefused()
    {
        const QString file = path("big/big.vexa");
        writeFile(file, kValid);
        // Sparse: the size without the disk space.
        QVERIFY(QFile::resize(file, ProjectFile::maxSize + 1));
        quit();
        Settings::write(QStringLiteral("/project/openedProject"), file);
        Settings::forceWrite();
        {
            Boxes boxes;
            start();
            QCOMPARE(boxes.texts,
                     QStringList(QStringLiteral("The project file:\n'%1'\nis larger than %2 MiB "
                                                "and is not loaded.")
                                     .arg(file)
                                     .arg(ProjectFile::maxSize >> 20)));
        }
        QVERIFY(!project()->hasProject());
        quit();
        QVERIFY(Settings::read(QStringLiteral("/project/openedProject")).isEmpty());
        start();

        // A project of 100,000 files, as the program writes it, is well
        // within the bound and loads.
        QByteArray inner;
        for (int f = 0; f < 1000; ++f) {
            inner += "  <folder name=\"folder" + QByteArray::number(f) + "\">\n";
            for (int i = 0; i < 100; ++i)
                inner += "   <cpp name=\"source_file_" + QByteArray::number(i) +
                         ".cpp\" type=\"file\"/>\n";
            inner += "  </folder>\n";
        }
        const QByteArray many = projectXml(inner);
        QVERIFY2(many.size() < ProjectFile::maxSize, QByteArray::number(many.size()));
        loadOk(projectFile(many, QStringLiteral("many/many.vexa")));
        QCOMPARE(project()->localNames().size(), 100000);
    }

    // ---------------------------------------------------------------- recent projects

    void recentProjectsPage()
    {
        const QString alpha =
            projectFile(projectXml("", "name=\"alpha\""), QStringLiteral("a/alpha.vexa"));
        const QString beta =
            projectFile(projectXml("", "name=\"beta\""), QStringLiteral("b/beta.vexa"));
        loadOk(alpha);
        QVERIFY(project()->close());
        loadOk(beta);
        QVERIFY(project()->close());
        QFile::remove(alpha);
        // A first start of the page: no entry was ever selected.
        quit();
        Settings::remove(QStringLiteral("/recentprojects/selected"));
        Settings::forceWrite();
        start();
        auto* page = static_cast<RecentProjects*>(project()->recentPage());
        QCOMPARE(page->topLevelItemCount(), 2);
        auto* first = static_cast<RecentProjectItem*>(page->topLevelItem(0));
        auto* second = static_cast<RecentProjectItem*>(page->topLevelItem(1));
        QCOMPARE(first->name, QStringLiteral("alpha"));
        QCOMPARE(second->name, QStringLiteral("beta"));
        QCOMPARE(page->currentItem(), second);
        QVERIFY(second->isSelected());
        QVERIFY(!first->exists);
        QVERIFY(second->exists);
        QCOMPARE(second->fileName, QStringLiteral("beta.vexa"));
        QCOMPARE(second->toolTip(0),
                 QStringLiteral("Name: beta\nFilename: beta.vexa\nDirectory: ") + path("b"));
        // Three lines tall.
        QVERIFY(page->visualItemRect(second).height() >= 3 * page->fontMetrics().height());
        page->grab(); // paints both kinds of entries

        // A single click selects, a double click on the missing one reports it.
        QWidget* vp = page->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, page->visualItemRect(first).center());
        QCOMPARE(page->currentItem(), first);
        QVERIFY(!project()->hasProject());
        {
            Boxes boxes;
            QTest::mouseDClick(vp, Qt::LeftButton, {}, page->visualItemRect(first).center());
            QCOMPARE(boxes.texts,
                     QStringList(QStringLiteral("Can't open project file:\n'%1'").arg(alpha)));
        }
        QVERIFY(!project()->hasProject());
        // The selection survives a restart.
        quit();
        QCOMPARE(Settings::read(QStringLiteral("/recentprojects/selected")), alpha);
        start();
        page = static_cast<RecentProjects*>(project()->recentPage());
        QCOMPARE(static_cast<RecentProjectItem*>(page->currentItem())->filePath, alpha);
        // Return loads the current entry.
        page->setCurrentItem(page->topLevelItem(1));
        page->setFocus();
        QTest::keyClick(page, Qt::Key_Return);
        QCOMPARE(project()->filePath(), beta);
        QCOMPARE(shell->leftDock()->visibleWidget(), tree());
    }
};

QTEST_MAIN(TestProject)
#include "tst_project.moc"
