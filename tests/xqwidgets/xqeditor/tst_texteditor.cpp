// The editor frame as a host uses it: files through an encoding, failures
// that keep the old state, clipboard and undo forwards, change signals and
// the life of frames and documents.

#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace xqwidgets;

namespace
{

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestTextEditor : public QObject
{
    Q_OBJECT

    TextEditorManager* m = nullptr;
    TextEditor* e = nullptr;
    QTemporaryDir* dir = nullptr;

    TextDocument* doc() const { return e->document(); }
    QString path(const char* name) const { return dir->filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase() { m = new TextEditorManager; }
    void cleanupTestCase() { delete m; }

    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        e = m->createEditor(nullptr, nullptr);
        e->resize(400, 200);
    }

    void cleanup()
    {
        delete e;
        e = nullptr;
        delete dir;
        dir = nullptr;
    }

    // The host sets the file name after opening (its tab, its caption):
    // the definition opening chose stays, so the text is not coloured a
    // second time with a fresh copy of it; another name's definition
    // still replaces it.
    void fileNameKeepsTheSameDefinition()
    {
        const QString p = path("a.cpp");
        writeFile(p, "int a; /* x\n*/ int b;\n");
        QVERIFY(e->open(p));
        const TextHighlight* opened = e->view()->highlight();
        e->setFilePath(p);
        QCOMPARE(e->view()->highlight(), opened);
        e->setFilePath(path("a.py"));
        QCOMPARE(e->highlight(), QStringLiteral("Python"));
        QVERIFY(e->view()->highlight() != opened);
    }

    void openAndSave()
    {
        const QString p = path("a.cpp");
        writeFile(p, "int a;\nint b;\n");
        QSignalSpy pathChanges(e, &TextEditor::filePathChange);
        QVERIFY(e->open(p));
        QCOMPARE(e->text(), QStringLiteral("int a;\nint b;"));
        QCOMPARE(e->filePath(), p);
        QCOMPARE(e->highlight(), QStringLiteral("C++"));
        QCOMPARE(pathChanges.count(), 1);
        QVERIFY(!e->isModified());
        QVERIFY(!e->isReadOnly());
        QVERIFY(!e->hasInvalidBytes());

        // Not modified: nothing is written. The frame knows the file was
        // changed by someone else; asking is its host's business.
        QVERIFY(!e->changedOnDisk());
        writeFile(p, "changed behind our back\n");
        QVERIFY(e->changedOnDisk());
        QVERIFY(e->save());
        QCOMPARE(contents(p), QByteArray("changed behind our back\n"));

        e->moveCursor(1, 0);
        doc()->insert(QStringLiteral("x"), 0, 0);
        QVERIFY(e->isModified());
        QVERIFY(e->save());
        QVERIFY(!e->isModified());
        QCOMPARE(contents(p), QByteArray("int a;\nxint b;\n"));

        // saveAs writes even an unmodified document, and takes the name.
        const QString other = path("b.py");
        QVERIFY(e->saveAs(other));
        QCOMPARE(contents(other), QByteArray("int a;\nxint b;\n"));
        QCOMPARE(e->filePath(), other);
        QCOMPARE(e->highlight(), QStringLiteral("Python"));

        // Not modified, but the file was deleted: the editor holds the only
        // copy of the text and writes it.
        QVERIFY(QFile::remove(other));
        QVERIFY(!e->changedOnDisk());
        QVERIFY(!e->isModified());
        QVERIFY(e->save());
        QCOMPARE(contents(other), QByteArray("int a;\nxint b;\n"));
        QVERIFY(!e->changedOnDisk());
    }

    // A failed open leaves path, text, highlighting and modified state as
    // they were: a later save must not write the old text over the file
    // that could not be read.
    void failedOpenKeepsEverything_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing") << QStringLiteral("missing.py");
        QTest::newRow("directory") << QStringLiteral("sub.py");
        QTest::newRow("fifo") << QStringLiteral("fifo.py");
    }

    void failedOpenKeepsEverything()
    {
        QFETCH(QString, target);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub.py")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.py")).constData(), 0600), 0);
        const QString p = path("keep.cpp");
        writeFile(p, "old text");
        QVERIFY(e->open(p));
        doc()->insert(QStringLiteral("edited "), 0, 0);

        QSignalSpy pathChanges(e, &TextEditor::filePathChange);
        QVERIFY(!e->open(dir->filePath(target)));
        QVERIFY(!e->errorString().isEmpty());
        QCOMPARE(e->filePath(), p);
        QCOMPARE(e->text(), QStringLiteral("edited old text"));
        QCOMPARE(e->highlight(), QStringLiteral("C++"));
        QVERIFY(e->isModified());
        QCOMPARE(pathChanges.count(), 0);
        // And saving still goes to the file the text came from.
        QVERIFY(e->save());
        QCOMPARE(contents(p), QByteArray("edited old text"));
    }

    void codecRoundTrip_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << "UTF-8" << QByteArray("caf\xc3\xa9 \xe2\x82\xac\n")
                               << QString::fromUtf8("café €");
        QTest::newRow("Latin-1") << "ISO-8859-1" << QByteArray("caf\xe9\n")
                                 << QString::fromUtf8("café");
        QTest::newRow("UTF-16 with BOM") << "UTF-16LE"
                                         << QByteArray("\xff\xfe"
                                                       "a\0\xe9\0\n\0",
                                                       8)
                                         << QString::fromUtf8("aé");
    }

    void codecRoundTrip()
    {
        QFETCH(QString, codec);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString p = path("in.txt");
        writeFile(p, bytes);
        e->setTextCodec(codec);
        QCOMPARE(e->textCodec(), codec);
        QVERIFY(e->open(p));
        QCOMPARE(e->text(), text);
        QVERIFY(!e->hasInvalidBytes());
        // Written back under another name: the same bytes, BOM included.
        QVERIFY(e->saveAs(path("out.txt")));
        QCOMPARE(contents(path("out.txt")), bytes);
    }

    void invalidBytesLockTheDocument()
    {
        const QString p = path("bad.txt");
        writeFile(p, "ok \xff\xfe bytes\n");
        e->setTextCodec(QStringLiteral("UTF-8"));
        QVERIFY(e->open(p));
        QVERIFY(e->hasInvalidBytes());
        QVERIFY(e->isReadOnly());
        // Nothing can be saved over the original bytes until the host
        // decides to edit anyway.
        e->setModified(true);
        QVERIFY(!e->save());
        QCOMPARE(contents(p), QByteArray("ok \xff\xfe bytes\n"));
        QVERIFY(e->isModified());

        // A new document is neither locked nor reported.
        e->fileNew();
        QVERIFY(!e->hasInvalidBytes());
        QVERIFY(!e->isReadOnly());
        QVERIFY(e->filePath().isEmpty());
        QCOMPARE(e->text(), QString());
    }

    void unencodableCharacterRefused()
    {
        const QString p = path("l1.txt");
        writeFile(p, "old\n");
        e->setTextCodec(QStringLiteral("ISO-8859-1"));
        QVERIFY(e->open(p));
        doc()->insert(QStringLiteral("\u20ac"), 0, 0);
        QVERIFY(!e->save());
        QVERIFY(!e->errorString().isEmpty());
        QCOMPARE(contents(p), QByteArray("old\n"));
        QVERIFY(e->isModified());
    }

    void saveFailures()
    {
        e->setText(QStringLiteral("text"));
        QVERIFY(e->isModified());
        // No path yet.
        QVERIFY(!e->save());
        // A directory that does not exist cannot take the file.
        QVERIFY(!e->saveAs(path("nodir/x.txt")));
        QVERIFY(e->filePath().isEmpty());
        QVERIFY(e->isModified());

        // A write that fails part-way (a file size limit stands in for a
        // full disk, which root could not be kept from otherwise).
        const QString p = path("big.txt");
        writeFile(p, "old\n");
        QVERIFY(e->open(p));
        QString big;
        for (int i = 0; i < 4000; ++i)
            big += QStringLiteral("a line of text to fill the file %1\n").arg(i);
        doc()->insert(big, 0, 0);
        struct rlimit saved;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 16 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool ok = e->save();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QVERIFY(!e->errorString().isEmpty());
        QCOMPARE(contents(p), QByteArray("old\n"));
        QVERIFY(e->isModified());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("big.txt")});
        // Once the limit is gone the same save goes through.
        QVERIFY(e->save());
        QVERIFY(!e->isModified());
        QCOMPARE(contents(p).size(), QByteArray("old\n").size() + big.size());
    }

    void saveKeepsModeAndLink()
    {
        const QString target = path("target.txt");
        writeFile(target, "old\n");
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadGroup));
        const QString link = path("link.txt");
        QVERIFY(QFile::link(target, link));
        QVERIFY(e->open(link));
        doc()->insert(QStringLiteral("new "), 0, 0);
        QVERIFY(e->save());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(contents(target), QByteArray("new old\n"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0740));
    }

    void setFilePath()
    {
        QSignalSpy pathChanges(e, &TextEditor::filePathChange);
        e->setFilePath(QStringLiteral("rel/name.py"));
        QCOMPARE(e->filePath(), QDir::current().absoluteFilePath(QStringLiteral("rel/name.py")));
        QCOMPARE(e->highlight(), QStringLiteral("Python"));
        QCOMPARE(pathChanges.count(), 1);
    }

    void clipboard()
    {
        QClipboard* cb = QApplication::clipboard();
        e->setText(QStringLiteral("one two"));
        cb->setText(QStringLiteral("clip"));
        // Without a selection cut and copy do nothing, del deletes at the
        // caret.
        e->view()->setCursorPosition(0, 3, false);
        e->cut();
        e->copy();
        QCOMPARE(cb->text(), QStringLiteral("clip"));
        QCOMPARE(e->text(), QStringLiteral("one two"));
        e->del();
        QCOMPARE(e->text(), QStringLiteral("onetwo"));

        e->view()->setSelection(QPoint(0, 0), QPoint(3, 0));
        e->copy();
        QCOMPARE(cb->text(), QStringLiteral("one"));
        QCOMPARE(e->text(), QStringLiteral("onetwo"));
        e->view()->setSelection(QPoint(3, 0), QPoint(6, 0));
        e->cut();
        QCOMPARE(e->text(), QStringLiteral("one"));
        QCOMPARE(cb->text(), QStringLiteral("two"));

        // Paste replaces a selection.
        e->view()->setSelection(QPoint(0, 0), QPoint(1, 0));
        e->paste();
        QCOMPARE(e->text(), QStringLiteral("twone"));

        // The selection paste takes the stand-in where there is no X11
        // selection (as offscreen), else the selection.
        if (cb->supportsSelection())
            cb->setText(QStringLiteral("sel"), QClipboard::Selection);
        m->winClipboard = QStringLiteral("sel");
        e->view()->setCursorPosition(0, 0, false);
        e->pasteSelection();
        QCOMPARE(e->text(), QStringLiteral("seltwone"));
    }

    void undoRedoAndSignals()
    {
        e->setText(QStringLiteral("abc"));
        QSignalSpy changes(e, &TextEditor::changed);
        e->view()->setCursorPosition(0, 3, false);
        QCOMPARE(changes.takeFirst(), QVariantList{int(TextEditor::CursorPosition)});
        doc()->insert(QStringLiteral("d"), 0, 0);
        QVERIFY(changes.contains(QVariantList{int(TextEditor::UndoRedo)}));
        QVERIFY(changes.contains(QVariantList{int(TextEditor::Modification)}));
        QVERIFY(e->canUndo());
        e->undo();
        QCOMPARE(e->text(), QStringLiteral("abc"));
        QVERIFY(e->canRedo());
        e->redo();
        QCOMPARE(e->text(), QStringLiteral("abcd"));

        changes.clear();
        e->setModified(false);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first(), QVariantList{int(TextEditor::Modification)});
        QVERIFY(!e->isModified());
    }

    void framesShareADocument()
    {
        TextEditor* second = new TextEditor(doc(), nullptr);
        QPointer<TextDocument> d = doc();
        QSignalSpy first(e, &TextEditor::changed);
        QSignalSpy other(second, &TextEditor::changed);
        // A change reaches both frames, twice when the modified flag flips.
        doc()->documentChanged(true);
        QCOMPARE(first.count(QVariantList{int(TextEditor::Modification)}), 2);
        QCOMPARE(other.count(QVariantList{int(TextEditor::Modification)}), 2);
        delete second;
        QVERIFY(d);
        delete e;
        e = nullptr;
        QVERIFY(!d);
        e = m->createEditor(nullptr, nullptr);
    }

    void lineIcons()
    {
        e->setText(QStringLiteral("a\nb"));
        QPixmap pix(8, 8);
        e->setLineIcon(1, &pix);
        QCOMPARE(doc()->lineOf(1)->linePixmap(), &pix);
        e->setLineIcon(7, &pix); // not a line of the document: ignored
        e->clearLineIcon(1);
        QCOMPARE(doc()->lineOf(1)->linePixmap(), nullptr);
    }
};

QTEST_MAIN(TestTextEditor)
#include "tst_texteditor.moc"
