// The list of open editors beside the real editor manager: its rows follow
// opens, closes and the current editor, and choosing a row, by mouse or by
// keys, makes that row's editor current.

#include "../shellfixture.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/editors/editorslist.h"
#include "vexa/filetype.h"
#include "vexa/message.h"
#include "vexa/settings.h"
#include "vexa/shell.h"

#include <QAbstractButton>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;

class TestEditorsList : public QObject
{
    Q_OBJECT
private:
    QPointer<Shell> shell;
    QTemporaryDir* dir = nullptr;
    EditorsList* list = nullptr;

    Editors* ed() { return Editors::self(); }
    QListWidget* box() { return list->listBox(); }
    QString path(const QString& name) { return QDir(dir->path()).filePath(name); }
    QString file(const QString& name)
    {
        const QString p = path(name);
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write("text\n");
        return p;
    }
    QStringList rows()
    {
        QStringList t;
        for (int i = 0; i < box()->count(); ++i)
            t.append(box()->item(i)->text());
        return t;
    }
    // The row of the current editor, checked against the row's own editor.
    int currentRow()
    {
        auto* item = static_cast<EditorsListItem*>(box()->currentItem());
        if (item && item->editor != ed()->current())
            return -2;
        return box()->currentRow();
    }
    QImage rowIcon(int row) { return box()->item(row)->icon().pixmap(16, 16).toImage(); }

private Q_SLOTS:
    void initTestCase() { shellfixture::useAppSettings(); }
    void init()
    {
        shellfixture::clearSettings();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        shell = new Shell(nullptr, "vexa::Shell");
        startServices(shell);
        list = new EditorsList(shell, "editorsList");
        list->show();
        shell->show();
        QVERIFY(QTest::qWaitForWindowExposed(shell));
    }
    void cleanup()
    {
        Message::setResponder({});
        delete shell;
        delete dir;
    }

    void rowsFollowOpensClosesAndTheCurrentEditor()
    {
        // The untitled editor: "Untitled" with the fallback type's icon.
        QCOMPARE(rows(), QStringList({"Untitled"}));
        QCOMPARE(currentRow(), 0);
        QCOMPARE(rowIcon(0), QIcon(FileTypeManager::self()->findType("Untitled")->pixmap())
                                 .pixmap(16, 16)
                                 .toImage());

        QVERIFY(ed()->open(file("a.py")));
        QVERIFY(ed()->open(file("src/a/main.cpp")));
        QVERIFY(ed()->open(file("src/b/main.cpp")));
        QCOMPARE(rows(), QStringList({"a.py", "main.cpp", "main.cpp"}));
        QCOMPARE(currentRow(), 2);
        // Same base name, same type, same icon; another type, another icon.
        QCOMPARE(rowIcon(1), rowIcon(2));
        QVERIFY(rowIcon(0) != rowIcon(1));

        ed()->setCurrentEditor(ed()->editors().at(0));
        QCOMPARE(currentRow(), 0);
        ed()->nextEditor();
        QCOMPARE(currentRow(), 1);

        // Closing the current editor: the row goes and the new current one is marked.
        ed()->close();
        QCOMPARE(rows(), QStringList({"a.py", "main.cpp"}));
        QCOMPARE(box()->item(1)->text(), QStringLiteral("main.cpp"));
        QCOMPARE(static_cast<EditorsListItem*>(box()->item(1))->editor->filename(),
                 path("src/b/main.cpp"));
        QVERIFY(currentRow() >= 0);

        // After the last editor: no rows, no current row.
        QVERIFY(ed()->closeAll());
        QCOMPARE(rows(), QStringList());
        QCOMPARE(box()->currentRow(), -1);
    }

    void choosingARowMakesItsEditorCurrent()
    {
        QVERIFY(ed()->open(file("a.txt")));
        QVERIFY(ed()->open(file("b.txt")));
        QVERIFY(ed()->open(file("c.txt")));
        const QList<Editor*> editors = ed()->editors();
        QSignalSpy changed(ed(), &Editors::currentChanged);

        // A click on a row.
        const QRect r = box()->visualItemRect(box()->item(0));
        QTest::mouseClick(box()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(ed()->current(), editors.at(0));
        QCOMPARE(changed.size(), 1);

        // Each step of the keyboard switches the editor.
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Down);
        QCOMPARE(ed()->current(), editors.at(1));
        QTest::keyClick(box(), Qt::Key_Down);
        QCOMPARE(ed()->current(), editors.at(2));
        QCOMPARE(changed.size(), 3);

        // The row of the current editor changes nothing.
        const QRect c = box()->visualItemRect(box()->item(2));
        QTest::mouseClick(box()->viewport(), Qt::LeftButton, {}, c.center());
        QCOMPARE(changed.size(), 3);

        // A rebuild keeps the current editor's row and switches nothing.
        Q_EMIT ed()->listChanged();
        QCOMPARE(currentRow(), 2);
        QCOMPARE(changed.size(), 3);
    }
};

QTEST_MAIN(TestEditorsList)
#include "tst_editorslist.moc"
