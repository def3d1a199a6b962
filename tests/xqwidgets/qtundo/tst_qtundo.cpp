#include "xqwidgets/debuglog.h"
#include "xqwidgets/qtundo/qtundo.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

// A command that appends its letter to a shared log string on redo and
// removes it on undo, so the log shows exactly what is done.
class LogCommand : public QtCommand
{
    Q_OBJECT
public:
    LogCommand(QString* log, const QString& text, bool merge = true)
        : QtCommand(QStringLiteral("log ") + text, merge), log(log), text(text)
    {
    }
    void redo() override { log->append(text); }
    void undo() override { log->chop(text.size()); }
    // Merges texts of letters only, like word-wise typing.
    bool mergeMeWith(QtCommand* other) override
    {
        auto* o = qobject_cast<LogCommand*>(other);
        if (!o || !o->text.at(0).isLetter())
            return false;
        text += o->text;
        setDescription(QStringLiteral("log ") + text);
        return true;
    }
    QString* log;
    QString text;
};

class OtherCommand : public QtCommand
{
    Q_OBJECT
public:
    explicit OtherCommand(QString* log) : QtCommand(QStringLiteral("other"), true), log(log) {}
    void redo() override { log->append(QLatin1Char('#')); }
    void undo() override { log->chop(1); }
    QString* log;
};

// A command that cannot get its memory when `fails` says so: it throws
// std::bad_alloc before changing anything, as the text commands do.
class GreedyCommand : public QtCommand
{
    Q_OBJECT
public:
    GreedyCommand(QString* log, const bool* fails)
        : QtCommand(QStringLiteral("greedy"), false), log(log), fails(fails)
    {
    }
    void redo() override
    {
        if (*fails)
            throw std::bad_alloc();
        log->append(QLatin1Char('G'));
    }
    void undo() override
    {
        if (*fails)
            throw std::bad_alloc();
        log->chop(1);
    }
    QString* log;
    const bool* fails;
};

// Records every change signal of a stack, in order, as one string per signal.
class SignalLog : public QObject
{
public:
    explicit SignalLog(QtUndoStack* s)
    {
        connect(s, &QtUndoStack::commandExecuted, this, [this] { events << "executed"; });
        connect(s, &QtUndoStack::canUndoChanged, this,
                [this](bool b) { events << QStringLiteral("canUndo %1").arg(b); });
        connect(s, &QtUndoStack::canRedoChanged, this,
                [this](bool b) { events << QStringLiteral("canRedo %1").arg(b); });
        connect(s, &QtUndoStack::undoDescriptionChanged, this,
                [this](const QString& t) { events << "undoText " + t; });
        connect(s, &QtUndoStack::redoDescriptionChanged, this,
                [this](const QString& t) { events << "redoText " + t; });
        connect(s, &QtUndoStack::cleanChanged, this,
                [this](bool b) { events << QStringLiteral("clean %1").arg(b); });
    }
    QStringList events;
};

class TestQtUndo : public QObject
{
    Q_OBJECT

private slots:
    void newStack();
    void pushSignalOrder();
    void mergeRules();
    void macrosAreOneStep();
    void nestedMacros();
    void undoRedoBeyondAvailable();
    void pushAfterUndoDropsTail();
    void cleanMark();
    void refusedChangesLeaveNoTrace();
    void misuseWarnings();
    void actionsFollowStack();
    void managerFollowsFocus();
    void managerForgetsDestroyedStack();
    void listBoxUndoesAndRedoes();
};

void TestQtUndo::newStack()
{
    QObject owner;
    QtUndoStack s(&owner);
    QVERIFY(!s.canUndo());
    QVERIFY(!s.canRedo());
    QVERIFY(s.isClean());
    QVERIFY(s.undoDescription().isNull());
    QVERIFY(s.redoDescription().isNull());
    QVERIFY(s.undoList().isEmpty());
    QVERIFY(s.redoList().isEmpty());
}

void TestQtUndo::pushSignalOrder()
{
    QObject owner;
    QtUndoStack s(&owner);
    SignalLog log(&s);
    QString text;
    s.push(new LogCommand(&text, "a"));
    QCOMPARE(text, QString("a"));
    QCOMPARE(log.events, QStringList({"executed", "canUndo 1", "undoText log a", "clean 0"}));

    log.events.clear();
    s.undo();
    QCOMPARE(text, QString());
    QCOMPARE(log.events, QStringList({"canUndo 0", "canRedo 1", "undoText ", "redoText log a",
                                      "clean 1", "executed"}));

    log.events.clear();
    s.undo(0);
    s.redo(0);
    QVERIFY(log.events.isEmpty());
}

void TestQtUndo::mergeRules()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    s.push(new LogCommand(&text, "a"));
    QPointer<QtCommand> second = new LogCommand(&text, "b");
    s.push(second);
    QVERIFY(second.isNull()); // merged commands are deleted
    QCOMPARE(s.undoList(), QStringList({"log ab"}));
    // A command that refuses the merge is appended.
    s.push(new LogCommand(&text, "1"));
    // Another class never merges, whatever its flag.
    s.push(new OtherCommand(&text));
    // The new command's own flag decides, not the previous one's.
    s.push(new LogCommand(&text, "c", false));
    QCOMPARE(s.undoList(), QStringList({"log ab", "log 1", "other", "log c"}));
    QCOMPARE(text, QString("ab1#c"));
    s.undo(4);
    QCOMPARE(text, QString());
    s.redo(4);
    QCOMPARE(text, QString("ab1#c"));
}

void TestQtUndo::macrosAreOneStep()
{
    QObject owner;
    QtUndoStack s(&owner);
    SignalLog log(&s);
    QString text;
    s.push(new QtCommand(QtCommand::MacroBegin, "typing", true));
    s.push(new LogCommand(&text, "x"));
    s.push(new OtherCommand(&text));
    QVERIFY(!s.canUndo());
    QVERIFY(s.undoList().isEmpty());
    QVERIFY(s.redoList().isEmpty());
    QVERIFY(!log.events.contains("executed"));
    s.push(new LogCommand(&text, "y"));
    s.push(new QtCommand(QtCommand::MacroEnd, QString(), false));
    QCOMPARE(log.events.count("executed"), 1);
    QCOMPARE(text, QString("x#y"));
    QCOMPARE(s.undoDescription(), QString("typing"));
    QCOMPARE(s.undoList(), QStringList({"typing"}));
    QCOMPARE(s.numCommands(), 1u);

    s.undo();
    QCOMPARE(text, QString());
    QCOMPARE(s.redoList(), QStringList({"typing"}));
    QCOMPARE(s.redoDescription(), QString("typing"));
    s.redo();
    QCOMPARE(text, QString("x#y"));
    QVERIFY(!s.canRedo());
}

void TestQtUndo::nestedMacros()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    s.push(new LogCommand(&text, "a"));
    s.push(new QtCommand(QtCommand::MacroBegin, "outer", true));
    s.push(new LogCommand(&text, "1"));
    s.push(new QtCommand(QtCommand::MacroBegin, "inner", true));
    s.push(new LogCommand(&text, "2"));
    s.push(new QtCommand(QtCommand::MacroEnd, QString(), false));
    QVERIFY(!s.canUndo()); // still inside the outer macro
    s.push(new LogCommand(&text, "3"));
    s.push(new QtCommand(QtCommand::MacroEnd, QString(), false));
    QCOMPARE(s.undoList(), QStringList({"log a", "outer"}));
    s.undo();
    QCOMPARE(text, QString("a"));
    s.redo();
    QCOMPARE(text, QString("a123"));
    s.undo(2);
    QCOMPARE(text, QString());
    QCOMPARE(s.redoList(), QStringList({"log a", "outer"}));
}

void TestQtUndo::undoRedoBeyondAvailable()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    s.push(new LogCommand(&text, "a"));
    s.push(new LogCommand(&text, "1"));
    QSignalSpy executed(&s, &QtUndoStack::commandExecuted);
    // The warnings are for developers: silent unless their category is on.
    QVERIFY(!xqwidgets::lcUndo().isWarningEnabled());
    QLoggingCategory::setFilterRules(QStringLiteral("xqwidgets.undo.warning=true"));
    QTest::ignoreMessage(QtWarningMsg, "QtUndoStack::undo(): can't undo");
    s.undo(5);
    QCOMPARE(text, QString());
    QCOMPARE(executed.count(), 1);
    QTest::ignoreMessage(QtWarningMsg, "QtUndoStack::redo(): can't redo");
    s.redo(7);
    QCOMPARE(text, QString("a1"));
    QCOMPARE(executed.count(), 2);
    // Nothing to do at all: a warning, no signals.
    QTest::ignoreMessage(QtWarningMsg, "QtUndoStack::redo(): can't redo");
    s.redo();
    QCOMPARE(executed.count(), 2);
    QLoggingCategory::setFilterRules(QString());
}

void TestQtUndo::pushAfterUndoDropsTail()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    QPointer<QtCommand> a = new LogCommand(&text, "a");
    QPointer<QtCommand> b = new LogCommand(&text, "1");
    s.push(a);
    s.push(b);
    s.undo(2);
    s.push(new OtherCommand(&text));
    QVERIFY(a.isNull());
    QVERIFY(b.isNull());
    QCOMPARE(s.count(), 1);
    QVERIFY(!s.canRedo());
    QCOMPARE(text, QString("#"));
}

void TestQtUndo::cleanMark()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    s.push(new LogCommand(&text, "a"));
    QSignalSpy clean(&s, &QtUndoStack::cleanChanged);
    s.setClean();
    QCOMPARE(clean.count(), 1);
    QVERIFY(s.isClean());
    // The next mergeable command is appended, not merged into the clean one.
    s.push(new LogCommand(&text, "b"));
    QCOMPARE(s.count(), 2);
    QVERIFY(!s.isClean());
    s.undo();
    QVERIFY(s.isClean());

    // Undo to the clean state, then push: the mark still designates a
    // reachable state, so undoing the new command is clean again.
    s.push(new OtherCommand(&text));
    QVERIFY(!s.isClean());
    s.undo();
    QVERIFY(s.isClean());

    // A mark on a dropped command never matches again, even when a new
    // command lands at the freed address.
    s.redo();
    s.setClean(); // on "other"
    s.undo();
    for (int i = 0; i < 50; ++i) {
        s.push(new OtherCommand(&text));
        QVERIFY(!s.isClean());
        s.undo();
    }
    // Clearing makes the empty stack clean.
    s.clear();
    QVERIFY(s.isClean());
}

// What a command that cannot get its memory refuses: a change under a mark
// goes whole (its macros closed, its commands forgotten, the history before
// it intact, a typed word still one step); an undo or redo step goes back
// to where it was and says so.
void TestQtUndo::refusedChangesLeaveNoTrace()
{
    QObject owner;
    QtUndoStack s(&owner);
    QSignalSpy refused(&s, &QtUndoStack::outOfMemory);
    QString text;
    bool fails = false;
    s.push(new LogCommand(&text, "a"));
    s.push(new LogCommand(&text, "b"));
    s.setClean();

    // A change of a macro with a merge inside it fails at its third command.
    const QtUndoStack::Mark mark = s.mark();
    fails = true;
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, [&] {
        s.push(new QtCommand(QtCommand::MacroBegin, "change", true));
        s.push(new LogCommand(&text, "x"));
        s.push(new LogCommand(&text, "y"));
        s.push(new GreedyCommand(&text, &fails));
    }());
    QCOMPARE(text, QString("abxy"));
    s.rollBack(mark);
    QCOMPARE(text, QString("ab"));
    QVERIFY(!s.inMacro());
    QVERIFY(s.isClean());
    QCOMPARE(s.count(), 1);
    QCOMPARE(s.undoList(), QStringList({"log ab"}));

    // A change of one command merges once it is made.
    fails = false;
    s.setClean();
    const QtUndoStack::Mark typed = s.mark();
    s.push(new LogCommand(&text, "c"));
    QCOMPARE(s.count(), 2);
    s.release(typed);
    QCOMPARE(s.count(), 2); // not into the clean state
    const QtUndoStack::Mark more = s.mark();
    s.push(new LogCommand(&text, "d"));
    s.release(more);
    QCOMPARE(s.undoList(), QStringList({"log ab", "log cd"}));

    // An undo step whose command cannot run is not taken; the steps before
    // it are.
    s.push(new QtCommand(QtCommand::MacroBegin, "greedy step", true));
    s.push(new OtherCommand(&text));
    s.push(new GreedyCommand(&text, &fails));
    s.push(new OtherCommand(&text));
    s.push(new QtCommand(QtCommand::MacroEnd, QString(), false));
    s.push(new OtherCommand(&text));
    QCOMPARE(text, QString("abcd#G##"));
    fails = true;
    s.undo(2);
    QCOMPARE(text, QString("abcd#G#"));
    QCOMPARE(refused.count(), 1);
    QCOMPARE(s.undoDescription(), QString("greedy step"));
    fails = false;
    s.undo();
    QCOMPARE(text, QString("abcd"));
    fails = true;
    s.redo();
    QCOMPARE(text, QString("abcd"));
    QCOMPARE(refused.count(), 2);
    QCOMPARE(s.redoDescription(), QString("greedy step"));
    fails = false;
    s.redo(2);
    QCOMPARE(text, QString("abcd#G##"));
}

void TestQtUndo::misuseWarnings()
{
    QObject owner;
    QtUndoStack s(&owner);
    QString text;
    s.push(new LogCommand(&text, "a"));
    s.undo();
    QTest::ignoreMessage(QtWarningMsg, "QtUndoStack::push(): MacroEnd without MacroBegin");
    s.push(new QtCommand(QtCommand::MacroEnd, QString(), false));
    // The redo tail was dropped, nothing else recorded.
    QCOMPARE(s.count(), 0);

    QtUndoManager* m = QtUndoManager::manager();
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::associateView(): cannot associate a null object");
    m->associateView(nullptr, &s);
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::associateView(): cannot associate a null stack");
    m->associateView(&owner, nullptr);
    QObject other;
    QtUndoStack second(&other);
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::associateView(): view already associated with a stack");
    m->associateView(&owner, &second);
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::disassociateView(): canot disassociate null object");
    m->disassociateView(nullptr);
    QObject stranger;
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::disassociateView(): object has no associated stack");
    m->disassociateView(&stranger);
    QTest::ignoreMessage(QtWarningMsg,
                         "QtUndoManager::associateView(): cannot associate a null object");
    QtUndoStack orphan(nullptr);
    QTest::failOnWarning(QRegularExpression("."));
    QVERIFY(!orphan.canUndo());
}

void TestQtUndo::actionsFollowStack()
{
    QObject owner;
    QtUndoStack s(&owner);
    QWidget w;
    QAction* undo = s.createUndoAction(&w);
    QAction* redo = s.createRedoAction(&w);
    QCOMPARE(undo->objectName(), QString("Undo"));
    QVERIFY(!undo->isEnabled());
    QString text;
    s.push(new LogCommand(&text, "a"));
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QString("log a"));
    undo->trigger();
    QCOMPARE(text, QString());
    QVERIFY(!undo->isEnabled());
    QVERIFY(redo->isEnabled());
    QCOMPARE(redo->text(), QString("log a"));
}

void TestQtUndo::managerFollowsFocus()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* viewA = new QWidget;
    auto* editA = new QLineEdit(viewA);
    auto* viewB = new QWidget;
    auto* editB = new QLineEdit(viewB);
    auto* unrelated = new QLineEdit;
    layout->addWidget(viewA);
    layout->addWidget(viewB);
    layout->addWidget(unrelated);
    QObject docA, docB;
    QtUndoStack stackA(&docA), stackB(&docB);
    QtUndoManager* m = QtUndoManager::manager();
    m->associateView(viewA, &stackA);
    m->associateView(viewB, &stackB);
    QAction* undo = m->createUndoAction(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QString textA, textB;
    stackA.push(new LogCommand(&textA, "a"));
    editB->setFocus();
    QTRY_COMPARE(m->currentStack(), &stackB);
    QVERIFY(!m->canUndo());
    QCOMPARE(undo->text(), QString("Undo"));
    QVERIFY(!undo->isEnabled());

    editA->setFocus();
    QTRY_COMPARE(m->currentStack(), &stackA);
    QVERIFY(m->canUndo());
    QCOMPARE(undo->text(), QString("Undo log a"));
    QVERIFY(undo->isEnabled());

    // Focus on a widget with no associated ancestor keeps the last stack.
    unrelated->setFocus();
    QTRY_VERIFY(unrelated->hasFocus());
    QCOMPARE(m->currentStack(), &stackA);
    undo->trigger();
    QCOMPARE(textA, QString());
    QVERIFY(!undo->isEnabled());
    m->disassociateView(viewA);
    m->disassociateView(viewB);
}

void TestQtUndo::managerForgetsDestroyedStack()
{
    QWidget view;
    auto* edit = new QLineEdit(&view);
    QtUndoManager* m = QtUndoManager::manager();
    QString text;
    {
        QObject doc;
        QtUndoStack stack(&doc);
        m->associateView(&view, &stack);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        edit->setFocus();
        QTRY_COMPARE(m->currentStack(), &stack);
        stack.push(new LogCommand(&text, "a"));
        QVERIFY(m->canUndo());
    }
    QCOMPARE(m->currentStack(), nullptr);
    QVERIFY(!m->canUndo());
    QCOMPARE(m->undoDescription(), QString("Undo"));
    // The view is free again: associating it warns about nothing.
    QObject doc2;
    QtUndoStack stack2(&doc2);
    QTest::failOnWarning(QRegularExpression("."));
    m->associateView(&view, &stack2);
    m->disassociateView(&view);
}

void TestQtUndo::listBoxUndoesAndRedoes()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new QLineEdit;
    layout->addWidget(view);
    QObject doc;
    QtUndoStack stack(&doc);
    QtUndoManager* m = QtUndoManager::manager();
    m->associateView(view, &stack);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    view->setFocus();
    QTRY_COMPARE(m->currentStack(), &stack);

    QString text;
    stack.push(new LogCommand(&text, "a"));
    stack.push(new LogCommand(&text, "1"));
    stack.push(new LogCommand(&text, "2"));
    stack.undo();
    QtUndoListBox list;
    QCOMPARE(list.count(), 4);
    QCOMPARE(list.item(0)->text(), QString("<empty>"));
    QCOMPARE(list.currentRow(), 2);

    list.setCurrentRow(0);
    QCOMPARE(text, QString());
    QCOMPARE(list.currentRow(), 0);
    list.setCurrentRow(3);
    QCOMPARE(text, QString("a12"));
    QCOMPARE(list.currentRow(), 3);
    m->disassociateView(view);
}

QTEST_MAIN(TestQtUndo)
#include "tst_qtundo.moc"
