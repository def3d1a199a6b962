#ifndef VEXA_BENCHUTIL_H
#define VEXA_BENCHUTIL_H

// Small helpers shared by the benchmarks: generated source text, resident
// memory, timing, and running each measurement in a fresh child process so
// that memory figures of one peer never include another's leftovers.

#include <QApplication>
#include <QByteArray>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench
{

// Real-looking C++: comments, strings, preprocessor lines, nesting, blanks.
inline QByteArray generateCpp(int lines)
{
    static const char* const pattern[] = {
        "#include <vector>",
        "// Computes the running total of the values it is given.",
        "/* A block comment that spans",
        "   two lines of the file. */",
        "namespace demo {",
        "",
        "class Accumulator",
        "{",
        "public:",
        "    explicit Accumulator(int start) : m_total(start) {}",
        "    int add(const std::vector<int>& values)",
        "    {",
        "        for (int v : values) {",
        "            if (v < 0 && m_strict)",
        "                throw std::runtime_error(\"negative value: \" + std::to_string(v));",
        "            m_total += v * 2 + 0x1f;",
        "        }",
        "        return m_total; // the new total",
        "    }",
        "",
        "private:",
        "    int m_total = 0;",
        "    bool m_strict = false;",
        "};",
        "#define SQUARE(x) ((x) * (x))",
        "} // namespace demo",
        "",
    };
    const int n = int(sizeof(pattern) / sizeof(pattern[0]));
    QByteArray out;
    out.reserve(qsizetype(lines) * 36);
    for (int i = 0; i < lines; ++i) {
        out += pattern[i % n];
        out += '\n';
    }
    return out;
}

// Benchmarks draw offscreen unless told otherwise (QT_QPA_PLATFORM=xcb, say).
inline void offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The application object every measurement's child process makes first.
struct App {
    int argc = 1;
    char name[8] = "bench";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

// The path of a generated C++ file of `lines` lines in `dir`, written once.
inline QString generatedFile(const QString& dir, int lines)
{
    const QString path = dir + QStringLiteral("/gen-%1.cpp").arg(lines);
    if (!QFile::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(generateCpp(lines));
    }
    return path;
}

inline double residentBytes()
{
    malloc_trim(0);
    FILE* f = std::fopen("/proc/self/statm", "r");
    long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// A key pressed and released on `target`, as a user types it.
inline void key(QWidget* target, int k, Qt::KeyboardModifiers mods = Qt::NoModifier,
                const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, k, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods, text);
    QApplication::sendEvent(target, &release);
}

inline double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The worst lateness of a 10 ms timer while it runs: how long the event loop
// was held. reset() starts a new measure.
struct Heartbeat {
    QElapsedTimer tick;
    QTimer timer;
    double worst = 0;
    Heartbeat()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            worst = qMax(worst, msSince(tick) - 10.0);
            tick.restart();
        });
        tick.start();
        timer.start();
    }
    void reset()
    {
        worst = 0;
        tick.restart();
    }
};

// Processor time of this process so far.
inline double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// What a child process that ran `work` wrote through the writer it was
// given, whether it finished (a child still running after `capSeconds`, if
// above 0, is killed) and whether it exited cleanly. With a cap, what it
// writes must fit in the pipe's buffer: it is read once the child has ended.
struct ChildRun {
    QString output;
    bool started = false;
    bool finished = false;
    bool clean = false;
};
inline ChildRun
runInChild(const std::function<void(const std::function<void(const QString&)>&)>& work,
           int capSeconds)
{
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        work([&](const QString& text) {
            const QByteArray b = text.toUtf8();
            if (write(fds[1], b.constData(), size_t(b.size())) < 0)
                _exit(1);
        });
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    run.started = true;
    QByteArray result;
    const auto readAll = [&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            result.append(buf, qsizetype(n));
        close(fds[0]);
    };
    int status = 0;
    if (capSeconds > 0) {
        QElapsedTimer t;
        t.start();
        while (!(run.finished = waitpid(pid, &status, WNOHANG) == pid) &&
               t.elapsed() < capSeconds * 1000)
            usleep(20000);
        if (!run.finished) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        readAll();
    } else {
        // Read while it runs: without a cap its output may be any size.
        readAll();
        run.finished = waitpid(pid, &status, 0) == pid;
    }
    run.clean = run.finished && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.output = QString::fromUtf8(result);
    return run;
}

// Runs `work` in a child process and returns what it gave (one line).
// With a cap (seconds, above 0) a child still running then is killed and the
// answer is "(over N s)".
inline QString inChild(const std::function<QString()>& work, int capSeconds = 0)
{
    const ChildRun run = runInChild([&](const auto& write) { write(work()); }, capSeconds);
    if (!run.started)
        return QStringLiteral("(pipe failed)");
    if (!run.finished)
        return QStringLiteral("(over %1 s)").arg(capSeconds);
    if (run.output.isEmpty())
        return QStringLiteral("(failed)");
    return run.output;
}

// Generated C++ as one text, without the final line feed.
inline QString cppText(int lines)
{
    QString s = QString::fromUtf8(generateCpp(lines));
    s.chop(1);
    return s;
}

// Lines of 40 characters: a number, letters and digits, and at the end
// "needle" on every fifth line, dots on the others; no final line feed.
inline QString needleLines(int lines)
{
    QString s;
    s.reserve(qsizetype(lines) * 41);
    for (int i = 0; i < lines; ++i) {
        QString line = QStringLiteral("%1 abcdefghijklmnopqrstuvwxyz0123456789")
                           .arg(i, 6, 10, QLatin1Char('0'));
        line.truncate(34);
        line += i % 5 == 0 ? QStringLiteral("needle") : QStringLiteral("......");
        s += line;
        s += QLatin1Char('\n');
    }
    s.chop(1);
    return s;
}

// About `megabytes` MB of the files under `dir` whose names match `filters`
// (every file when empty), one after the other in the order of their paths,
// the list repeated when it is shorter.
inline QString headersFrom(const QString& dir, const QStringList& filters, int megabytes)
{
    QString out;
    const qsizetype want = qsizetype(megabytes) * 1024 * 1024;
    QStringList files;
    QDirIterator it(dir, filters, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    while (out.size() < want && !files.isEmpty()) {
        for (const QString& path : std::as_const(files)) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                out += QString::fromUtf8(f.readAll());
            if (out.size() >= want)
                break;
        }
    }
    return out;
}

// About `megabytes` MB of the Qt headers installed on this machine, one
// after the other: real code with comments, macros and long declarations.
inline QString qtHeaders(int megabytes)
{
    return headersFrom(QStringLiteral("/usr/include/x86_64-linux-gnu/qt6"), {QStringLiteral("*.h")},
                       megabytes);
}

// About `megabytes` MB of the C++ standard library's headers: templates,
// long comment blocks, attributes and macros, most files without a suffix.
inline QString standardHeaders(int megabytes)
{
    return headersFrom(QStringLiteral("/usr/include/c++/12"), {}, megabytes);
}

// Minified data on one line: objects with strings, numbers and URLs, as a
// JSON or script bundle comes, never a comment.
inline QString minifiedData(int megabytes)
{
    QString out;
    const qsizetype want = qsizetype(megabytes) * 1024 * 1024;
    out.reserve(want + 256);
    for (int i = 0; out.size() < want; ++i) {
        out += QStringLiteral(
                   "{\"id\":%1,\"name\":\"item %1\",\"url\":\"https://example.com/a/%1?q=%2&p=1\","
                   "\"tags\":[\"x\",\"y%3\"],\"score\":%4.25,\"ok\":%5,\"n\":null},")
                   .arg(i)
                   .arg(i % 97)
                   .arg(i % 7)
                   .arg(i % 1000)
                   .arg(i % 2 ? QStringLiteral("true") : QStringLiteral("false"));
    }
    return out;
}

} // namespace bench

#endif
