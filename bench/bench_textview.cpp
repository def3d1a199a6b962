// The text view against the widgets a user would pick instead, each shown
// offscreen at 1000x800 on 1 MB and 10 MB of real code, on a highlighted C++
// document of a million lines and on a file that is one 5 MB line: time to
// the first paint, page-down repaints, a keystroke to the end of its repaint
// near the top, the middle and the end, and scrolling to the end. Every figure comes from a fresh
// child process. First of all: typing, Backspace and Return at the end of a
// 5 MB and a 20 MB line of tabs (`\tx;`) beside the same line with blanks
// for its tabs.
//
// Then what colouring costs: a 5 MB line of minified data (objects with
// strings, numbers and URLs, never a comment) coloured as C++ and as a
// script language, with keystrokes at its start, middle and end; and a file
// of about 10 MB of real code (the Qt headers installed on the machine,
// concatenated): load plus colouring of every line, the memory that adds,
// the first repaint, Ctrl+End and page repaints.

#include "benchutil.h"
#include "xqwidgets/qtundo/qtundo.h"
#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QDirIterator>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <csignal>
#include <ctime>
#include <functional>
#include <numeric>
#include <vector>

#ifdef VEXA_HAVE_QSCINTILLA
#include <Qsci/qscilexercpp.h>
#include <Qsci/qscilexerjavascript.h>
#include <Qsci/qsciscintilla.h>
#endif

using namespace xqwidgets;

namespace
{

using bench::key;

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

// VEXA_BENCH_WRAP=1 measures every widget with its lines wrapped at the
// view's width (the editor's default) instead of unwrapped. A measurement
// that needs wrap whatever the setting sets forceWrap in its child.
bool forceWrap = false;
bool wrapLines()
{
    return forceWrap || qEnvironmentVariableIntValue("VEXA_BENCH_WRAP") == 1;
}

// One widget under test, whichever it is.
struct Subject {
    virtual ~Subject() = default;
    virtual QWidget* widget() = 0;  // the top-level widget shown
    virtual QWidget* surface() = 0; // what paints the text
    virtual QWidget* keyTarget() = 0;
    virtual void setText(const QString& text) = 0;
    // A text the caller gives up, as a file that was just read and decoded.
    virtual void takeText(QString&& text) { setText(text); }
    virtual void moveTo(int line) = 0;
};

// The languages a text is coloured as: C++, and a script language (ours
// has no JavaScript definition; Java's rules are the nearest).
enum Language { Cpp, Script };

struct Ours : Subject {
    TextEditorManager m;
    TextEditor* e = nullptr;
    explicit Ours(Language lang)
    {
        m.setFont(benchFont());
        m.setLineWrap(wrapLines());
        e = m.createEditor(nullptr, nullptr);
        e->view()->setHighlight(lang == Cpp ? QStringLiteral("C++") : QStringLiteral("Java"));
    }
    ~Ours() override { delete e; }
    QWidget* widget() override { return e; }
    QWidget* surface() override { return e->view(); }
    QWidget* keyTarget() override { return e->view(); }
    // The document keeps the buffer it is given and shares it with its
    // lines. A file open hands it a buffer of its own; a buffer the caller
    // keeps would be copied at the first edit instead. The copy is made
    // here, inside the time of setting the text, as the peers make theirs.
    void setText(const QString& text) override
    {
        e->document()->loadText(QString(text.constData(), text.size()));
    }
    void takeText(QString&& text) override { e->document()->loadText(std::move(text)); }
    void moveTo(int line) override { e->view()->setCursorPosition(line, 0, false); }
};

struct Plain : Subject {
    QPlainTextEdit w;
    CppHighlighter* hl = nullptr;
    Plain()
    {
        w.setFont(benchFont());
        w.setLineWrapMode(wrapLines() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
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
    QsciLexerCPP cpp;
    QsciLexerJavaScript script;
    explicit Scintilla(Language lang)
    {
        QsciLexer* lexer = lang == Cpp ? static_cast<QsciLexer*>(&cpp) : &script;
        lexer->setDefaultFont(benchFont());
        w.setLexer(lexer);
        w.setMarginLineNumbers(1, true);
        w.setMarginWidth(1, QStringLiteral("10000000"));
        if (wrapLines())
            w.setWrapMode(QsciScintilla::WrapCharacter);
    }
    QWidget* widget() override { return &w; }
    QWidget* surface() override { return w.viewport(); }
    QWidget* keyTarget() override { return &w; }
    void setText(const QString& text) override { w.setText(text); }
    void moveTo(int line) override { w.setCursorPosition(line, 0); }
};
#endif

Subject* make(int kind, Language lang)
{
    switch (kind) {
    case 0:
        return new Ours(lang);
    case 1:
        return new Plain;
#ifdef VEXA_HAVE_QSCINTILLA
    case 2:
        return new Scintilla(lang);
#endif
    default:
        return nullptr;
    }
}

// Shows the widget at 1000x800 with the focus in it; the time to its first
// paint.
double showAndPaint(Subject* s)
{
    s->widget()->resize(1000, 800);
    QElapsedTimer t;
    t.start();
    s->widget()->show();
    s->widget()->activateWindow();
    s->keyTarget()->setFocus();
    QApplication::processEvents();
    s->surface()->repaint();
    return bench::msSince(t);
}

// The figures for one widget on one text, as one line of output.
QString measure(int kind, const QString* text, bool pages, Language lang = Cpp)
{
    alarm(240); // a peer that cannot finish gets reported as such
    App a;
    Subject* s = make(kind, lang);
    if (!s)
        return QStringLiteral("(not built)");
    QElapsedTimer t;
    t.start();
    s->setText(*text);
    const double load = bench::msSince(t);

    const double firstPaint = showAndPaint(s);

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
        // VEXA_BENCH_SETTLE=1 lets the background colouring of a freshly
        // loaded document end first (3 s of events); otherwise a keystroke's
        // events may include one of its 10 ms idle slices.
        if (qEnvironmentVariableIsSet("VEXA_BENCH_SETTLE")) {
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 3000)
                QApplication::processEvents();
        }
        std::vector<double> strokes;
        // A single line costs some peers a second or more per key.
        for (int i = 0; i < (lines > 0 ? 25 : 9); ++i) {
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

// Runs `work` in a child process that reports each figure as soon as it has
// it; a child still running after `capSeconds` is killed, and the figures it
// gave are followed by "did not finish in N s".
QString stepsInChild(const std::function<void(const std::function<void(const QString&)>&)>& work,
                     int capSeconds)
{
    const bench::ChildRun run = bench::runInChild(work, capSeconds);
    if (!run.started)
        return QStringLiteral("(pipe failed)");
    QString out = run.output;
    if (!run.finished)
        out += QStringLiteral(" | did not finish in %1 s").arg(capSeconds);
    else if (!run.clean)
        out += QStringLiteral(" | (failed)");
    return out;
}

// One line far longer than anything a view lays out at once, wrapped at the
// view's width: each step a user takes on it, timed to the end of its
// repaint. Undo takes back the character typed at the end.
void measureHugeLine(int kind, const QString* text,
                     const std::function<void(const QString&)>& report)
{
    forceWrap = true;
    App a;
    Subject* s = make(kind, Cpp);
    if (!s) {
        report(QStringLiteral("(not built)"));
        return;
    }
    QElapsedTimer t;
    t.start();
    s->setText(*text);
    s->widget()->resize(1000, 800);
    s->widget()->show();
    s->widget()->activateWindow();
    s->keyTarget()->setFocus();
    QApplication::processEvents();
    s->surface()->repaint();
    report(QStringLiteral("open + paint %1").arg(bench::msSince(t), 0, 'f', 0));
    auto step = [&](const char* name, const std::function<void()>& act) {
        t.restart();
        act();
        QApplication::processEvents();
        s->surface()->repaint();
        report(
            QStringLiteral(" | %1 %2").arg(QLatin1String(name)).arg(bench::msSince(t), 0, 'f', 1));
    };
    step("End", [&] { key(s->keyTarget(), Qt::Key_End); });
    step("Ctrl+Home", [&] { key(s->keyTarget(), Qt::Key_Home, Qt::ControlModifier); });
    step("Page Down", [&] { key(s->keyTarget(), Qt::Key_PageDown); });
    step("Ctrl+End", [&] { key(s->keyTarget(), Qt::Key_End, Qt::ControlModifier); });
    step("type at end",
         [&] { key(s->keyTarget(), Qt::Key_X, Qt::NoModifier, QStringLiteral("x")); });
    step("Undo", [&] {
        if (kind == 0)
            static_cast<Ours*>(s)->e->document()->undoStack()->undo();
        else if (kind == 1)
            static_cast<Plain*>(s)->w.undo();
#ifdef VEXA_HAVE_QSCINTILLA
        else
            static_cast<Scintilla*>(s)->w.undo();
#endif
    });
    step("Ctrl+Home again", [&] { key(s->keyTarget(), Qt::Key_Home, Qt::ControlModifier); });
}

// Typing, Backspace and Return at the end of one long line, each timed to
// the end of its repaint (the median of several): a line of `\tx;` beside
// the same line with blanks for its tabs. Return is followed by a
// Backspace that joins the line again, untimed.
void measureLineEnd(int kind, const QString* text,
                    const std::function<void(const QString&)>& report)
{
    App a;
    Subject* s = make(kind, Cpp);
    if (!s) {
        report(QStringLiteral("(not built)"));
        return;
    }
    s->setText(*text);
    showAndPaint(s);
    key(s->keyTarget(), Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    s->surface()->repaint();
    QElapsedTimer t;
    auto timed = [&](int k, const QString& typed) {
        t.restart();
        key(s->keyTarget(), k, Qt::NoModifier, typed);
        QApplication::processEvents();
        s->surface()->repaint();
        return bench::msSince(t);
    };
    std::vector<double> type, back, ret;
    for (int i = 0; i < 7; ++i)
        type.push_back(timed(Qt::Key_X, QStringLiteral("x")));
    report(QStringLiteral("type %1").arg(median(type), 0, 'f', 2));
    for (int i = 0; i < 7; ++i)
        back.push_back(timed(Qt::Key_Backspace, QString()));
    report(QStringLiteral(" | Backspace %1").arg(median(back), 0, 'f', 2));
    for (int i = 0; i < 5; ++i) {
        ret.push_back(timed(Qt::Key_Return, QStringLiteral("\r")));
        key(s->keyTarget(), Qt::Key_Backspace);
        QApplication::processEvents();
    }
    report(QStringLiteral(" | Return %1 ms").arg(median(ret), 0, 'f', 2));
}

// Processor time of the whole process so far, in ms: on a machine shared
// with other work, wall time alone says more about the others.
double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

// A real-code file as a user opens it: the bytes are read and decoded inside
// the measurement, the widget takes the text, every line is coloured. Memory
// is what the process holds afterwards beyond what it held before.
QString measureFile(int kind, const QString& path)
{
    alarm(300);
    App a;
    Subject* s = make(kind, Cpp);
    if (!s)
        return QStringLiteral("(not built)");
    const double rss0 = bench::residentBytes();
    const double cpu0 = cpuMs();
    QElapsedTimer t;
    t.start();
    qsizetype chars = 0;
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("(cannot read %1)").arg(path);
        QString text = QString::fromUtf8(f.readAll());
        chars = text.size();
        s->takeText(std::move(text));
    }
    const double load = bench::msSince(t);
    t.restart();
    if (kind == 0) {
        TextView* v = static_cast<Ours*>(s)->e->view();
        TextDocument* doc = v->document();
        const int n = doc->lastLine() + 1;
        for (int i = 0; i < n; ++i) {
            TextLine* l = doc->lineOf(i);
            if (!l->isHighlighted())
                v->highlight(l);
        }
    } else if (kind == 1) {
        static_cast<Plain*>(s)->hl->rehighlight();
    }
#ifdef VEXA_HAVE_QSCINTILLA
    else {
        static_cast<Scintilla*>(s)->w.SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0L, -1L);
    }
#endif
    const double colour = bench::msSince(t);
    const double cpu = cpuMs() - cpu0;
    const double added = bench::residentBytes() - rss0;

    const double firstPaint = showAndPaint(s);
    std::vector<double> pages;
    for (int i = 0; i < 100; ++i) {
        t.restart();
        key(s->keyTarget(), Qt::Key_PageDown);
        s->surface()->repaint();
        pages.push_back(bench::msSince(t));
    }
    key(s->keyTarget(), Qt::Key_Home, Qt::ControlModifier);
    QApplication::processEvents();
    t.restart();
    key(s->keyTarget(), Qt::Key_End, Qt::ControlModifier);
    s->surface()->repaint();
    const double toEnd = bench::msSince(t);
    return QStringLiteral("load %1 + colour all %2 = %3 ms (processor %10 ms) | RSS added %4 MB = "
                          "%5 B/char | first paint %6 ms | page-down avg %7 max %8 ms | Ctrl+End + "
                          "paint %9 ms")
        .arg(load, 0, 'f', 0)
        .arg(colour, 0, 'f', 0)
        .arg(load + colour, 0, 'f', 0)
        .arg(added / 1048576.0, 0, 'f', 1)
        .arg(added / double(qMax<qsizetype>(1, chars)), 0, 'f', 2)
        .arg(firstPaint, 0, 'f', 1)
        .arg(std::accumulate(pages.begin(), pages.end(), 0.0) / double(pages.size()), 0, 'f', 2)
        .arg(maximum(pages), 0, 'f', 2)
        .arg(toEnd, 0, 'f', 2)
        .arg(cpu, 0, 'f', 0);
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
    // VEXA_BENCH_ONLY=0|1|2 measures one widget only.
    const int only = qEnvironmentVariableIsSet("VEXA_BENCH_ONLY")
                         ? qEnvironmentVariableIntValue("VEXA_BENCH_ONLY")
                         : -1;
    std::printf("Text view, 1000x800 offscreen. Times in ms.\n");
    // VEXA_BENCH_TABS=1 runs only the keys at the end of a long line of
    // tabs, beside the same line without them.
    {
        std::printf("\nKeys at the end of one line of \"\\tx;\" and of \" x;\" (median ms)\n");
        const int cap = qEnvironmentVariableIsSet("VEXA_BENCH_PEER_CAP")
                            ? qEnvironmentVariableIntValue("VEXA_BENCH_PEER_CAP")
                            : 120;
        for (int mb : {5, 20}) {
            for (QChar c : {QChar(u'\t'), QChar(u' ')}) {
                QString line = QString(c) + QStringLiteral("x;");
                line = line.repeated(mb * 1024 * 1024 / 3);
                std::printf("  %d MB, %s\n", mb, c == u'\t' ? "tabs" : "no tabs");
                for (int k = 0; k < 3; ++k)
                    if (only < 0 || only == k)
                        std::printf(
                            "    %-34s %s\n", kinds[k],
                            qPrintable(stepsInChild(
                                [&](const auto& report) { measureLineEnd(k, &line, report); },
                                k == 0 ? 600 : cap)));
            }
        }
        if (qEnvironmentVariableIsSet("VEXA_BENCH_TABS"))
            return 0;
    }
    // VEXA_BENCH_HUGE_LINE=1 runs only the 30M-character line; a peer gets
    // VEXA_BENCH_PEER_CAP seconds (120 by default) for all of its steps.
    {
        QString huge;
        const qsizetype want = 30 * 1000 * 1000;
        const QString chunk = QStringLiteral("int value = compute(42, \"text\") + other; /* c */ ");
        huge.reserve(want + chunk.size());
        while (huge.size() < want)
            huge += chunk;
        huge.truncate(want);
        const int cap = qEnvironmentVariableIsSet("VEXA_BENCH_PEER_CAP")
                            ? qEnvironmentVariableIntValue("VEXA_BENCH_PEER_CAP")
                            : 120;
        std::printf("\nOne line of 30M characters, wrapped\n");
        for (int k = 0; k < 3; ++k)
            if (only < 0 || only == k)
                std::printf("  %-36s %s\n", kinds[k],
                            qPrintable(stepsInChild(
                                [&](const auto& report) { measureHugeLine(k, &huge, report); },
                                k == 0 ? 600 : cap)));
        if (qEnvironmentVariableIsSet("VEXA_BENCH_HUGE_LINE"))
            return 0;
    }
    // Keystrokes with their repaint near the top, in the middle and near
    // the end of real code: 1 MB and 10 MB of the Qt headers.
    // VEXA_BENCH_KEYS=1 runs only these.
    for (int mb : {1, 10}) {
        const QString code = bench::qtHeaders(mb);
        std::printf("\nQt headers, %.1f MB, %lld lines, coloured as C++\n",
                    double(code.size()) / 1048576.0, (long long)code.count(QLatin1Char('\n')));
        for (int k = 0; k < 3; ++k)
            if (only < 0 || only == k)
                std::printf("  %-36s %s\n", kinds[k],
                            qPrintable(bench::inChild([&] { return measure(k, &code, false); })));
    }
    if (qEnvironmentVariableIsSet("VEXA_BENCH_KEYS")) {
        std::printf("\nOne 5 MB line\n");
        for (int k = 0; k < 3; ++k)
            if (only < 0 || only == k)
                std::printf("  %-36s %s\n", kinds[k],
                            qPrintable(bench::inChild([&] { return measure(k, &single, false); })));
        return 0;
    }
    // VEXA_BENCH_COLOURING=1 runs only the colouring figures.
    if (!qEnvironmentVariableIsSet("VEXA_BENCH_COLOURING")) {
        std::printf("\n1M-line highlighted C++ document (%lld lines)\n",
                    (long long)cpp.count('\n'));
        for (int k = 0; k < 3; ++k)
            if (only < 0 || only == k)
                std::printf("  %-36s %s\n", kinds[k],
                            qPrintable(bench::inChild([&] { return measure(k, &cpp, true); })));
        if (!qEnvironmentVariableIsSet("VEXA_BENCH_NO_LONG_LINE")) {
            std::printf("\nOne 5 MB line\n");
            for (int k = 0; k < 3; ++k)
                if (only < 0 || only == k)
                    std::printf("  %-36s %s\n", kinds[k], qPrintable(bench::inChild([&] {
                                    return measure(k, &single, false);
                                })));
        }
    }

    // VEXA_BENCH_COLOURING=line or =file runs only that part of them.
    const QByteArray part = qgetenv("VEXA_BENCH_COLOURING");
    if (part != "file") {
        const QString data = bench::minifiedData(5);
        const char* scriptKinds[3] = {"ours (Java rules)", "QPlainTextEdit+QSyntaxHighlighter",
                                      "QsciScintilla+QsciLexerJavaScript"};
        for (Language lang : {Cpp, Script}) {
            std::printf("\nOne 5 MB line of minified data, coloured as %s\n",
                        lang == Cpp ? "C++" : "a script language");
            for (int k = 0; k < 3; ++k)
                if (only < 0 || only == k)
                    std::printf("  %-36s %s\n", lang == Cpp ? kinds[k] : scriptKinds[k],
                                qPrintable(bench::inChild(
                                    [&] { return measure(k, &data, false, lang); }, 200)));
        }
    }
    if (part == "line")
        return 0;
    const QString headers = bench::qtHeaders(10);
    const QString path = QDir::temp().filePath(QStringLiteral("vexa-bench-qt-headers.h"));
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(headers.toUtf8());
    }
    std::printf("\nQt headers, %.1f MB, %lld lines, coloured as C++\n",
                double(headers.size()) / 1048576.0, (long long)headers.count(QLatin1Char('\n')));
    for (int k = 0; k < 3; ++k)
        if (only < 0 || only == k)
            std::printf("  %-36s %s\n", kinds[k],
                        qPrintable(bench::inChild([&] { return measureFile(k, path); })));
    QFile::remove(path);
    return 0;
}
