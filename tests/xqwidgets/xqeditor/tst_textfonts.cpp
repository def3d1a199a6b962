// The view draws with exactly the font it measures with: for a sample of
// every built-in highlighting definition, each coloured piece of text is
// drawn at its column times the cell width of the monospace font and ends
// where the next piece starts, in every face (plain, bold, italic), at two
// sizes. The paint is recorded in a picture and replayed on a device of our
// own that keeps the text drawn.

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPicture>
#include <QScreen>
#include <QTest>

using namespace xqwidgets;

namespace
{

struct DrawnText {
    QPointF at; // the baseline start, in device pixels
    QString text;
    QFont font;
};

// Keeps the text drawn on it; everything else is dropped.
class TextRecorder : public QPaintEngine
{
public:
    TextRecorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    QList<DrawnText> drawn;
    QPointF origin;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & QPaintEngine::DirtyTransform)
            origin = QPointF(state.transform().dx(), state.transform().dy());
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    // The defaults of these two call each other.
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        drawn.append({p + origin, item.text(), item.font()});
    }
    Type type() const override { return QPaintEngine::User; }
};

class RecordingDevice : public QPaintDevice
{
public:
    explicit RecordingDevice(const QSize& size) : size(size) {}
    TextRecorder engine;
    QSize size;

    QPaintEngine* paintEngine() const override { return const_cast<TextRecorder*>(&engine); }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        // The screen's resolution, so that a point size gives the same
        // pixels as on the widget.
        const QScreen* s = QGuiApplication::primaryScreen();
        switch (m) {
        case PdmWidth:
            return size.width();
        case PdmHeight:
            return size.height();
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return qRound(s->logicalDotsPerInchX());
        case PdmDpiY:
        case PdmPhysicalDpiY:
            return qRound(s->logicalDotsPerInchY());
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(m);
        }
    }
};

// A few lines in each definition's language: keywords, comments, strings,
// numbers and markup, so that the plain, bold and italic faces all occur.
const QHash<QString, QString>& samples()
{
    static const QHash<QString, QString> s = {
        {"ColdFusion", "<cfset x = \"a\">\n<!--- note --->\n<cfoutput>#x# end</cfoutput>\n"},
        {"Ch", "#include <stdio.h>\nint main() { /* c */ return 0x1F; } // end\n"},
        {"C++", "#include <vector>\nclass A { public: int f(); }; // note\n"
                "const char* s = \"text\"; /* block */ return 42;\n"},
        {"DB2/SQL", "SELECT a, 'x' FROM t WHERE b = 10; -- note\n"},
        {"DTML - Zope", "<dtml-var name>\n<b>bold</b> <i>it</i> <!-- c -->\n"},
        {"HTML", "<html><body bgcolor=\"white\">\n<b>bold</b> &amp; <!-- c --></body></html>\n"},
        {"Java", "public class A { int x = 0x10; // note\n String s = \"t\"; /* c */ }\n"},
        {"JSP", "<%@ page import=\"java.util.*\" %>\n<% int x = 1; %> <b>t</b>\n"},
        {"MY/SQL", "SELECT a, 'x' FROM t WHERE b = 10; # note\n"},
        {"NoHighlight", "plain text, nothing coloured: end = self\n"},
        {"Perl", "#!/usr/bin/perl\nmy $x = \"s\"; # note\nsub f { return 1; }\n"},
        {"PG/SQL", "SELECT a, 'x' FROM t WHERE b = 10; -- note\n"},
        {"PHP", "<?php\n$x = \"s\"; // note\nfunction f() { return 1; } ?>\n<b>t</b>\n"},
        {"PL/SQL", "BEGIN SELECT a INTO b FROM t; END; -- note\n"},
        {"Python", "import re\nclass C(object):\n    def f(self, end=None): # note\n"
                   "        return re.VERBOSE + 'x' + self.end\nexcept ImportError: pass\n"},
        {"Ruby", "class A\n  def f(x) # note\n    return \"s\" + 10.to_s\n  end\nend\n"},
        {"SQL", "SELECT a, 'x' FROM t WHERE b = 10; -- note\n"},
        {"TeX", "\\section{Title} % note\n\\textbf{bold} $x^2$ text\n"},
        {"XML", "<?xml version=\"1.0\"?>\n<!-- c -->\n<a b=\"c\">text &amp; more</a>\n"},
        {"SB/SQL", "SELECT a, 'x' FROM t WHERE b = 10; -- note\n"},
        {"MSS/SQL", "SELECT a, 'x' FROM t WHERE b = 10; -- note\n"},
    };
    return s;
}

} // namespace

class TestTextFonts : public QObject
{
    Q_OBJECT
private:
    TextEditorManager* manager = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        manager = new TextEditorManager;
        manager->setLineWrap(false);
    }
    void cleanupTestCase() { delete manager; }

    void piecesAtTheirColumns_data()
    {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<int>("points");
        const QList<HighlightData*>& entries = TextHighlightManager::highlights(manager)->entries();
        QCOMPARE(entries.size(), 21);
        for (const HighlightData* data : entries) {
            for (int points : {10, 14})
                QTest::addRow("%s %d pt", qPrintable(data->name), points) << data->name << points;
        }
    }

    void piecesAtTheirColumns()
    {
        QFETCH(QString, definition);
        QFETCH(int, points);
        QVERIFY2(samples().contains(definition), qPrintable("no sample for " + definition));
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(points);
        manager->setFont(font);

        auto* doc = new TextDocument(manager);
        TextEditor editor(doc, nullptr);
        editor.resize(900, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        TextView* view = editor.view();
        view->setHighlight(definition);
        editor.setText(samples().value(definition));
        const int cell = manager->fontData(0).width;
        QVERIFY2(cell > 0, "the font is not fixed-pitch");

        // The view paints into a picture, whose replay reaches the recorder.
        QPicture picture;
        view->render(&picture);
        RecordingDevice device(view->size());
        {
            QPainter p(&device);
            picture.play(&p);
        }
        const QList<DrawnText>& drawn = device.engine.drawn;
        QVERIFY(!drawn.isEmpty());

        // The text's left edge: the first piece of the first line starts it.
        const qreal left = drawn.first().at.x();
        QSet<int> faces;
        for (const DrawnText& t : drawn) {
            const int line = int(t.at.y()) / view->lineHeight();
            QVERIFY2(line >= 0 && line <= doc->lastLine(), qPrintable(t.text));
            const qreal offset = t.at.x() - left;
            const QString where = QStringLiteral("\"%1\" on line %2 at x %3 (cell %4)")
                                      .arg(t.text)
                                      .arg(line)
                                      .arg(offset)
                                      .arg(cell);
            // Placed at a whole column...
            QVERIFY2(offset >= 0 && qFuzzyIsNull(std::fmod(offset, cell)), qPrintable(where));
            const int column = qRound(offset / cell);
            QCOMPARE(QString(*doc->lineOf(line)).mid(column, t.text.size()), t.text);
            // ... and as wide as its columns, in its own face.
            QCOMPARE(QFontMetricsF(t.font).horizontalAdvance(t.text), qreal(t.text.size() * cell));
            faces.insert(int(t.font.bold()) * 2 + int(t.font.italic()));
        }
        if (definition == QLatin1String("C++") || definition == QLatin1String("HTML"))
            QVERIFY2(faces.size() > 1, "the sample shows one face only");
    }
};

QTEST_MAIN(TestTextFonts)
#include "tst_textfonts.moc"
