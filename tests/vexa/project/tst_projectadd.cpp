// Growing a project on the real main window: adding files (copied in from
// other folders) and folders, the add-files dialog, and making a new project
// with its form. Dialogs are answered through the runner seams, message
// boxes through the responder and the copy's questions through its answerer.

#include "../shellfixture.h"
#include "../testeditor.h"
#include "projecttest.h"
#include "vexa/actions.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/project/addfilesdialog.h"
#include "vexa/project/newprojectwizard.h"
#include "vexa/project/project.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/widgets/domlistview.h"
#include "vexa/widgets/widgetstack.h"
#include "xqwidgets/xqfileoperator/fileoperator.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace vexa;
using namespace projecttest;
using xqwidgets::FileOperator;

namespace
{

// The element at a local name as text: tag and attributes in name order,
// without the tree's "open" marks.
QString elementAt(const QString& localName)
{
    QDomElement e =
        Project::self()->localName2node(localName).toElement().cloneNode(false).toElement();
    if (e.isNull())
        return QStringLiteral("none");
    e.removeAttribute(QStringLiteral("open"));
    return canonical(e).trimmed();
}

// The items of the add-files dialog, depth first, as "path" relative to the
// top item's folder ("/" for the top item), folders with a trailing "/".
QStringList listing(QTreeWidgetItem* item, const QString& top)
{
    auto* i = static_cast<AddFilesDialogItem*>(item);
    QStringList list(i->filePath.mid(top.size()) + (i->isDir ? QStringLiteral("/") : QString()));
    for (int c = 0; c < item->childCount(); ++c)
        list += listing(item->child(c), top);
    return list;
}

// Sets the answer of the next file dialog: the named files of `dir`.
void chooseFiles(const QString& dir, const QStringList& names, QStringList* filters = nullptr,
                 QString* shownDir = nullptr)
{
    Editors::setFileDialogRunner([=](QFileDialog& dlg) {
        Editors::setFileDialogRunner({});
        if (filters)
            *filters = dlg.nameFilters();
        if (shownDir)
            *shownDir = dlg.directory().absolutePath();
        if (names.isEmpty())
            return false;
        dlg.setDirectory(dir);
        dlg.selectFile(QLatin1Char('"') + names.join(QStringLiteral("\" \"")) + QLatin1Char('"'));
        return true;
    });
}

// Answers the next input dialog with `text`, or cancels it when `text` is null.
void answerInput(const QString& text, QStringList* items = nullptr)
{
    Message::setDialogRunner([=](QDialog& d) {
        Message::setDialogRunner({});
        auto& in = static_cast<QInputDialog&>(d);
        if (items)
            *items = in.comboBoxItems();
        if (text.isNull())
            return int(QDialog::Rejected);
        in.setTextValue(text);
        return int(QDialog::Accepted);
    });
}

// The local name of a chain of `levels` folders "d" below the project
// element; empty for none.
QString chain(int levels)
{
    return QStringLiteral("/d").repeated(levels);
}

} // namespace

class TestProjectAdd : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;
    QStringList questions;

    Project* project() { return Project::self(); }
    DomListView* tree() { return project()->domView(); }
    QString path(const QString& name) const { return QDir(dir->path()).filePath(name); }
    QString projectDir() const { return path(QStringLiteral("p")); }

    void openProject(const QByteArray& inner, const QString& file = QStringLiteral("p/p.vexa"))
    {
        writeFile(path(file), projectXml(inner));
        Boxes boxes;
        project()->load(path(file));
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        QVERIFY(project()->hasProject());
    }
    void setCurrent(const QString& localName)
    {
        DomListViewItem* item = itemOf(tree(), localName);
        QVERIFY2(item, qPrintable(localName));
        tree()->setCurrentItem(item);
    }
    // The copy's questions answered with a fixed answer, the question kinds recorded.
    void answerCopy(int answer)
    {
        FileOperator::self()->setAnswerer([this, answer](FileOperator::Question q, const QString&,
                                                         const QString&, const QString&) {
            questions.append(QString::number(q));
            return answer;
        });
    }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings(true);
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        questions.clear();
        QVERIFY(shellfixture::openShell(shell, shellfixture::TestEditors | shellfixture::Services |
                                                   shellfixture::Shown));
        answerCopy(FileOperator::Closed);
    }
    void cleanup()
    {
        Editors::setFileDialogRunner({});
        Message::setDialogRunner({});
        if (shell) {
            FileOperator::self()->setAnswerer({});
            FileOperator::self()->setIoHook({});
            QVERIFY(Editors::self()->closeAll());
            delete shell;
        }
        delete dir;
        dir = nullptr;
    }

    // ---------------------------------------------------------------- adding files

    // Files in the destination's own folder stay where they are; files of any
    // other folder are copied in; the elements stand under the destination.
    void addFilesCopiesOnlyFromOtherFolders()
    {
        openProject("  <folder name=\"src\"/>\n");
        QDir().mkpath(path("p/src"));
        writeFile(path("p/a.txt"), "in place");
        writeFile(path("out/b.txt"), "from outside");
        writeFile(path("p/c.txt"), "to src");
        QSignalSpy changed(project(), &Project::projectChanged);

        // On the project element, from its own folder: nothing copied, no url.
        setCurrent(QStringLiteral("/"));
        QStringList filters;
        QString shownDir;
        chooseFiles(projectDir(), {"a.txt"}, &filters, &shownDir);
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(shownDir, projectDir());
        QCOMPARE(filters.size(), 7);
        QCOMPARE(filters.first(), QStringLiteral("Any files (*)"));
        QCOMPARE(elementAt("/a.txt"), QStringLiteral("<text name=\"a.txt\" type=\"file\">"));
        QCOMPARE(changed.count(), 1);
        QVERIFY(questions.isEmpty());
        QCOMPARE(QDir(projectDir()).entryList(QDir::Files).size(), 3); // p.vexa, a.txt, c.txt

        // From elsewhere: copied into the project folder.
        chooseFiles(path("out"), {"b.txt"});
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(readFile(path("p/b.txt")), QByteArray("from outside"));
        QCOMPARE(elementAt("/b.txt"), QStringLiteral("<text name=\"b.txt\" type=\"file\">"));

        // On /src from the project folder: copied into src.
        setCurrent(QStringLiteral("/src"));
        chooseFiles(projectDir(), {"c.txt"}, nullptr, &shownDir);
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(shownDir, path("p/src"));
        QCOMPARE(readFile(path("p/src/c.txt")), QByteArray("to src"));
        QCOMPARE(readFile(path("p/c.txt")), QByteArray("to src"));
        QCOMPARE(elementAt("/src/c.txt"), QStringLiteral("<text name=\"c.txt\" type=\"file\">"));
        QVERIFY(itemOf(tree(), QStringLiteral("/src/c.txt")));
        QVERIFY(itemOf(tree(), QStringLiteral("/src"))->isExpanded());

        // A cancelled dialog adds nothing but opens the item and reports a change.
        changed.clear();
        const QString before = canonical(project()->domDocument());
        chooseFiles(projectDir(), {});
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(canonical(project()->domDocument()), before);
        QCOMPARE(changed.count(), 1);
    }

    // A destination whose folders are missing: made on disk and as nodes,
    // outer first. Files of two folders are each judged on their own.
    void missingDestinationAndTwoSourceFolders()
    {
        openProject("");
        writeFile(path("p/a/b/in.txt"), "already there");
        writeFile(path("out/x.cpp"), "x");
        project()->addFiles({path("out/x.cpp"), path("p/a/b/in.txt")}, QStringLiteral("a/b"));
        QVERIFY(QFileInfo(path("p/a/b")).isDir());
        QCOMPARE(project()->folders(), QStringList({"/", "/a", "/a/b"}));
        QCOMPARE(elementAt("/a/b/x.cpp"), QStringLiteral("<cpp name=\"x.cpp\" type=\"file\">"));
        QCOMPARE(elementAt("/a/b/in.txt"), QStringLiteral("<text name=\"in.txt\" type=\"file\">"));
        QCOMPARE(readFile(path("p/a/b/x.cpp")), QByteArray("x"));
        QCOMPARE(readFile(path("p/a/b/in.txt")), QByteArray("already there"));
        QVERIFY(questions.isEmpty());
    }

    void tags_data()
    {
        QTest::addColumn<QByteArray>("inner");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("element");
        QTest::newRow("new cpp") << QByteArray() << "a.cpp"
                                 << "<cpp name=\"a.cpp\" type=\"file\">";
        QTest::newRow("added twice")
            << QByteArray("  <cpp name=\"a.cpp\" type=\"file\" open=\"1\"/>\n") << "a.cpp"
            << "<cpp name=\"a.cpp\" type=\"file\">";
        QTest::newRow("hand-written file becomes cpp")
            << QByteArray("  <file name=\"a.c\" type=\"file\"/>\n") << "a.c"
            << "<cpp name=\"a.c\" type=\"file\">";
        QTest::newRow("endings are case-sensitive") << QByteArray() << "X.CPP"
                                                    << "<file name=\"X.CPP\" type=\"file\">";
        QTest::newRow("tgz") << QByteArray() << "x.tar.gz"
                             << "<tgz name=\"x.tar.gz\" type=\"file\">";
        QTest::newRow("folder type") << QByteArray() << "notes.directory"
                                     << "<folder name=\"notes.directory\" type=\"file\">";
        QTest::newRow("project type") << QByteArray() << "other.vexa"
                                      << "<project name=\"other.vexa\" type=\"file\">";
        QTest::newRow("form") << QByteArray() << "main.ui"
                              << "<uifile container=\"1\" name=\"main.ui\" type=\"file\">";
        QTest::newRow("container dropped")
            << QByteArray("  <uifile name=\"f.txt\" type=\"file\" container=\"1\"/>\n") << "f.txt"
            << "<text name=\"f.txt\" type=\"file\">";
    }
    void tags()
    {
        QFETCH(QByteArray, inner);
        QFETCH(QString, name);
        QFETCH(QString, element);
        openProject(inner);
        writeFile(path("p/") + name, "x");
        project()->addFiles({path("p/") + name});
        QCOMPARE(elementAt("/" + name), element);
        QCOMPARE(project()->localNames().count(QLatin1Char('/') + name), 1);
        QVERIFY(itemOf(tree(), QLatin1Char('/') + name));
    }

    // Files added to a form go under its element with a url; the form's mask
    // is offered once, first.
    void formsTakeFilesWithAUrl()
    {
        openProject("  <folder name=\"src\"/>\n");
        writeFile(path("p/src/main.ui"), "<ui/>");
        writeFile(path("out/main_ui.py"), "py");
        project()->addFiles({path("p/src/main.ui")}, QStringLiteral("/src"));
        QCOMPARE(elementAt("/src/main.ui"),
                 QStringLiteral("<uifile container=\"1\" name=\"main.ui\" type=\"file\">"));

        setCurrent(QStringLiteral("/src/main.ui"));
        QStringList filters;
        QString shownDir;
        chooseFiles(path("out"), {"main_ui.py"}, &filters, &shownDir);
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(filters.size(), 8);
        QCOMPARE(filters.first(), QStringLiteral("Form mask (main*.py)"));
        QCOMPARE(filters.filter(QStringLiteral("Form mask")).size(), 1);
        QCOMPARE(shownDir, path("p/src"));
        const QDomElement child =
            project()->localName2node(QStringLiteral("/src/main.ui/main_ui.py")).toElement();
        QCOMPARE(child.tagName(), QStringLiteral("pyfile"));
        QCOMPARE(child.attribute(QStringLiteral("url")), QStringLiteral("/src/main_ui.py"));
        QCOMPARE(project()->node2filePath(child), path("p/src/main_ui.py"));
        QCOMPARE(readFile(path("p/src/main_ui.py")), QByteArray("py"));

        // The next dialog, on a folder, has the plain filters again.
        setCurrent(QStringLiteral("/src"));
        chooseFiles(path("out"), {}, &filters);
        Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        QCOMPARE(filters.size(), 7);
        QCOMPARE(filters.first(), QStringLiteral("Any files (*)"));
        // A form's context menu stays the file menu.
        ActionGroup* formMenu = tree()->actionGroup(QStringLiteral("uifile"));
        QVERIFY(formMenu);
        QVERIFY(
            !formMenu->actions().contains(Actions::action(QStringLiteral("Project/addfilesto"))));
        QVERIFY(tree()
                    ->actionGroup(QStringLiteral("folder"))
                    ->actions()
                    .contains(Actions::action(QStringLiteral("Project/addfilesto"))));
    }

    // An existing target is asked about and Skip keeps it; a source that
    // cannot be read gets no element and is named in one message.
    void copyConflictsAndFailures()
    {
        openProject("");
        writeFile(path("p/a.txt"), "old");
        writeFile(path("out/a.txt"), "new");
        writeFile(path("out/bad.txt"), "unreadable");
        writeFile(path("out/good.txt"), "good");
        answerCopy(0); // Skip; for a failed read Skip, then delete the partial file
        const QByteArray bad = QFile::encodeName(path("out/bad.txt"));
        FileOperator::self()->setIoHook(
            [bad](FileOperator::IoStep step, const QByteArray& p, qint64) {
                return step == FileOperator::ReadStep && p == bad ? EIO : 0;
            });
        Boxes boxes;
        project()->addFiles({path("out/a.txt"), path("out/bad.txt"), path("out/good.txt")});
        QVERIFY(questions.contains(QString::number(FileOperator::OverwriteQuestion)));
        QCOMPARE(readFile(path("p/a.txt")), QByteArray("old"));
        QCOMPARE(readFile(path("p/good.txt")), QByteArray("good"));
        QVERIFY(!QFileInfo::exists(path("p/bad.txt")));
        QCOMPARE(project()->localNames(), QStringList({"/a.txt", "/good.txt"}));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts.first().contains(path("out/bad.txt")));
        QVERIFY(!boxes.texts.first().contains(path("out/good.txt")));
    }

    // A project opened through a linked folder copies nothing onto itself.
    void linkedProjectFolderCopiesNothingOntoItself()
    {
        writeFile(path("p/x.txt"), "keep me");
        QVERIFY(QFile::link(projectDir(), path("link")));
        openProject("", QStringLiteral("link/p.vexa"));
        QCOMPARE(project()->dirPath(), path("link"));
        project()->addFiles({path("p/x.txt")});
        QVERIFY(questions.isEmpty());
        QCOMPARE(readFile(path("p/x.txt")), QByteArray("keep me"));
        QCOMPARE(elementAt("/x.txt"), QStringLiteral("<text name=\"x.txt\" type=\"file\">"));
    }

    // A project in "/": paths get no doubled separator. Only folders that
    // exist already are named, so nothing is written to "/".
    void projectInTheRootFolder()
    {
        openProject("");
        struct Restore {
            QString path;
            ~Restore() { Project::self()->setFilePath(path); }
        } restore{project()->filePath()};
        project()->setFilePath(QStringLiteral("/p.vexa"));
        writeFile(path("in/x.txt"), "x");
        Boxes boxes;
        project()->addFiles({path("in/x.txt")}, path("in"));
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(questions.isEmpty());
        QCOMPARE(project()->filePaths(QString()), QStringList(path("in/x.txt")));
        QCOMPARE(project()->diskPath(project()->localName2node(path("in/x.txt"))),
                 path("in/x.txt"));
        QCOMPARE(readFile(path("in/x.txt")), QByteArray("x"));
    }

    // ---------------------------------------------------------------- folders

    void newFolder_data()
    {
        QTest::addColumn<QString>("text"); // null: Cancel
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("message");
        const QStringList none{"/", "/src"};
        QTest::newRow("chain") << "x/y" << QStringList({"/", "/src", "/src/x", "/src/x/y"})
                               << QString();
        QTest::newRow("leading separator")
            << "/x" << QStringList({"/", "/src", "/src/x"}) << QString();
        QTest::newRow("newline in a name")
            << "a\nb" << QStringList({"/", "/src", "/src/a\nb"}) << QString();
        QTest::newRow("empty") << "" << none << QString();
        QTest::newRow("cancel") << QString() << none << QString();
        for (const char* bad : {"..", "../evil", "a/../../b", "a/../b", "./x"})
            QTest::newRow(bad) << bad << none << "may not be";
        QTest::newRow("a file in its place") << "file" << none << "Can't create directory '";
    }
    void newFolder()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, folders);
        QFETCH(QString, message);
        openProject("  <folder name=\"src\"/>\n");
        writeFile(path("p/src/file"), "a file");
        QSignalSpy changed(project(), &Project::projectChanged);
        setCurrent(QStringLiteral("/src"));
        answerInput(text);
        Boxes boxes;
        Actions::action(QStringLiteral("Project/addfolderto"))->trigger();
        QCOMPARE(project()->folders(), folders);
        for (const QString& f : folders)
            QVERIFY2(QFileInfo(path("p") + f).isDir(), qPrintable(f));
        QCOMPARE(boxes.texts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(boxes.texts.first().contains(message), qPrintable(boxes.texts.first()));
        // Nothing is ever made beside the project folder.
        QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList("p"));
        QCOMPARE(changed.count(), folders.size() > 2 ? 1 : 0);
        QCOMPARE(readFile(path("p/src/file")), QByteArray("a file"));
    }

    // "Add folder" offers the folders; an existing one makes nothing, a new
    // one its folder and node, without a change signal.
    void addFolderAtATypedPath()
    {
        openProject("  <folder name=\"src\"/>\n");
        QDir().mkpath(path("p/src"));
        QSignalSpy changed(project(), &Project::projectChanged);
        QStringList items;
        answerInput(QStringLiteral("/"), &items);
        Actions::action(QStringLiteral("Project/addfolder"))->trigger();
        QCOMPARE(items, QStringList({"/", "/src"}));
        QCOMPARE(project()->folders(), QStringList({"/", "/src"}));
        answerInput(QStringLiteral("src/n"));
        Actions::action(QStringLiteral("Project/addfolder"))->trigger();
        QCOMPARE(project()->folders(), QStringList({"/", "/src", "/src/n"}));
        QVERIFY(QFileInfo(path("p/src/n")).isDir());
        QVERIFY(itemOf(tree(), QStringLiteral("/src/n")));
        QCOMPARE(changed.count(), 0);
        Boxes boxes;
        project()->addFolder(QStringLiteral("/../out"));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(!QFileInfo::exists(path("out")));
    }

    // ---------------------------------------------------------------- the add-files dialog

    void addFilesDialogListsWhatIsNotInTheProject()
    {
        openProject("  <text name=\"in.txt\" type=\"file\"/>\n"
                    "  <folder name=\"cVs\"><text name=\"known.txt\" type=\"file\" "
                    "url=\"//cVs/known.txt\"/></folder>\n");
        for (const char* f : {"p/in.txt", "p/a.txt", "p/B.txt", "p/.hidden", "p/.hdir/h.txt",
                              "p/CVS/c1", "p/Cvs/c2", "p/cvs/c3", "p/cVs/known.txt", "p/src/CVS",
                              "p/src/deep/d.cpp", "p/other.vexa"})
            writeFile(path(f), "x");
        QDir().mkpath(path("p/empty"));
        QStringList shown;
        bool allOpen = true;
        Message::setDialogRunner([&](QDialog& d) {
            auto& dlg = static_cast<AddFilesDialog&>(d);
            QTreeWidgetItem* top = dlg.listViewFiles->topLevelItem(0);
            shown = listing(top, projectDir());
            shown.first() = top->text(0);
            for (QTreeWidgetItemIterator it(dlg.listViewFiles); *it; ++it)
                allOpen = allOpen && (!(*it)->childCount() || (*it)->isExpanded());
            return int(QDialog::Rejected);
        });
        Actions::action(QStringLiteral("Project/addfiles"))->trigger();
        // A url spelled with a doubled separator is still the project's file.
        QCOMPARE(shown,
                 QStringList({"P", "/cVs/", "/empty/", "/src/", "/src/deep/", "/src/deep/d.cpp",
                              "/src/CVS", "/B.txt", "/a.txt", "/other.vexa"}));
        QVERIFY(allOpen);
    }

    void addFilesDialogAddsTheChosenFiles()
    {
        openProject("");
        for (const char* f : {"p/a.txt", "p/sub/b.cpp", "p/sub/deeper/c.h", "p/z.txt"})
            writeFile(path(f), "x");
        QVERIFY(QFile::link(QStringLiteral(".."), path("p/sub/loop")));

        // A folder alone gives nothing; Clear after Select All nothing either.
        QStringList added;
        Message::setDialogRunner([&](QDialog& d) {
            auto& dlg = static_cast<AddFilesDialog&>(d);
            QTest::mouseClick(dlg.buttonSelectAll, Qt::LeftButton);
            QTest::mouseClick(dlg.buttonClearSelection, Qt::LeftButton);
            dlg.listViewFiles->topLevelItem(0)->child(0)->setSelected(true);
            dlg.resize(520, 410);
            QTest::mouseClick(dlg.buttonOk, Qt::LeftButton);
            added = dlg.addedFilePaths;
            return dlg.result();
        });
        Actions::action(QStringLiteral("Project/addfiles"))->trigger();
        QVERIFY(added.isEmpty());
        QVERIFY(project()->localNames().isEmpty());
        QCOMPARE(Settings::readNum(QStringLiteral("/project/addfiles/width")), 520);

        // Select All: every file once, depth first, then added with a url.
        shell->leftDock()->raiseWidget(project()->recentPage());
        QSize shownSize;
        Message::setDialogRunner([&](QDialog& d) {
            auto& dlg = static_cast<AddFilesDialog&>(d);
            shownSize = dlg.size();
            dlg.show();
            QTest::mouseClick(dlg.buttonSelectAll, Qt::LeftButton);
            QTest::keyClick(&dlg, Qt::Key_Return);
            added = dlg.addedFilePaths;
            return dlg.result();
        });
        Actions::action(QStringLiteral("Project/addfiles"))->trigger();
        QCOMPARE(shownSize, QSize(520, 410));
        QCOMPARE(added, QStringList({path("p/sub/deeper/c.h"), path("p/sub/b.cpp"), path("p/a.txt"),
                                     path("p/z.txt")}));
        QCOMPARE(project()->localNames(),
                 QStringList({"/sub/deeper/c.h", "/sub/b.cpp", "/a.txt", "/z.txt"}));
        QCOMPARE(elementAt("/sub/deeper/c.h"),
                 QStringLiteral("<hpp name=\"c.h\" type=\"file\" url=\"/sub/deeper/c.h\">"));
        QCOMPARE(elementAt("/a.txt"),
                 QStringLiteral("<text name=\"a.txt\" type=\"file\" url=\"/a.txt\">"));
        QVERIFY(itemOf(tree(), QStringLiteral("/sub/deeper/c.h")));
        QCOMPARE(shell->leftDock()->visibleWidget(), tree());
        QVERIFY(questions.isEmpty());

        // Now every file is in the project: only the folders are listed.
        Message::setDialogRunner([&](QDialog& d) {
            auto& dlg = static_cast<AddFilesDialog&>(d);
            added = listing(dlg.listViewFiles->topLevelItem(0), projectDir());
            return int(QDialog::Rejected);
        });
        Actions::action(QStringLiteral("Project/addfiles"))->trigger();
        QCOMPARE(added, QStringList({"/", "/sub/", "/sub/deeper/"}));
    }

    // ---------------------------------------------------------------- depth

    // Every way of adding nodes keeps the project within the nesting the
    // loader takes: what would pass it is refused with a message before
    // anything is made on disk, and the saved project loads again. The
    // project holds a chain of `levels` folders "d"; a folder right in the
    // project is at level 1 and the deepest the loader takes is level 254.
    void additionsStayLoadable_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("levels");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<bool>("message");
        const auto under = [](int levels, const char* name) {
            return QStringList(chain(levels) + QLatin1Char('/') + QLatin1String(name));
        };
        QTest::newRow("new folder below the last level")
            << "new folder" << 253 << "n" << under(253, "n") << QStringList() << false;
        QTest::newRow("new folder at the last level")
            << "new folder" << 254 << "n" << QStringList() << under(254, "n") << true;
        QTest::newRow("new folders passing the last level")
            << "new folder" << 252 << "a/b/c" << QStringList() << under(252, "a") << true;
        QTest::newRow("typed folder path too deep")
            << "add folder" << 0 << chain(255) << QStringList() << QStringList("/d") << true;
        QTest::newRow("files below the last level")
            << "add files" << 253 << "x.txt" << under(253, "x.txt") << QStringList() << false;
        QTest::newRow("files at the last level")
            << "add files" << 254 << "x.txt" << QStringList() << under(254, "x.txt") << true;
        QTest::newRow("files into a form at the last level")
            << "add files to a form" << 253 << "x.txt" << QStringList()
            << under(253, "main.ui/x.txt") << true;
        QTest::newRow("a deep folder tree in the add-files dialog")
            << "add files dialog" << 0 << "f.txt" << under(253, "f.txt") << under(254, "f.txt")
            << true;
    }
    void additionsStayLoadable()
    {
        QFETCH(QString, how);
        QFETCH(int, levels);
        QFETCH(QString, text);
        QFETCH(QStringList, added);
        QFETCH(QStringList, refused);
        QFETCH(bool, message);
        const QByteArray form =
            how == QLatin1String("add files to a form")
                ? QByteArray("<uifile name=\"main.ui\" type=\"file\" container=\"1\"/>")
                : QByteArray();
        openProject(QByteArray("<folder name=\"d\">").repeated(levels) + form +
                    QByteArray("</folder>").repeated(levels));
        const QString deepest = projectDir() + chain(levels);
        QVERIFY(QDir().mkpath(deepest));
        writeFile(path("in/x.txt"), "x");
        const QStringList onDisk = QDir(deepest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        Boxes boxes;
        int chosen = 0;
        if (how == QLatin1String("new folder")) {
            setCurrent(chain(levels));
            answerInput(text);
            Actions::action(QStringLiteral("Project/addfolderto"))->trigger();
        } else if (how == QLatin1String("add folder")) {
            answerInput(text);
            Actions::action(QStringLiteral("Project/addfolder"))->trigger();
        } else if (how == QLatin1String("add files dialog")) {
            // Two levels more than the project can hold, a file at each.
            for (int k = 0; k < 256; ++k)
                writeFile(projectDir() + chain(k) + QLatin1Char('/') + text, "f");
            Message::setDialogRunner([&](QDialog& d) {
                auto& dlg = static_cast<AddFilesDialog&>(d);
                QTest::mouseClick(dlg.buttonSelectAll, Qt::LeftButton);
                QTest::mouseClick(dlg.buttonOk, Qt::LeftButton);
                chosen = int(dlg.addedFilePaths.size());
                return dlg.result();
            });
            Actions::action(QStringLiteral("Project/addfiles"))->trigger();
            QVERIFY2(chosen > 254, qPrintable(QString::number(chosen)));
        } else {
            setCurrent(chain(levels) + (form.isEmpty() ? QString() : QStringLiteral("/main.ui")));
            chooseFiles(path("in"), {text});
            Actions::action(QStringLiteral("Project/addfilesto"))->trigger();
        }

        for (const QString& name : added)
            QVERIFY2(!project()->localName2node(name).isNull(), qPrintable(name));
        for (const QString& name : refused)
            QVERIFY2(project()->localName2node(name).isNull(), qPrintable(name));
        QCOMPARE(boxes.texts.size(), message ? 1 : 0);
        if (message) {
            QVERIFY2(boxes.texts.first().contains(
                         QLatin1String("nested deeper than 254 levels cannot be added")),
                     qPrintable(boxes.texts.first()));
            // Nothing was made or copied for what was refused.
            if (how != QLatin1String("add files dialog"))
                QCOMPARE(QDir(deepest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), onDisk);
        }
        if (chosen) {
            // Every file that fits is in, each of the others is counted.
            QCOMPARE(project()->localNames().size(), 254);
            QVERIFY2(boxes.texts.first().contains(
                         QStringLiteral("%1 of the chosen files were not").arg(chosen - 254)),
                     qPrintable(boxes.texts.first()));
        }

        // The saved project loads again, with what was added.
        const QString file = project()->filePath();
        QVERIFY(project()->save());
        boxes.texts.clear();
        project()->load(file);
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        QCOMPARE(project()->filePath(), file);
        for (const QString& name : added)
            QVERIFY2(!project()->localName2node(name).isNull(), qPrintable(name));
    }

    // ---------------------------------------------------------------- a new project

    void wizardSuggestions()
    {
        const QString projects = QDir::homePath() + QStringLiteral("/projects/");
        NewProjectWizard w(shell);
        w.show();
        QVERIFY(!w.buttonOk->isEnabled());
        QTest::keyClicks(w.lineName, QStringLiteral("My Project"));
        QCOMPARE(w.lineDirectory->text(), projects + QStringLiteral("my_project/"));
        QCOMPARE(w.lineFileName->text(), QStringLiteral("my_project.vexa"));
        QCOMPARE(w.lineName->text(), QStringLiteral("My Project"));
        QVERIFY(w.buttonOk->isEnabled());
        w.lineName->setText(QStringLiteral("a\t  b"));
        QCOMPARE(w.lineFileName->text(), QStringLiteral("a___b.vexa"));
        // Clearing the name.
        w.lineName->clear();
        QCOMPARE(w.lineDirectory->text(), projects + QStringLiteral("/"));
        QCOMPARE(w.lineFileName->text(), QStringLiteral(".vexa"));
        QVERIFY(!w.buttonOk->isEnabled());
        // A lone blank counts.
        QTest::keyClick(w.lineName, Qt::Key_Space);
        QVERIFY(w.buttonOk->isEnabled());
        w.lineFileName->clear();
        QVERIFY(!w.buttonOk->isEnabled());
        w.lineFileName->setText(QStringLiteral(" "));
        QVERIFY(w.buttonOk->isEnabled());

        // An edited folder stops following; the file name still follows.
        NewProjectWizard v(shell);
        v.show();
        QTest::keyClicks(v.lineName, QStringLiteral("ab"));
        QTest::keyClick(v.lineDirectory, Qt::Key_Backspace);
        QTest::keyClicks(v.lineName, QStringLiteral("c"));
        QCOMPARE(v.lineDirectory->text(), projects + QStringLiteral("ab"));
        QCOMPARE(v.lineFileName->text(), QStringLiteral("abc.vexa"));
        // An edited file name stops both.
        QTest::keyClicks(v.lineFileName, QStringLiteral("x"));
        QTest::keyClicks(v.lineName, QStringLiteral("d"));
        QCOMPARE(v.lineFileName->text(), QStringLiteral("abc.vexax"));
        QCOMPARE(v.lineDirectory->text(), projects + QStringLiteral("ab"));

        // A chosen folder; a stored projects folder without its separator.
        Settings::write(QStringLiteral("/project/projectsDir"), path("store"));
        QDir().mkpath(path("store"));
        NewProjectWizard u(shell);
        u.show();
        QTest::keyClicks(u.lineName, QStringLiteral("N"));
        QCOMPARE(u.lineDirectory->text(), path("store") + QStringLiteral("/n/"));
        QString shownDir;
        chooseFiles(QString(), {}, nullptr, &shownDir);
        QTest::mouseClick(u.selectDirectoryButton, Qt::LeftButton);
        QCOMPARE(QDir::cleanPath(shownDir), path("store"));
        Editors::setFileDialogRunner([this](QFileDialog& dlg) {
            Editors::setFileDialogRunner({});
            dlg.selectFile(path("chosen"));
            return true;
        });
        QDir().mkpath(path("chosen"));
        QTest::mouseClick(u.selectDirectoryButton, Qt::LeftButton);
        QCOMPARE(u.lineDirectory->text(), path("chosen"));
        QTest::keyClicks(u.lineName, QStringLiteral("M"));
        QCOMPARE(u.lineDirectory->text(), path("chosen"));
        QCOMPARE(u.lineFileName->text(), QStringLiteral("nm.vexa"));
    }

    void create_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("example") << "My Project" << QByteArray("My Project");
        QTest::newRow("markup") << "A & <B> \"C\" 'd'"
                                << QByteArray("A &amp; &lt;B> &quot;C&quot; 'd'");
    }
    void create()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, escaped);
        const QString folder = path("new/proj/");
        Message::setDialogRunner([&](QDialog& d) {
            auto& w = static_cast<NewProjectWizard&>(d);
            w.show();
            w.lineName->setText(name);
            w.lineDirectory->setText(folder);
            w.lineFileName->setText(QStringLiteral("my.vexa"));
            w.textEditDescription->setPlainText(QStringLiteral("<b>Sample</b>"));
            QTest::mouseClick(w.buttonOk, Qt::LeftButton);
            return w.result();
        });
        QSignalSpy loaded(project(), &Project::loaded);
        Boxes boxes;
        Actions::action(QStringLiteral("Project/create"))->trigger();
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
        const QString file = path("new/proj/my.vexa");
        QCOMPARE(project()->filePath(), file);
        QCOMPARE(loaded.count(), 1);
        // The file as creation leaves it: no "open" mark, no description yet.
        const QByteArray written = readFile(file);
        QCOMPARE(canonicalXml(written),
                 canonicalXml("<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                              "name=\"" +
                              escaped + "\"/>\n</vexaproject>\n"));
        QVERIFY(written.startsWith("<!DOCTYPE vexaproject>\n<vexaproject>\n <project "));
        QCOMPARE(project()->attribute(QStringLiteral("name")), name);
        // The description is plain text and reaches the file with the next save.
        QVERIFY(project()->save());
        QCOMPARE(canonicalXml(readFile(file)),
                 canonicalXml("<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" "
                              "open=\"1\" name=\"" +
                              escaped +
                              "\">\n  <description>&lt;b>Sample"
                              "&lt;/b></description>\n </project>\n</vexaproject>\n"));
    }

    // A file of the new name is replaced only on Yes; No and the failures
    // leave the open project open.
    void createChecksBeforeClosing_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("message");
        QTest::newRow("existing file, No") << "p"
                                           << "old.vexa"
                                           << "Replace it?";
        QTest::newRow("folder cannot be made") << "p/old.vexa/sub"
                                               << "n.vexa"
                                               << "Can't create directory: '%1/p/old.vexa/sub'";
        QTest::newRow("file cannot be opened")
            << "p"
            << "missing/n.vexa"
            << "Can't open file:\n'%1/p/missing/n.vexa' for writing.";
        QTest::newRow("a folder in the file's place") << "p"
                                                      << "dir.vexa"
                                                      << "Replace it?";
    }
    void createChecksBeforeClosing()
    {
        QFETCH(QString, directory);
        QFETCH(QString, fileName);
        QFETCH(QString, message);
        openProject("  <folder name=\"src\"/>\n");
        writeFile(path("p/old.vexa"), "precious bytes");
        QDir().mkpath(path("p/dir.vexa"));
        const QByteArray before = readFile(path("p/p.vexa"));
        Message::setDialogRunner([&](QDialog& d) {
            auto& w = static_cast<NewProjectWizard&>(d);
            w.lineName->setText(QStringLiteral("N"));
            w.lineDirectory->setText(path(directory));
            w.lineFileName->setText(fileName);
            return int(QDialog::Accepted);
        });
        Boxes boxes;
        boxes.answers = {QMessageBox::No};
        Actions::action(QStringLiteral("Project/create"))->trigger();
        QVERIFY(!boxes.texts.isEmpty());
        if (message.contains(QLatin1String("%1")))
            message = message.arg(dir->path());
        QVERIFY2(boxes.texts.first().contains(message), qPrintable(boxes.texts.first()));
        QCOMPARE(project()->filePath(), path("p/p.vexa"));
        QCOMPARE(project()->folders(), QStringList({"/", "/src"}));
        QCOMPARE(readFile(path("p/old.vexa")), QByteArray("precious bytes"));
        QCOMPARE(readFile(path("p/p.vexa")), before);
        QVERIFY(!QFileInfo::exists(path("p/missing")));
    }

    // A failed save stops creation: of the open project (its close keeps it
    // open by default), or of the new file (nothing is left of it).
    void createStopsAtAFailedSave()
    {
        openProject("  <folder name=\"src\"/>\n");
        auto answer = [this](QDialog& d) {
            auto& w = static_cast<NewProjectWizard&>(d);
            w.lineName->setText(QStringLiteral("N"));
            w.lineDirectory->setText(path("new"));
            w.lineFileName->setText(QStringLiteral("n.vexa"));
            w.textEditDescription->setPlainText(QStringLiteral("lost?"));
            return int(QDialog::Accepted);
        };
        QVERIFY(QFile::remove(path("p/p.vexa")));
        QVERIFY(QDir().mkdir(path("p/p.vexa")));
        Message::setDialogRunner(answer);
        {
            Boxes boxes;
            Actions::action(QStringLiteral("Project/create"))->trigger();
            QCOMPARE(boxes.texts.size(), 2);
            QVERIFY(boxes.texts.at(1).contains(QStringLiteral("could not be saved")));
        }
        QCOMPARE(project()->filePath(), path("p/p.vexa"));
        QCOMPARE(project()->folders(), QStringList({"/", "/src"}));
        QVERIFY(!QFileInfo::exists(path("new/n.vexa")));

        // Closed without saving, then the new file cannot be written.
        QVERIFY(QDir().rmdir(path("p/p.vexa")));
        QVERIFY(project()->close());
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
        QSignalSpy changed(project(), &Project::projectChanged);
        Boxes boxes;
        Actions::action(QStringLiteral("Project/create"))->trigger();
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().startsWith(QStringLiteral("Can't write file:")),
                 qPrintable(boxes.texts.first()));
        QVERIFY(!project()->hasProject());
        QCOMPARE(changed.count(), 0);
        QVERIFY(!QFileInfo::exists(path("new/n.vexa")));
    }

    void cancelledCreationChangesNothing()
    {
        openProject("");
        Message::setDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
        QSignalSpy closed(project(), &Project::closed);
        Actions::action(QStringLiteral("Project/create"))->trigger();
        QCOMPARE(closed.count(), 0);
        QCOMPARE(project()->filePath(), path("p/p.vexa"));
    }

    // Yes replaces the file, also the open project's own, which is closed
    // (saved) first.
    void replacingAnExistingProjectFile()
    {
        openProject("  <folder name=\"src\"/>\n");
        Message::setDialogRunner([&](QDialog& d) {
            auto& w = static_cast<NewProjectWizard&>(d);
            w.lineName->setText(QStringLiteral("Fresh"));
            w.lineDirectory->setText(projectDir());
            w.lineFileName->setText(QStringLiteral("p.vexa"));
            return int(QDialog::Accepted);
        });
        Boxes boxes;
        boxes.answers = {QMessageBox::Yes};
        Actions::action(QStringLiteral("Project/create"))->trigger();
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(project()->filePath(), path("p/p.vexa"));
        QCOMPARE(project()->attribute(QStringLiteral("name")), QStringLiteral("Fresh"));
        QCOMPARE(project()->folders(), QStringList("/"));
    }
};

QTEST_MAIN(TestProjectAdd)
#include "tst_projectadd.moc"
