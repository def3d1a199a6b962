#ifndef QTUNDO_H
#define QTUNDO_H

#include <QAction>
#include <QListWidget>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <vector>

class QtUndoStack;

// Base of every undoable change. Macro markers are plain commands of type
// MacroBegin or MacroEnd whose redo() and undo() do nothing.
class QtCommand : public QObject
{
    Q_OBJECT

public:
    enum Type { Command = 0, MacroBegin = 1, MacroEnd = 2 };

    explicit QtCommand(const QString& description = QString(), bool canMerge = true);
    QtCommand(Type type, const QString& description, bool canMerge);

    virtual void redo() {}
    virtual void undo() {}
    // Absorbs `other` (already executed) into this command and returns true,
    // or returns false and changes nothing.
    virtual bool mergeMeWith(QtCommand* other);

    QString description() const { return m_description; }
    void setDescription(const QString& description) { m_description = description; }
    bool canMerge() const { return m_can_merge; }
    void setCanMerge(bool b) { m_can_merge = b; }
    Type type() const { return m_type; }
    bool isMacroBegin() const { return m_type == MacroBegin; }
    bool isMacroEnd() const { return m_type == MacroEnd; }
    bool isCommand() const { return m_type == Command; }

private:
    friend class QtUndoStack;
    bool m_can_merge;
    QString m_description;
    Type m_type;
    // Identity of the command within its stack. The clean mark compares
    // serials, not addresses: a freed command's address may be reused.
    quint64 m_serial = 0;
};

// What can be undone and redone, recorded before a change so that only the
// signals whose values changed are emitted afterwards.
struct QtUndoState {
    bool can_undo = false;
    bool can_redo = false;
    bool clean = false;
    QString undo_description;
    QString redo_description;
};

// The commands of one document in execution order, with a position between
// the done and the undone ones, merging, macros and a clean mark. Owns its
// commands.
class QtUndoStack : public QObject
{
    Q_OBJECT

public:
    explicit QtUndoStack(QObject* parent, const char* name = nullptr);
    ~QtUndoStack() override;

    // Executes the command and records it; the stack takes ownership.
    void push(QtCommand* command);

    bool isClean() const;
    bool canUndo() const;
    bool canRedo() const;
    QString undoDescription() const;
    QString redoDescription() const;
    QStringList undoList() const;
    QStringList redoList() const;

    int count() const { return int(m_list.size()); }
    bool inMacro() const { return m_macro_nest > 0; }
    unsigned numCommands() const { return m_num_commands; }

    QAction* createUndoAction(QWidget* parent) const;
    QAction* createRedoAction(QWidget* parent) const;

    // A change of several commands that must be made whole or not at all:
    // mark() before it, then release() once it is made, or rollBack() when
    // a command of it could not get its memory (std::bad_alloc), which
    // undoes and forgets every command recorded since the mark and closes
    // the macros opened since. Commands from before the mark take no merge
    // meanwhile (a change of one command merges at release()). A redo tail
    // dropped by the change stays dropped.
    struct Mark {
        quint64 serial;
        int macroNest;
        unsigned numCommands;
        quint64 mergeFloor;
    };
    Mark mark();
    void release(const Mark& m);
    void rollBack(const Mark& m);

public slots:
    // A step whose commands cannot get their memory is not taken (the
    // steps before it are), and outOfMemory() is emitted.
    void undo() { undo(1); }
    void undo(int count);
    void redo() { redo(1); }
    void redo(int count);
    virtual void clear();
    void setClean();

signals:
    void outOfMemory();
    void cleanChanged(bool clean);
    void commandExecuted();
    void undoDescriptionChanged(const QString& description);
    void redoDescriptionChanged(const QString& description);
    void canUndoChanged(bool enabled);
    void canRedoChanged(bool enabled);

private:
    void beforeChange(QtUndoState& state) const;
    void afterChange(const QtUndoState& state);
    int findMacroBegin(int endIndex) const;
    int findMacroEnd(int beginIndex) const;
    void undoMacro();
    void redoMacro();
    void append(QtCommand* command);
    void deleteAll();

    std::vector<QtCommand*> m_list;
    int m_current = -1; // index of the last done command; -1 when none is done
    unsigned m_num_commands = 0;
    int m_macro_nest = 0;
    bool m_have_clean_command = true;
    quint64 m_clean_serial = 0; // 0 designates the state in which nothing is done
    quint64 m_next_serial = 1;
    quint64 m_merge_floor = 0; // commands older than this take no merge
};

// The process-wide object that knows every stack and the view object each
// serves. It follows the keyboard focus: the stack of the focused widget or
// its nearest associated ancestor is current, and the undo and redo
// operations, flags and texts refer to it.
class QtUndoManager : public QObject
{
    Q_OBJECT

public:
    static QtUndoManager* manager();

    void associateView(QObject* view, QtUndoStack* stack);
    void disassociateView(QObject* view);
    QtUndoStack* currentStack() const;

    bool canUndo() const { return m_can_undo; }
    bool canRedo() const { return m_can_redo; }
    QString undoDescription() const { return m_undo_description; }
    QString redoDescription() const { return m_redo_description; }
    QStringList undoList() const;
    QStringList redoList() const;

    unsigned undoLimit() const { return m_undo_limit; }
    void setUndoLimit(unsigned limit) { m_undo_limit = limit; }

    QAction* createUndoAction(QWidget* parent) const;
    QAction* createRedoAction(QWidget* parent) const;

public slots:
    void undo() { undo(1); }
    void undo(int count);
    void redo() { redo(1); }
    void redo(int count);
    void updateActions();

signals:
    void changed();
    void undoDescriptionChanged(const QString& description);
    void redoDescriptionChanged(const QString& description);
    void canUndoChanged(bool enabled);
    void canRedoChanged(bool enabled);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private slots:
    void stackDestroyed(QObject* stack);
    void viewDestroyed(QObject* view);

private:
    friend class QtUndoStack;
    QtUndoManager();

    QMap<QObject*, QtUndoStack*> m_stack_map;
    mutable QtUndoStack* m_current_stack = nullptr;
    bool m_can_undo = false;
    bool m_can_redo = false;
    QString m_undo_description;
    QString m_redo_description;

    static QtUndoManager* m_manager;
    static unsigned m_undo_limit;
};

// An action whose text follows an undo or redo description.
class UndoRedoAction : public QAction
{
    Q_OBJECT

public:
    explicit UndoRedoAction(QWidget* parent, const char* name = nullptr);

public slots:
    void setTextSlot(const QString& text);
};

// The undo history of the current stack as a list: the first row is the
// state with nothing done, the current row is the present state, rows below
// it can be redone. Choosing a row undoes or redoes to it.
class QtUndoListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit QtUndoListBox(QWidget* parent = nullptr, const char* name = nullptr);

public slots:
    void updateContents();

private slots:
    void undoOrRedo();

private:
    int m_undo_idx = -1;
    bool m_dont_update = false;
};

#endif
