// The style submenu of the Options menu: entries, tick, applied style and
// the stored "/qt/style".

#include "shellfixture.h"
#include "vexa/actions.h"
#include "vexa/settings.h"
#include "vexa/shell.h"
#include "vexa/stylesmenu.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

using namespace vexa;

class TestStylesMenu : public QObject
{
    Q_OBJECT
private:
    static QString storedStyle()
    {
        // Another object on the same file, as the toolkit would read it.
        return QSettings().value(QStringLiteral("/qt/style")).toString();
    }
    static QStringList ticked()
    {
        QStringList names;
        for (const QString& s : StylesMenu::self()->styles())
            if (Actions::action(QStringLiteral("StylesMenu/") + s)->isChecked())
                names.append(s);
        return names;
    }
    static QString appliedStyle() { return QApplication::style()->name(); }

private Q_SLOTS:
    void initTestCase()
    {
        shellfixture::useAppSettings();
        if (!QStyleFactory::keys().contains(QStringLiteral("Windows")) ||
            !QStyleFactory::keys().contains(QStringLiteral("Fusion")))
            QSKIP("the toolkit offers neither Windows nor Fusion");
    }
    void init()
    {
        shellfixture::clearSettings(true);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }

    void unsetKeyAppliesWindowsAndStoresNothing()
    {
        Shell shell;
        shell.rebuildUI();
        QCOMPARE(appliedStyle().toLower(), QStringLiteral("windows"));
        QCOMPARE(ticked(), QStringList({"Windows"}));
        QVERIFY(storedStyle().isNull());

        // Entries in character-code order, in a submenu of Options.
        QStringList sorted = QStyleFactory::keys();
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(StylesMenu::self()->styles(), sorted);
        QMenu* options = nullptr;
        for (QAction* a : shell.menuBar()->actions())
            if (a->text() == QLatin1String("&Options"))
                options = a->menu();
        QVERIFY(options);
        QMenu* sub = nullptr;
        for (QAction* a : options->actions())
            if (a->menu() && a->text() == QLatin1String("Select &style"))
                sub = a->menu();
        QVERIFY(sub);
        QStringList texts;
        for (QAction* a : sub->actions())
            texts.append(a->text());
        QCOMPARE(texts, sorted);

        // Choosing an entry moves the tick, applies and stores at once.
        Actions::action(QStringLiteral("StylesMenu/Fusion"))->trigger();
        QCOMPARE(ticked(), QStringList({"Fusion"}));
        QCOMPARE(appliedStyle().toLower(), QStringLiteral("fusion"));
        QCOMPARE(storedStyle(), QStringLiteral("Fusion"));
    }

    void storedStyleIsTickedAndApplied()
    {
        QSettings().setValue(QStringLiteral("/qt/style"), QStringLiteral("Windows"));
        Shell shell;
        QCOMPARE(ticked(), QStringList({"Windows"}));
        QCOMPARE(appliedStyle().toLower(), QStringLiteral("windows"));
        QCOMPARE(storedStyle(), QStringLiteral("Windows"));
    }

    void unknownStoredStyleTicksNothing()
    {
        QSettings().setValue(QStringLiteral("/qt/style"), QStringLiteral("windows"));
        Shell shell;
        QVERIFY(ticked().isEmpty());
        QCOMPARE(appliedStyle().toLower(), QStringLiteral("fusion"));
        QCOMPARE(storedStyle(), QStringLiteral("windows"));
        StylesMenu::self()->setStyle(-1);
        StylesMenu::self()->setStyle(StylesMenu::self()->styles().size());
        QCOMPARE(storedStyle(), QStringLiteral("windows"));
    }
};

QTEST_MAIN(TestStylesMenu)
#include "tst_stylesmenu.moc"
