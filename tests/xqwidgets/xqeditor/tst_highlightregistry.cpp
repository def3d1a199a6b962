#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace xqwidgets;

// The registry is built once per process, so this executable fixes its
// resource directory and stored masks before the first use.
class TestHighlightRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entries();
    void fileNames_data();
    void fileNames();
    void byName();
    void wildcards_data();
    void wildcards();

private:
    void write(const QString& file, const QByteArray& text);

    QTemporaryDir m_dir;
    TextEditorManager* m_manager = nullptr;
};

void TestHighlightRegistry::write(const QString& file, const QByteArray& text)
{
    QFile f(m_dir.filePath(file));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

static QByteArray simpleDefinition(const char* name, const char* masks, const char* item)
{
    return QByteArray("<!DOCTYPE Highlight><Highlight name=\"") + name + "\" wildcards=\"" + masks +
           "\"><Items><" + item +
           " color=\"#000000\"/></Items><Break><normal/></Break><Contents><normal/></Contents>"
           "</Highlight>";
}

void TestHighlightRegistry::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QSettings settings;
    settings.setValue(QStringLiteral("/xqeditor/hl/Perl wildcards"), QStringLiteral("*.pl *.pm"));
    settings.setValue(QStringLiteral("/xqeditor/hl/Ruby wildcards"), QString());
    settings.sync();

    write(QStringLiteral("python"), simpleDefinition("Python", "*.pyw", "FromFile"));
    write(QStringLiteral("mine"), simpleDefinition("C++", "*.mine", "Mine"));
    write(QStringLiteral("nohigh"), simpleDefinition("NoHighlight", "*.txt", "Text"));
    write(QStringLiteral("broken"), QByteArray("<Highlight name=\"Broken\""));
    write(QStringLiteral("README"), QByteArray("plain text"));

    m_manager = new TextEditorManager;
    m_manager->setResourcesDir(m_dir.path());
    QVERIFY(TextHighlightManager::highlights(m_manager));
}

void TestHighlightRegistry::entries()
{
    const HighlightDict* dict = TextHighlightManager::highlights(m_manager);
    // Later calls return the same registry, whatever manager they pass.
    TextEditorManager other;
    QCOMPARE(TextHighlightManager::highlights(&other), dict);

    const HighlightData* python = dict->find(QStringLiteral("Python"));
    QVERIFY(python);
    QCOMPARE(python->path, QStringLiteral("python")); // the file replaces the built-in
    QCOMPARE(python->mask, QStringLiteral("*.pyw"));
    QCOMPARE(dict->find(QStringLiteral("NoHighlight"))->path, QStringLiteral("nohighlight"));
    QCOMPARE(dict->find(QStringLiteral("Perl"))->mask, QStringLiteral("*.pl *.pm"));
    QCOMPARE(dict->find(QStringLiteral("Ruby"))->mask, QString());
    QVERIFY(!dict->find(QStringLiteral("Broken")));

    int cpp = 0;
    for (const HighlightData* d : dict->entries()) {
        QVERIFY(!d->name.isEmpty());
        cpp += d->name == QLatin1String("C++");
    }
    QCOMPARE(cpp, 2);
    QCOMPARE(dict->count(), 22); // 20 built-ins, "NoHighlight" and the file "mine"

    const QStringList names = TextHighlightManager::highlightNames(m_manager);
    QCOMPARE(names.size(), 21);
    QCOMPARE(names.count(QStringLiteral("C++")), 1);
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);
}

void TestHighlightRegistry::fileNames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("definition");
    QTest::addColumn<QString>("firstItem");

    const QString none = QStringLiteral("NoHighlight");
    QTest::newRow("a.cpp") << "a.cpp"
                           << "C++"
                           << "Text";
    QTest::newRow("a.CPP") << "a.CPP" << none << "Text"; // masks match case-sensitively
    QTest::newRow("a.h") << "a.h"
                         << "C++"
                         << "Text";
    QTest::newRow("a.H") << "a.H"
                         << "C++"
                         << "Text";
    QTest::newRow("a.C") << "a.C"
                         << "C++"
                         << "Text";
    QTest::newRow("a.c") << "a.c" << none << "Text";
    QTest::newRow("x.mine") << "x.mine"
                            << "C++"
                            << "Mine"; // the file of another name
    QTest::newRow("a.htm") << "a.htm"
                           << "HTML"
                           << "Text";
    QTest::newRow("a.html") << "a.html"
                            << "HTML"
                            << "Text";
    QTest::newRow("A.JAVA") << "A.JAVA"
                            << "Java"
                            << "Text"; // masks separated by a blank
    QTest::newRow("a.java") << "a.java"
                            << "Java"
                            << "Text";
    QTest::newRow("a.Java") << "a.Java" << none << "Text";
    QTest::newRow("a.py") << "a.py" << none << "Text"; // the file's own masks replaced "*.py"
    QTest::newRow("a.pyw") << "a.pyw"
                           << "Python"
                           << "FromFile";
    QTest::newRow("a.pm") << "a.pm"
                          << "Perl"
                          << "Text"; // stored masks
    QTest::newRow("a.pl") << "a.pl"
                          << "Perl"
                          << "Text";
    QTest::newRow("a.rb") << "a.rb" << none << "Text"; // a stored empty mask matches nothing
    QTest::newRow("a.sql") << "a.sql"
                           << "PG/SQL"
                           << "Text"; // seven share "*.sql"
    QTest::newRow("A.SQL") << "A.SQL" << none << "Text";
    QTest::newRow("a.txt") << "a.txt" << none << "Text"; // a file cannot take "NoHighlight"
    QTest::newRow("a.ui") << "a.ui"
                          << "XML"
                          << "Text";
    QTest::newRow("a.php3") << "a.php3"
                            << "PHP"
                            << "Text";
    QTest::newRow("a.INC") << "a.INC"
                           << "PHP"
                           << "Text";
    QTest::newRow("a.tex") << "a.tex"
                           << "TeX"
                           << "Text";
    QTest::newRow("a.chf") << "a.chf"
                           << "Ch"
                           << "Text";
    QTest::newRow("a.cfm") << "a.cfm"
                           << "ColdFusion"
                           << "Text";
    QTest::newRow("a.JSP") << "a.JSP"
                           << "JSP"
                           << "Text";
    QTest::newRow("a.dtml") << "a.dtml"
                            << "DTML - Zope"
                            << "Text";
    QTest::newRow("Makefile") << "Makefile" << none << "Text";
    QTest::newRow("empty") << "" << none << "Text";
}

void TestHighlightRegistry::fileNames()
{
    QFETCH(QString, file);
    QFETCH(QString, definition);
    QFETCH(QString, firstItem);
    std::unique_ptr<TextHighlight> hl(TextHighlightManager::findHighlight(m_manager, file));
    QVERIFY(hl);
    QCOMPARE(hl->name(), definition);
    QCOMPARE(hl->attribute(0)->itemName, firstItem);
    // Opening a file asks for the name alone, to build none when it keeps
    // the definition it has.
    QCOMPARE(TextHighlightManager::findHighlightName(m_manager, file), definition);
}

void TestHighlightRegistry::byName()
{
    for (const QString& name :
         {QString(), QStringLiteral("unknown"), QStringLiteral("nohighlight")}) {
        std::unique_ptr<TextHighlight> hl(TextHighlightManager::highlight(m_manager, name));
        QCOMPARE(hl->name(), QStringLiteral("NoHighlight"));
    }
    // Two entries are named "C++": the one registered last, the built-in, wins.
    std::unique_ptr<TextHighlight> cpp(
        TextHighlightManager::highlight(m_manager, QStringLiteral("C++")));
    QCOMPARE(cpp->attribute(1)->itemName, QStringLiteral("Pointer"));
    std::unique_ptr<TextHighlight> sql(
        TextHighlightManager::highlight(m_manager, QStringLiteral("SQL")));
    QCOMPARE(sql->name(), QStringLiteral("SQL"));
}

void TestHighlightRegistry::wildcards_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("match");
    QTest::newRow("star") << "*.cpp"
                          << "main.cpp" << true;
    QTest::newRow("whole name") << "*.cpp"
                                << "main.cpp~" << false;
    QTest::newRow("star inside") << "a*b*c"
                                 << "axxbyyc" << true;
    QTest::newRow("star backtracks") << "*ab"
                                     << "aab" << true;
    QTest::newRow("question") << "?.h"
                              << "a.h" << true;
    QTest::newRow("question needs one") << "?.h"
                                        << ".h" << false;
    QTest::newRow("set") << "*.[ch]"
                         << "x.h" << true;
    QTest::newRow("set miss") << "*.[ch]"
                              << "x.o" << false;
    QTest::newRow("range") << "v[0-9].txt"
                           << "v7.txt" << true;
    QTest::newRow("negated set") << "*.[!o]"
                                 << "x.o" << false;
    QTest::newRow("unclosed bracket") << "a[b"
                                      << "a[b" << true;
    QTest::newRow("case") << "*.H"
                          << "a.h" << false;
    QTest::newRow("semicolons") << " *.a ;; *.b ; "
                                << "x.b" << true;
    QTest::newRow("blanks") << "*.a  *.b"
                            << "x.b" << true;
    QTest::newRow("empty mask") << ""
                                << "" << false;
    QTest::newRow("blank mask") << "   "
                                << "x" << false;
    QTest::newRow("semicolon keeps blanks inside") << "my file.txt;*.b"
                                                   << "my file.txt" << true;
}

void TestHighlightRegistry::wildcards()
{
    QFETCH(QString, mask);
    QFETCH(QString, file);
    QFETCH(bool, match);
    QCOMPARE(TextHighlightManager::matchMask(mask, file), match);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vexa-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_highlightregistry"));
    TestHighlightRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highlightregistry.moc"
