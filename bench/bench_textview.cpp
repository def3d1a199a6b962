// The text view against the widgets a user would pick instead, each shown
// offscreen at 1000x800 on a highlighted C++ document of a million lines and
// on a file that is one 5 MB line: time to the first paint, page-down
// repaints, a keystroke to the end of its repaint near the top, the middle
// and the end, and scrolling to the end. Every figure comes from a fresh
// child process.

#include "benchutil.h"
#include "editorcursor.h"
#include "textdoc.h"
#include "texteditor.h"
#include "textmanager.h"
#include "textview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <csignal>
#include <numeric>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

struct App {
    int argc = 1;
    char name[8] = "bench";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double maximum(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

QFont benchFont()
{
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(13);
    return f;
}

// A C++ highlighter of the kind a QPlainTextEdit user writes: keywords,
// types, numbers, strings, line and block comments, preprocessor lines.
class CppHighlighter : public QSyntaxHighlighter
{
public:
    explicit CppHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc)
    {
        QTextCharFormat kw;
        kw.setForeground(Qt::blue);
        kw.setFontWeight(QFont::Bold);
        rules.push_back({QRegularExpression(QStringLiteral(
                             "\\b(class|namespace|public|private|return|if|for|while|const|"
                             "explicit|throw|bool|int|void|char|auto|struct|static)\\b")),
                         kw});
        QTextCharFormat num;
        num.setForeground(Qt::darkGray);
        rules.push_back({QRegularExpression(QStringLiteral("\\b(0x[0-9a-fA-F]+|\\d+)\\b")), num});
        QTextCharFormat str;
        str.setForeground(Qt::red);
        rules.push_back({QRegularExpression(QStringLiteral("\"(\\\\.|[^\"])*\"")), str});
        QTextCharFormat pre;
        pre.setForeground(QColor(0xc0, 0x58, 0x00));
        rules.push_back({QRegularExpression(QStringLiteral("^\\s*#.*")), pre});
        comment.setForeground(Qt::darkGreen);
        rules.push_back({QRegularExpression(QStringLiteral("//.*")), comment});
    }

protected:
    void highlightBlock(const QString& text) override
    {
        for (const Rule& r : rules) {
            auto it = r.re.globalMatch(text);
            while (it.hasNext()) {
                const auto m = it.next();
                setFormat(int(m.capturedStart()), int(m.capturedLength()), r.format);
            }
        }
        setCurrentBlockState(0);
        int start = previousBlockState() == 1 ? 0 : int(text.indexOf(QStringLiteral("/*")));
        while (start >= 0) {
            const int end = int(text.indexOf(QStringLiteral("*/"), start));
            const int len = end < 0 ? int(text.size()) - start : end - start + 2;
            if (end < 0)
                setCurrentBlockState(1);
            setFormat(start, len, comment);
            start = end < 0 ? -1 : int(text.indexOf(QStringLiteral("/*"), start + len));
        }
    }

private:
    struct Rule {
        QRegularExpression re;
        QTextCharFormat format;
    };
    std::vector<Rule> rules;
    QTextCharFormat comment;
};

// One widget under test, whichever it is.
struct Subject {
    virtual ~Subject() = default;
    virtual QWidget* widget() = 0;  // the top-level widget shown
    virtual QWidget* surface() = 0; // what paints the text
    virtual QWidget* keyTarget() = 0;
    virtual void setText(const QString& text) = 0;
    virtual void moveTo(int line) = 0;
};

struct Ours : Subject {
    TextEditorManager m;
    TextEditor* e = nullptr;
    Ours()
    {
        m.setFont(benchFont());
        e = m.createEditor(nullptr, nullptr);
        e->view()->setHighlight(QStringLiteral("C++"));
    }
    ~Ours() override { delete e; }
    QWidget* widget() override { return e; }
    QWidget* surface() override { return e->view(); }
    QWidget* keyTarget() override { return e->view(); }
    void setText(const QString& text) override { e->document()->loadText(text); }
    void moveTo(int line) override { e->view()->setCursorPosition(line, 0, false); }
};

struct Plain : Subject {
    QPlainTextEdit w;
    CppHighlighter* hl = nullptr;
    Plain()
    {
        w.setFont(benchFont());
        w.setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    QWidget* widget() override { return &w; }
    QWidget* surface() override { return w.viewport(); }
    QWidget* keyTarget() override { return &w; }
    void setText(const QString& text) override
    {
        w.setPlainText(text);
        hl = new CppHighlighter(w.document());
    }
    void moveTo(int line) override
    {
        QTextCursor c(w.document()->findBlockByNumber(line));
        w.setTextCursor(c);
    }
};

#ifdef VEXA_HAVE_QSCINTILLA
struct Scintilla : Subject {
    QsciScintilla w;
    QsciLexerCPP lexer;
    Scintilla()
    {
        lexer.setDefaultFont(benchFont());
        w.setLexer(&lexer);
        w.setMarginLineNumbers(1, true);
        w.setMarginWidth(1, QStringLiteral("10000000"));
    }
    QWidget* widget() override { return &w; }
    QWidget* surface() override { return w.viewport(); }
    QWidget* keyTarget() override { return &w; }
    void setText(const QString& text) override { w.setText(text); }
    void moveTo(int line) override { w.setCursorPosition(line, 0); }
};
#endif

Subject* make(int kind)
{
    switch (kind) {
    case 0:
        return new Ours;
    case 1:
        return new Plain;
#ifdef VEXA_HAVE_QSCINTILLA
    case 2:
        return new Scintilla;
#endif
    default:
        return nullptr;
    }
}

void key(QWidget* target, int k, Qt::KeyboardModifiers mods = Qt::NoModifier,
         const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, k, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods, text);
    QApplication::sendEvent(target, &release);
}

// The figures for one widget on one text, as one line of output.
QString measure(int kind, const QString* text, bool pages)
{
    alarm(240); // a peer that cannot finish gets reported as such
    App a;
    Subject* s = make(kind);
    if (!s)
        return QStringLiteral("(not built)");
    QElapsedTimer t;
    t.start();
    s->setText(*text);
    const double load = bench::msSince(t);

    s->widget()->resize(1000, 800);
    t.restart();
    s->widget()->show();
    s->widget()->activateWindow();
    s->keyTarget()->setFocus();
    QApplication::processEvents();
    s->surface()->repaint();
    const double firstPaint = bench::msSince(t);

    QString out = QStringLiteral("set text %1 ms | first paint %2 ms")
                      .arg(load, 0, 'f', 1)
                      .arg(firstPaint, 0, 'f', 1);

    if (pages) {
        std::vector<double> steps;
        for (int i = 0; i < 200; ++i) {
            t.restart();
            key(s->keyTarget(), Qt::Key_PageDown);
            s->surface()->repaint();
            steps.push_back(bench::msSince(t));
        }
        out += QStringLiteral(" | page-down avg %1 max %2 ms")
                   .arg(std::accumulate(steps.begin(), steps.end(), 0.0) / steps.size(), 0, 'f', 2)
                   .arg(maximum(steps), 0, 'f', 2);
    }

    // Keystrokes near the top, in the middle and near the end (for one
    // line: at its start, middle and end).
    const int lines = int(text->count(QLatin1Char('\n')));
    const QString names[3] = {QStringLiteral("top"), QStringLiteral("mid"), QStringLiteral("end")};
    for (int where = 0; where < 3; ++where) {
        if (lines > 0) {
            const int line = where == 0 ? 10 : where == 1 ? lines / 2 : lines - 10;
            s->moveTo(line);
        } else {
            key(s->keyTarget(), Qt::Key_Home, Qt::ControlModifier);
            if (where == 1) {
                // The middle of the line: half the line's characters along.
                if (kind == 0)
                    static_cast<Ours*>(s)->e->view()->setCursorPosition(0, int(text->size() / 2),
                                                                        false);
                else if (kind == 1) {
                    QTextCursor c = static_cast<Plain*>(s)->w.textCursor();
                    c.setPosition(int(text->size() / 2));
                    static_cast<Plain*>(s)->w.setTextCursor(c);
                }
#ifdef VEXA_HAVE_QSCINTILLA
                else
                    static_cast<Scintilla*>(s)->w.setCursorPosition(0, int(text->size() / 2));
#endif
            } else if (where == 2) {
                key(s->keyTarget(), Qt::Key_End, Qt::ControlModifier);
            }
        }
        QApplication::processEvents();
        std::vector<double> strokes;
        for (int i = 0; i < 25; ++i) {
            t.restart();
            key(s->keyTarget(), Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QApplication::processEvents();
            strokes.push_back(bench::msSince(t));
        }
        out += QStringLiteral(" | key %1 med %2 max %3 ms")
                   .arg(names[where])
                   .arg(median(strokes), 0, 'f', 3)
                   .arg(maximum(strokes), 0, 'f', 2);
    }

    key(s->keyTarget(), Qt::Key_Home, Qt::ControlModifier);
    QApplication::processEvents();
    t.restart();
    key(s->keyTarget(), Qt::Key_End, Qt::ControlModifier);
    s->surface()->repaint();
    out += QStringLiteral(" | to end + paint %1 ms").arg(bench::msSince(t), 0, 'f', 2);
    // Children exit without tearing down: the figures are what matters.
    return out;
}

} // namespace

int main()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString cpp = QString::fromUtf8(bench::generateCpp(1000000));
    // One 5 MB line of C++ tokens.
    QString single;
    {
        const QString chunk = QStringLiteral("int value = compute(42, \"text\") + other; /* c */ ");
        single.reserve(5 * 1024 * 1024 + chunk.size());
        while (single.size() < 5 * 1024 * 1024)
            single += chunk;
    }
    const char* kinds[3] = {"ours", "QPlainTextEdit+QSyntaxHighlighter",
                            "QsciScintilla+QsciLexerCPP"};
    std::printf("Text view, 1000x800 offscreen. Times in ms.\n");
    std::printf("\n1M-line highlighted C++ document (%lld lines)\n", (long long)cpp.count('\n'));
    // VEXA_BENCH_ONLY=0|1|2 measures one widget only.
    const int only = qEnvironmentVariableIsSet("VEXA_BENCH_ONLY")
                         ? qEnvironmentVariableIntValue("VEXA_BENCH_ONLY")
                         : -1;
    for (int k = 0; k < 3; ++k)
        if (only < 0 || only == k)
            std::printf("  %-36s %s\n", kinds[k],
                        qPrintable(bench::inChild([&] { return measure(k, &cpp, true); })));
    if (qEnvironmentVariableIsSet("VEXA_BENCH_NO_LONG_LINE"))
        return 0;
    std::printf("\nOne 5 MB line\n");
    for (int k = 0; k < 3; ++k)
        if (only < 0 || only == k)
            std::printf("  %-36s %s\n", kinds[k],
                        qPrintable(bench::inChild([&] { return measure(k, &single, false); })));
    return 0;
}
