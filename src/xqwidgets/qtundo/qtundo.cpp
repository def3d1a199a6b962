#include "xqwidgets/qtundo/qtundo.h"

#include "xqwidgets/debuglog.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QWidget>

#include <new>

// --- QtCommand ---------------------------------------------------------------

QtCommand::QtCommand(const QString& description, bool canMerge)
    : m_can_merge(canMerge), m_description(description), m_type(Command)
{
}

QtCommand::QtCommand(Type type, const QString& description, bool canMerge)
    : m_can_merge(canMerge), m_description(description), m_type(type)
{
}

bool QtCommand::mergeMeWith(QtCommand*)
{
    return false;
}

// --- QtUndoStack -------------------------------------------------------------

QtUndoStack::QtUndoStack(QObject* parent, const char* name) : QObject(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    QtUndoManager* manager = QtUndoManager::manager();
    connect(this, &QObject::destroyed, manager, &QtUndoManager::stackDestroyed);
    manager->associateView(parent, this);
}

QtUndoStack::~QtUndoStack()
{
    deleteAll();
}

void QtUndoStack::deleteAll()
{
    for (QtCommand* c : m_list)
        delete c;
    m_list.clear();
    m_current = -1;
}

bool QtUndoStack::isClean() const
{
    if (!m_have_clean_command)
        return false;
    const quint64 current = m_current < 0 ? 0 : m_list[m_current]->m_serial;
    return current == m_clean_serial;
}

bool QtUndoStack::canUndo() const
{
    if (m_list.empty() || m_macro_nest > 0)
        return false;
    return m_current >= 0;
}

bool QtUndoStack::canRedo() const
{
    if (m_list.empty() || m_macro_nest > 0)
        return false;
    return m_current < int(m_list.size()) - 1;
}

QString QtUndoStack::undoDescription() const
{
    return canUndo() ? m_list[m_current]->description() : QString();
}

QString QtUndoStack::redoDescription() const
{
    return canRedo() ? m_list[m_current + 1]->description() : QString();
}

QStringList QtUndoStack::undoList() const
{
    QStringList result;
    if (m_macro_nest > 0 || m_current < 0)
        return result;
    for (int i = 0; i <= m_current; ++i) {
        const QtCommand* c = m_list[i];
        result.append(c->description());
        if (c->isMacroBegin())
            i = findMacroEnd(i);
    }
    return result;
}

QStringList QtUndoStack::redoList() const
{
    QStringList result;
    if (m_macro_nest > 0)
        return result;
    for (int i = m_current + 1; i < int(m_list.size()); ++i) {
        const QtCommand* c = m_list[i];
        result.append(c->description());
        if (c->isMacroBegin())
            i = findMacroEnd(i);
    }
    return result;
}

void QtUndoStack::beforeChange(QtUndoState& state) const
{
    state.clean = isClean();
    state.can_undo = canUndo();
    state.can_redo = canRedo();
    state.undo_description = undoDescription();
    state.redo_description = redoDescription();
}

void QtUndoStack::afterChange(const QtUndoState& state)
{
    const bool undoNow = canUndo();
    if (undoNow != state.can_undo)
        emit canUndoChanged(undoNow);
    const bool redoNow = canRedo();
    if (redoNow != state.can_redo)
        emit canRedoChanged(redoNow);
    const QString undoText = undoDescription();
    if (undoText != state.undo_description)
        emit undoDescriptionChanged(undoText);
    const QString redoText = redoDescription();
    if (redoText != state.redo_description)
        emit redoDescriptionChanged(redoText);
    const bool cleanNow = isClean();
    const bool cleanChange = cleanNow != state.clean;
    if (cleanChange)
        emit cleanChanged(cleanNow);
    // Inside an open macro nothing the manager shows can change from one
    // command to the next; refreshing it per command would dominate large
    // macros.
    const bool unchanged = undoNow == state.can_undo && redoNow == state.can_redo &&
                           undoText == state.undo_description &&
                           redoText == state.redo_description && !cleanChange;
    if (m_macro_nest > 0 && unchanged)
        return;
    QtUndoManager::manager()->updateActions();
}

int QtUndoStack::findMacroBegin(int endIndex) const
{
    int nest = 1;
    for (int i = endIndex - 1; i >= 0; --i) {
        const QtCommand* c = m_list[i];
        if (c->isMacroEnd())
            ++nest;
        else if (c->isMacroBegin() && --nest == 0)
            return i;
    }
    return -1;
}

int QtUndoStack::findMacroEnd(int beginIndex) const
{
    int nest = 1;
    const int n = int(m_list.size());
    for (int i = beginIndex + 1; i < n; ++i) {
        const QtCommand* c = m_list[i];
        if (c->isMacroBegin())
            ++nest;
        else if (c->isMacroEnd() && --nest == 0)
            return i;
    }
    return n - 1;
}

void QtUndoStack::append(QtCommand* command)
{
    command->m_serial = m_next_serial++;
    m_list.push_back(command);
}

void QtUndoStack::push(QtCommand* command)
{
    QtUndoState state;
    beforeChange(state);

    // A command that cannot get the memory to run (std::bad_alloc from its
    // redo, which then changed nothing) is not recorded, and the stack
    // stays as it was. The room for it is made first, so that once it has
    // run it is recorded without another allocation that could fail.
    try {
        m_list.reserve(m_list.size() + 1);
        command->redo();
    } catch (...) {
        delete command;
        throw;
    }

    // Drop the redo tail. A clean mark on a dropped command can never be
    // reached again, so it goes; a mark on the current command stays, since
    // undoing the new command returns to that state.
    while (m_current < int(m_list.size()) - 1) {
        QtCommand* last = m_list.back();
        if (m_have_clean_command && last->m_serial == m_clean_serial) {
            m_have_clean_command = false;
            m_clean_serial = 0;
        }
        delete last;
        m_list.pop_back();
    }

    switch (command->type()) {
    case QtCommand::MacroBegin:
        append(command);
        ++m_macro_nest;
        break;
    case QtCommand::MacroEnd:
        if (m_macro_nest == 0) {
            qWarning("QtUndoStack::push(): MacroEnd without MacroBegin");
            delete command;
            break;
        }
        append(command);
        --m_macro_nest;
        {
            const int begin = findMacroBegin(int(m_list.size()) - 1);
            if (begin >= 0)
                command->setDescription(m_list[begin]->description());
        }
        if (m_macro_nest == 0) {
            ++m_num_commands;
            m_current = int(m_list.size()) - 1;
            emit commandExecuted();
        }
        break;
    case QtCommand::Command: {
        QtCommand* prev = m_list.empty() ? nullptr : m_list.back();
        const bool cleanPrev = m_have_clean_command && prev && prev->m_serial == m_clean_serial;
        bool merged = false;
        // Nothing merges into a command from before the mark of a change
        // that may yet be rolled back (see rollBack).
        if (command->canMerge() && prev && prev->metaObject() == command->metaObject() &&
            !cleanPrev && prev->m_serial >= m_merge_floor) {
            try {
                merged = prev->mergeMeWith(command);
            } catch (const std::bad_alloc&) {
                merged = false; // recorded on its own instead
            }
        }
        if (merged)
            delete command;
        else
            append(command);
        if (m_macro_nest == 0) {
            ++m_num_commands;
            m_current = int(m_list.size()) - 1;
            emit commandExecuted();
        }
        break;
    }
    }

    m_current = int(m_list.size()) - 1;
    afterChange(state);
}

void QtUndoStack::undo(int count)
{
    QtUndoState state;
    beforeChange(state);
    int steps = 0;
    bool refused = false;
    while (steps < count) {
        if (!canUndo()) {
            qCWarning(xqwidgets::lcUndo, "QtUndoStack::undo(): can't undo");
            break;
        }
        QtCommand* c = m_list[m_current];
        try {
            if (c->isMacroEnd())
                undoMacro(); // leaves m_current at the macro's MacroBegin
            else
                c->undo();
        } catch (const std::bad_alloc&) {
            refused = true; // this step is as it was; the ones before stay undone
            break;
        }
        --m_current;
        ++steps;
    }
    if (steps > 0) {
        afterChange(state);
        emit commandExecuted();
    }
    if (refused)
        emit outOfMemory();
}

// Undoes the macro ending at m_current as one step: when a command in it
// cannot get its memory, the ones already undone are done again and the
// std::bad_alloc goes on, the step not taken.
void QtUndoStack::undoMacro()
{
    int nest = 1;
    int i = m_current;
    while (i > 0) {
        --i;
        QtCommand* c = m_list[i];
        if (c->isMacroBegin())
            --nest;
        else if (c->isMacroEnd())
            ++nest;
        try {
            c->undo();
        } catch (const std::bad_alloc&) {
            for (int k = i + 1; k <= m_current; ++k)
                m_list[k]->redo();
            throw;
        }
        if (c->isMacroBegin() && nest < 1)
            break;
    }
    m_current = i;
}

void QtUndoStack::redo(int count)
{
    QtUndoState state;
    beforeChange(state);
    int steps = 0;
    bool refused = false;
    while (steps < count) {
        if (!canRedo()) {
            qCWarning(xqwidgets::lcUndo, "QtUndoStack::redo(): can't redo");
            break;
        }
        QtCommand* c = m_list[m_current + 1];
        try {
            if (c->isMacroBegin())
                redoMacro(); // leaves m_current at the macro's MacroEnd
            else
                c->redo();
        } catch (const std::bad_alloc&) {
            refused = true;
            break;
        }
        if (!c->isMacroBegin())
            ++m_current;
        ++steps;
    }
    if (steps > 0) {
        afterChange(state);
        emit commandExecuted();
    }
    if (refused)
        emit outOfMemory();
}

// Redoes the macro starting after m_current as one step; like undoMacro,
// all or nothing.
void QtUndoStack::redoMacro()
{
    int nest = 1;
    int i = m_current + 1;
    const int last = int(m_list.size()) - 1;
    while (i < last) {
        ++i;
        QtCommand* c = m_list[i];
        if (c->isMacroBegin())
            ++nest;
        else if (c->isMacroEnd())
            --nest;
        try {
            c->redo();
        } catch (const std::bad_alloc&) {
            for (int k = i - 1; k > m_current; --k)
                m_list[k]->undo();
            throw;
        }
        if (c->isMacroEnd() && nest <= 0)
            break;
    }
    m_current = i;
}

QtUndoStack::Mark QtUndoStack::mark()
{
    Mark m{m_next_serial, m_macro_nest, m_num_commands, m_merge_floor};
    m_merge_floor = m_next_serial;
    return m;
}

void QtUndoStack::release(const Mark& m)
{
    m_merge_floor = m.mergeFloor;
    // A change of one command merges it into the one before now, as push
    // would have (typing a word is one step).
    const size_t n = m_list.size();
    if (n < 2)
        return;
    QtCommand* last = m_list[n - 1];
    QtCommand* prev = m_list[n - 2];
    if (last->m_serial < m.serial || prev->m_serial >= m.serial || !last->isCommand() ||
        !last->canMerge() || prev->metaObject() != last->metaObject() ||
        prev->m_serial < m_merge_floor ||
        (m_have_clean_command && prev->m_serial == m_clean_serial))
        return;
    QtUndoState state;
    beforeChange(state);
    bool merged = false;
    try {
        merged = prev->mergeMeWith(last);
    } catch (const std::bad_alloc&) {
        merged = false; // stays a step of its own
    }
    if (!merged)
        return;
    m_list.pop_back();
    delete last;
    m_current = int(m_list.size()) - 1;
    afterChange(state);
}

void QtUndoStack::rollBack(const Mark& m)
{
    QtUndoState state;
    beforeChange(state);
    // What was recorded since the mark was done (each push runs its
    // command), newest last: undone newest first.
    while (!m_list.empty() && m_list.back()->m_serial >= m.serial) {
        QtCommand* c = m_list.back();
        m_list.pop_back();
        c->undo();
        delete c;
    }
    m_macro_nest = m.macroNest;
    m_num_commands = m.numCommands;
    m_merge_floor = m.mergeFloor;
    m_current = int(m_list.size()) - 1;
    afterChange(state);
}

void QtUndoStack::clear()
{
    QtUndoState state;
    beforeChange(state);
    deleteAll();
    m_macro_nest = 0;
    m_num_commands = 0;
    m_have_clean_command = true;
    m_clean_serial = 0;
    afterChange(state);
}

void QtUndoStack::setClean()
{
    const bool was = isClean();
    m_have_clean_command = true;
    m_clean_serial = m_current < 0 ? 0 : m_list[m_current]->m_serial;
    if (isClean() != was)
        emit cleanChanged(isClean());
}

// --- Actions -----------------------------------------------------------------

UndoRedoAction::UndoRedoAction(QWidget* parent, const char* name) : QAction(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
}

void UndoRedoAction::setTextSlot(const QString& text)
{
    setText(text);
}

namespace
{

// The icon named `name` or `name`.png among the application's resources, or
// none: the framework ships no images of its own.
QIcon resourceIcon(const QString& name)
{
    for (const QString& path :
         {QStringLiteral(":/") + name, QStringLiteral(":/") + name + QStringLiteral(".png")}) {
        QImage image(path);
        if (!image.isNull())
            return QIcon(QPixmap::fromImage(image));
    }
    return QIcon();
}

template <typename Source>
QAction* makeAction(QWidget* parent, const Source* source, bool undo, bool enabled,
                    const QString& text)
{
    auto* action = new UndoRedoAction(parent, undo ? "Undo" : "Redo");
    if (undo) {
        QObject::connect(action, &QAction::triggered, source, qOverload<>(&Source::undo));
        QObject::connect(source, &Source::undoDescriptionChanged, action,
                         &UndoRedoAction::setTextSlot);
        QObject::connect(source, &Source::canUndoChanged, action, &QAction::setEnabled);
    } else {
        QObject::connect(action, &QAction::triggered, source, qOverload<>(&Source::redo));
        QObject::connect(source, &Source::redoDescriptionChanged, action,
                         &UndoRedoAction::setTextSlot);
        QObject::connect(source, &Source::canRedoChanged, action, &QAction::setEnabled);
    }
    action->setEnabled(enabled);
    action->setText(text);
    const QIcon icon = resourceIcon(undo ? QStringLiteral("undo") : QStringLiteral("redo"));
    if (!icon.isNull())
        action->setIcon(icon);
    return action;
}

} // namespace

QAction* QtUndoStack::createUndoAction(QWidget* parent) const
{
    return makeAction(parent, this, true, canUndo(), undoDescription());
}

QAction* QtUndoStack::createRedoAction(QWidget* parent) const
{
    return makeAction(parent, this, false, canRedo(), redoDescription());
}

// --- QtUndoManager -----------------------------------------------------------

QtUndoManager* QtUndoManager::m_manager = nullptr;
unsigned QtUndoManager::m_undo_limit = 0;

QtUndoManager* QtUndoManager::manager()
{
    if (!m_manager)
        m_manager = new QtUndoManager;
    return m_manager;
}

QtUndoManager::QtUndoManager()
{
    updateActions();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

bool QtUndoManager::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        updateActions();
    return false;
}

QtUndoStack* QtUndoManager::currentStack() const
{
    if (m_stack_map.isEmpty())
        return m_current_stack;
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        auto it = m_stack_map.constFind(w);
        if (it != m_stack_map.constEnd()) {
            m_current_stack = it.value();
            break;
        }
    }
    return m_current_stack;
}

QStringList QtUndoManager::undoList() const
{
    QtUndoStack* stack = currentStack();
    return stack ? stack->undoList() : QStringList();
}

QStringList QtUndoManager::redoList() const
{
    QtUndoStack* stack = currentStack();
    return stack ? stack->redoList() : QStringList();
}

void QtUndoManager::associateView(QObject* view, QtUndoStack* stack)
{
    if (!view) {
        qWarning("QtUndoManager::associateView(): cannot associate a null object");
        return;
    }
    if (!stack) {
        qWarning("QtUndoManager::associateView(): cannot associate a null stack");
        return;
    }
    if (m_stack_map.contains(view)) {
        qWarning("QtUndoManager::associateView(): view already associated with a stack");
        return;
    }
    m_stack_map.insert(view, stack);
    connect(view, &QObject::destroyed, this, &QtUndoManager::viewDestroyed);
    updateActions();
}

void QtUndoManager::disassociateView(QObject* view)
{
    if (!view) {
        qWarning("QtUndoManager::disassociateView(): canot disassociate null object");
        return;
    }
    if (!m_stack_map.contains(view)) {
        qWarning("QtUndoManager::disassociateView(): object has no associated stack");
        return;
    }
    disconnect(view, nullptr, this, nullptr);
    m_stack_map.remove(view);
}

void QtUndoManager::viewDestroyed(QObject* view)
{
    auto it = m_stack_map.find(view);
    if (it == m_stack_map.end()) {
        qWarning("QtUndoManager::viewDestroyed(): no such view");
        return;
    }
    if (m_current_stack == it.value())
        m_current_stack = nullptr;
    m_stack_map.erase(it);
    updateActions();
}

void QtUndoManager::stackDestroyed(QObject* stack)
{
    if (m_current_stack == stack)
        m_current_stack = nullptr;
    for (auto it = m_stack_map.begin(); it != m_stack_map.end();) {
        if (static_cast<QObject*>(it.value()) == stack) {
            disconnect(it.key(), nullptr, this, nullptr);
            it = m_stack_map.erase(it);
        } else {
            ++it;
        }
    }
    updateActions();
}

void QtUndoManager::updateActions()
{
    QtUndoStack* stack = currentStack();
    bool anyChange = false;

    const bool canUndo = stack && stack->canUndo();
    QString undoText = tr("Undo");
    if (canUndo)
        undoText += QLatin1Char(' ') + stack->undoDescription();
    if (canUndo != m_can_undo) {
        m_can_undo = canUndo;
        emit canUndoChanged(canUndo);
        anyChange = true;
    }
    if (undoText != m_undo_description) {
        m_undo_description = undoText;
        emit undoDescriptionChanged(undoText);
        anyChange = true;
    }

    const bool canRedo = stack && stack->canRedo();
    QString redoText = tr("Redo");
    if (canRedo)
        redoText += QLatin1Char(' ') + stack->redoDescription();
    if (canRedo != m_can_redo) {
        m_can_redo = canRedo;
        emit canRedoChanged(canRedo);
        anyChange = true;
    }
    if (redoText != m_redo_description) {
        m_redo_description = redoText;
        emit redoDescriptionChanged(redoText);
        anyChange = true;
    }

    if (anyChange)
        emit changed();
}

void QtUndoManager::undo(int count)
{
    QtUndoStack* stack = currentStack();
    if (stack && stack->canUndo())
        stack->undo(count);
    else
        qCWarning(xqwidgets::lcUndo, "QtUndoManager::undo(): can't undo");
}

void QtUndoManager::redo(int count)
{
    QtUndoStack* stack = currentStack();
    if (stack && stack->canRedo())
        stack->redo(count);
    else
        qCWarning(xqwidgets::lcUndo, "QtUndoManager::redo(): can't redo");
}

QAction* QtUndoManager::createUndoAction(QWidget* parent) const
{
    return makeAction(parent, this, true, m_can_undo, m_undo_description);
}

QAction* QtUndoManager::createRedoAction(QWidget* parent) const
{
    return makeAction(parent, this, false, m_can_redo, m_redo_description);
}

// --- QtUndoListBox -----------------------------------------------------------

QtUndoListBox::QtUndoListBox(QWidget* parent, const char* name) : QListWidget(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    connect(QtUndoManager::manager(), &QtUndoManager::changed, this,
            &QtUndoListBox::updateContents);
    connect(this, &QListWidget::currentRowChanged, this, &QtUndoListBox::undoOrRedo);
    updateContents();
}

void QtUndoListBox::updateContents()
{
    if (m_dont_update)
        return;
    const bool wasBlocked = blockSignals(true);
    QtUndoManager* manager = QtUndoManager::manager();
    QStringList rows;
    rows.append(QLatin1Char('<') + tr("empty") + QLatin1Char('>'));
    rows += manager->undoList();
    m_undo_idx = int(rows.size()) - 1;
    rows += manager->redoList();

    bool same = rows.size() == count();
    for (int i = 0; same && i < rows.size(); ++i)
        same = item(i)->text() == rows.at(i);
    if (!same) {
        clear();
        addItems(rows);
    }
    setCurrentRow(m_undo_idx);
    blockSignals(wasBlocked);
}

void QtUndoListBox::undoOrRedo()
{
    const int i = currentRow();
    if (i == -1 || i == m_undo_idx)
        return;
    m_dont_update = true;
    QtUndoManager* manager = QtUndoManager::manager();
    if (i > m_undo_idx)
        manager->redo(i - m_undo_idx);
    else
        manager->undo(m_undo_idx - i);
    m_dont_update = false;
    updateContents();
}
