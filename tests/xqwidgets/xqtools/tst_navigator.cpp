// The back/forward history: a table of steps, each followed by what the
// history returns and which directions it then offers.

#include "xqwidgets/xqtools/navigator.h"

#include <QtTest>

using xqwidgets::Navigator;

namespace
{

struct Place {
    QString path;
    int scroll = 0;
    Place() = default;
    Place(const QString& p, int s = 0) : path(p), scroll(s) {}
};

// Steps: "go X", "back", "forward", "edit N" (scroll N into the current entry
// through url()). Each result is "path:scroll", empty path for a default entry.
QString run(Navigator<Place>& nav, const QString& step)
{
    const QStringList w = step.split(QLatin1Char(' '));
    Place p;
    if (w[0] == QLatin1String("go"))
        p = nav.go(Place(w[1]));
    else if (w[0] == QLatin1String("back"))
        p = nav.back();
    else if (w[0] == QLatin1String("forward"))
        p = nav.forward();
    else if (w[0] == QLatin1String("edit")) {
        nav.url().scroll = w[1].toInt();
        p = nav.url();
    }
    return p.path + QLatin1Char(':') + QString::number(p.scroll);
}

} // namespace

class TestNavigator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void steps_data()
    {
        QTest::addColumn<QStringList>("steps");
        // One entry per step: the result, then "<" and ">" for the directions offered.
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("new history") << QStringList{"back", "forward"} << QStringList{":0", ":0"};
        QTest::newRow("go, go, back, forward") << QStringList{"go A", "go B", "back", "forward"}
                                               << QStringList{"A:0", "B:0 <", "A:0 >", "B:0 <"};
        QTest::newRow("go after back drops the rest")
            << QStringList{"go A", "go B", "back", "go C", "forward", "back", "back"}
            << QStringList{"A:0", "B:0 <", "A:0 >", "C:0 <", ":0 <", "A:0 >", ":0 >"};
        QTest::newRow("a repeated go adds a second entry")
            << QStringList{"go A", "go A", "back", "back"}
            << QStringList{"A:0", "A:0 <", "A:0 >", ":0 >"};
        QTest::newRow("edits through url() are seen later")
            << QStringList{"go A", "edit 40", "go B", "edit 7", "back", "forward"}
            << QStringList{"A:0", "A:40", "B:0 <", "B:7 <", "A:40 >", "B:7 <"};
        QTest::newRow("url() on an empty history keeps nothing")
            << QStringList{"edit 5", "go A", "back"} << QStringList{":0", "A:0", ":0"};
    }
    void steps()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        Navigator<Place> nav;
        QStringList got;
        for (const QString& s : steps) {
            QString r = run(nav, s);
            if (nav.isBackEnabled() || nav.isForwardEnabled())
                r += QLatin1Char(' ');
            if (nav.isBackEnabled())
                r += QLatin1Char('<');
            if (nav.isForwardEnabled())
                r += QLatin1Char('>');
            got << r;
        }
        QCOMPARE(got, expected);
    }

    void homeIsApart()
    {
        Navigator<Place> nav;
        QCOMPARE(nav.home().path, QString());
        nav.setHome(Place(QStringLiteral("H")));
        nav.go(Place(QStringLiteral("A")));
        QCOMPARE(nav.home().path, QStringLiteral("H"));
        QCOMPARE(nav.back().path, QString());
    }
};

QTEST_APPLESS_MAIN(TestNavigator)
#include "tst_navigator.moc"
