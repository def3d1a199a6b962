#include "vexa/search/searchmanager.h"

#include "vexa/actions.h"
#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/messages/messageoutput.h"
#include "vexa/search/filesearch.h"
#include "vexa/search/searchdialogs.h"
#include "vexa/search/searchinfiles.h"
#include "vexa/shell.h"
#include "vexa/utils.h"
#include "xqwidgets/xqeditor/texteditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>

#include <limits>

namespace vexa
{

namespace
{

SearchManager* instance = nullptr;

// A pattern the editor's find cannot use says so in a box of its own: a
// failure must not look like a search without matches. True when it can.
bool validPattern(const QString& pattern, bool caseSensitive)
{
    const QString error = FileSearch::error(SearchOptions{pattern, caseSensitive, false, true});
    if (error.isEmpty())
        return true;
    Message::information(
        QObject::tr("Invalid regular expression"),
        QObject::tr("The regular expression\n%1\nis not valid: %2").arg(pattern, error));
    return false;
}

void notFound(bool inSelection)
{
    Message::information(QStringLiteral("Not found..."),
                         inSelection ? QStringLiteral("End of selection reached.")
                                     : QStringLiteral("End of document reached."));
}

// While it lives, a find or replace that runs long keeps the window alive:
// after half a second a box shows how far it got and offers Stop, and the
// events of the program run meanwhile. The box blocks the rest of the
// program, so the text cannot be edited under the search; before it shows,
// what the user types waits.
class LongRunProgress
{
public:
    LongRunProgress()
    {
        m_since.start();
        xqwidgets::TextEditor::setLongRunHandler(
            [this](int line, int lines) { return step(line, lines); });
    }
    ~LongRunProgress()
    {
        xqwidgets::TextEditor::setLongRunHandler({});
        delete m_box;
    }
    LongRunProgress(const LongRunProgress&) = delete;
    LongRunProgress& operator=(const LongRunProgress&) = delete;

private:
    bool step(int line, int lines)
    {
        if (!m_box && m_since.elapsed() < 500) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        if (!m_box) {
            m_box = new QProgressDialog(QObject::tr("Searching..."), QObject::tr("Stop"), 0, lines,
                                        Shell::self());
            m_box->setWindowTitle(QObject::tr("Search"));
            m_box->setWindowModality(Qt::ApplicationModal);
            m_box->setMinimumDuration(0);
            m_box->setAutoReset(false);
            m_box->setAutoClose(false);
            m_box->show();
        }
        m_box->setMaximum(lines);
        m_box->setValue(qMin(line, lines));
        QCoreApplication::processEvents();
        return !m_box->wasCanceled();
    }

    QElapsedTimer m_since;
    QPointer<QProgressDialog> m_box;
};

enum class FindResult { Found, NotFound, Stopped };

// A regular-expression find with the progress box up. A line the engine
// could not decide on ends the find with a question: the user may go on
// after it or end there.
FindResult findRegexp(Editor* e, const QString& pattern, bool caseSensitive, bool fromCursor)
{
    for (;;) {
        bool found;
        {
            LongRunProgress progress;
            found = e->findRegexp(pattern, caseSensitive, false, fromCursor);
        }
        if (found)
            return FindResult::Found;
        if (e->searchStopped())
            return FindResult::Stopped;
        const QList<int> lines = e->unsearchedLines();
        if (lines.isEmpty())
            return FindResult::NotFound;
        const int answer = Message::information(
            QObject::tr("Search"),
            QObject::tr("Line %1 could not be searched: the expression needs too much work "
                        "there.")
                .arg(lines.first() + 1),
            QObject::tr("&Go on"), QObject::tr("&Stop"), QString(), 0, 1);
        if (answer != 0)
            return FindResult::Stopped;
        if (lines.first() + 1 >= e->lineCount())
            return FindResult::NotFound;
        e->setCursorPosition(lines.first() + 1, 0);
        fromCursor = true;
    }
}

// What ends a Replace All: how many matches it replaced, and the lines it
// could not search.
void replacedMessage(int count, const QList<int>& unsearched);

// Replace All from the cursor with the progress box up, and the message
// that ends it (none when it was stopped: it replaced nothing).
void replaceAll(Editor* e, const QString& s, const QString& r, bool cs, bool words, bool regExp,
                bool inSelection)
{
    int count;
    {
        LongRunProgress progress;
        count = e->replaceAll(s, r, cs, words, regExp, inSelection);
    }
    if (!regExp || !e->searchStopped())
        replacedMessage(count, regExp ? e->unsearchedLines() : QList<int>());
}

void replacedMessage(int count, const QList<int>& unsearched)
{
    QString text = count == 1 ? QObject::tr("1 match replaced.")
                              : QObject::tr("%1 matches replaced.").arg(count);
    if (!unsearched.isEmpty()) {
        QStringList numbers;
        for (int line : unsearched)
            numbers.append(QString::number(line + 1));
        text += QLatin1Char('\n') +
                (unsearched.size() == 1
                     ? QObject::tr("Line %1 could not be searched: the expression needs too "
                                   "much work there.")
                           .arg(numbers.first())
                     : QObject::tr("%1 lines could not be searched: the expression needs too "
                                   "much work there: %2.")
                           .arg(unsearched.size())
                           .arg(numbers.join(QStringLiteral(", "))));
    }
    Message::information(QObject::tr("Replace"), text);
}

bool before(int line1, int col1, int line2, int col2)
{
    return line1 < line2 || (line1 == line2 && col1 < col2);
}

} // namespace

class SearchManager::Private
{
public:
    QPointer<FindDialog> findDialog;
    QPointer<GotoLineDialog> gotoLineDialog;
    QPointer<ReplaceDialog> replaceDialog;

    FindDialog* find()
    {
        if (!findDialog)
            findDialog = new FindDialog(Shell::self());
        return findDialog;
    }
};

SearchManager* SearchManager::self()
{
    if (!instance)
        new SearchManager(Shell::self());
    return instance;
}

SearchManager::SearchManager(QObject* parent) : QObject(parent), d(new Private)
{
    instance = this;
    Shell* shell = Shell::self();
    auto make = [this](ActionGroup* group, const char* text, const char* name,
                       const QKeySequence& key, const char* icon, const char* slot) {
        Actions::createAction(QLatin1String(text), QLatin1String(name), key, this, slot,
                              QLatin1String(icon), group);
    };
    ActionGroup* find = shell->actionGroup(QStringLiteral("menu/Search/Find"));
    make(find, "&Find", "Search/Find", QKeySequence(Qt::CTRL | Qt::Key_F), "16x16_Find",
         SLOT(findText()));
    make(find, "Find &Next", "Search/FindNext", QKeySequence(Qt::Key_F3), "16x16_FindNext",
         SLOT(findNext()));
    make(find, "&Search in files", "Search/FindInFiles",
         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), "16x16_FindInFiles", SLOT(findInFiles()));
    find->addSeparator();
    ActionGroup* replace = shell->actionGroup(QStringLiteral("menu/Search/Replace"));
    make(replace, "&Replace", "Search/Replace", QKeySequence(Qt::CTRL | Qt::Key_R), "16x16_Replace",
         SLOT(replace()));
    replace->addSeparator();
    // "Misk", not the window's own "Misc": Go to Line follows the Search sections.
    make(shell->actionGroup(QStringLiteral("menu/Search/Misk")), "&Go to Line", "Search/goToLine",
         QKeySequence(Qt::CTRL | Qt::Key_G), nullptr, SLOT(goToLine()));
    ActionGroup* bar = shell->actionGroup(QStringLiteral("toolbar/Search"));
    make(bar, "Find", "Search/toolbar/Find", QKeySequence(), "22x22_Find", SLOT(findText()));
    make(bar, "Find Next", "Search/toolbar/FindNext", QKeySequence(), "22x22_FindNext",
         SLOT(findNext()));
    make(bar, "Search in files", "Search/toolbar/FindInFiles", QKeySequence(), "22x22_FindInFiles",
         SLOT(findInFiles()));
}

SearchManager::~SearchManager()
{
    if (instance == this)
        instance = nullptr;
    delete d;
}

bool SearchManager::stopSearchInFiles()
{
    return SearchInFiles::stopRunning();
}

void SearchManager::findInFiles()
{
    // One dialog per run, kept with its fields; its rows go to the messages panel.
    static QPointer<SearchInFiles> dialog;
    if (!dialog) {
        dialog = new SearchInFiles(Shell::self());
        connect(dialog, &SearchInFiles::newEntry, MessageOutput::self(),
                qOverload<const QString&, int, const QString&>(&MessageOutput::insertItem));
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->comboSearch->setFocus();
    MessageOutput::self()->clear();
}

void SearchManager::findText()
{
    const bool made = !d->findDialog;
    FindDialog* dlg = d->find();
    if (made)
        dlg->findString->setDuplicatesEnabled(false);
    const QString selected = Editors::self()->current()->selection();
    const bool lines = selected.contains(QLatin1Char('\n'));
    dlg->inSelection->setChecked(lines);
    if (!lines && !selected.isEmpty()) {
        dlg->findString->insertItem(0, selected);
        dlg->findString->setEditText(selected);
    }
    dlg->findString->lineEdit()->selectAll();
    dlg->findString->setFocus();
    if (Message::exec(*dlg) != QDialog::Accepted)
        return;
    const QString text = dlg->findString->currentText();
    dlg->findString->insertItem(0, text);
    dlg->findString->setEditText(text);
    const bool cs = dlg->caseSensitive->isChecked();
    if (dlg->regExp->isChecked() && !validPattern(text, cs))
        return;
    Editor* e = Editors::self()->current();
    FindResult result;
    if (dlg->regExp->isChecked()) {
        result = findRegexp(e, text, cs, dlg->fromCursor->isChecked());
    } else {
        LongRunProgress progress;
        result = e->find(text, cs, dlg->wholeWordsOnly->isChecked(), dlg->fromCursor->isChecked(),
                         dlg->inSelection->isChecked())
                     ? FindResult::Found
                     : FindResult::NotFound;
    }
    // A search the user stopped has not reached the end: nothing is said.
    if (result == FindResult::NotFound)
        notFound(dlg->inSelection->isChecked());
}

void SearchManager::findNext()
{
    if (Editors::self()->current()->findNext())
        return;
    notFound(d->find()->inSelection->isChecked());
}

void SearchManager::replace()
{
    if (!d->replaceDialog)
        d->replaceDialog = new ReplaceDialog(Shell::self());
    ReplaceDialog* dlg = d->replaceDialog;
    dlg->findString->setFocus();
    if (Message::exec(*dlg) != QDialog::Accepted)
        return;
    const QString s = dlg->findString->currentText();
    const QString r = dlg->replaceString->currentText();
    bool all = dlg->replaceAll->isChecked();
    const bool cs = dlg->caseSensitive->isChecked();
    const bool regExp = dlg->regExp->isChecked();
    const bool words = dlg->wholeWordsOnly->isChecked();
    const bool inSelection = dlg->inSelection->isChecked() && !regExp;
    // An empty text would match at the cursor for ever.
    if (s.isEmpty() || (regExp && !validPattern(s, cs)))
        return;

    Editor* e = Editors::self()->current();
    // Replace All of an expression replaces what a substitution of each
    // line would, matches of nothing too, which the find below cannot
    // step over: it runs from the cursor or the top at once.
    if (all && regExp) {
        if (!dlg->fromCursor->isChecked())
            e->setCursorPosition(0, 0);
        e->beginUndoGroup();
        replaceAll(e, s, r, cs, false, true, false);
        e->endUndoGroup();
        return;
    }
    // The region is the selection when the command began: every match inside
    // it is visited, its end moving with the replacements on its last line.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (inSelection)
        e->selectionRange(&top, &left, &bottom, &right);
    auto search = [&](bool fromCursor) {
        if (regExp)
            return findRegexp(e, s, cs, fromCursor) == FindResult::Found;
        LongRunProgress progress;
        if (inSelection && fromCursor)
            e->setSelection(e->cursorLine(), e->cursorColumn(), bottom, right);
        return e->find(s, cs, words, fromCursor, dlg->inSelection->isChecked());
    };

    ReplaceAskDialog ask(Shell::self());
    ask.labelText->setText(s + QStringLiteral(" ?"));
    bool grouped = false;
    // Where the last match ended: a match must end further on, or the loop
    // would stand still (a pattern that matches nothing, "^", "$").
    int lastLine = -1, lastCol = -1;
    for (bool found = search(dlg->fromCursor->isChecked()); found; found = search(true)) {
        int l1, c1, l2, c2;
        if (!e->selectionRange(&l1, &c1, &l2, &c2) || !before(lastLine, lastCol, l2, c2))
            break;
        lastLine = l2;
        lastCol = c2;
        if (!all) {
            const int answer = Message::exec(ask);
            if (answer == ReplaceAskDialog::Cancel)
                break;
            if (answer == ReplaceAskDialog::No)
                continue;
            all = answer == ReplaceAskDialog::All;
        }
        if (!grouped) {
            e->beginUndoGroup();
            grouped = true;
        }
        if (all) {
            // This match and all after it (in the region) as one edit: the
            // editor records them compactly, and the view repaints once.
            if (inSelection)
                e->setSelection(l1, c1, bottom, right);
            else
                e->setCursorPosition(l1, c1);
            replaceAll(e, s, r, cs, words, regExp, inSelection);
            break;
        }
        e->replaceFound(r);
        lastLine = e->cursorLine();
        lastCol = e->cursorColumn();
        if (inSelection) {
            const int feeds = int(r.count(QLatin1Char('\n')));
            if (l2 == bottom) {
                right = e->cursorColumn() + (right - c2);
                bottom = e->cursorLine();
            } else {
                bottom += feeds;
            }
        }
    }
    if (grouped)
        e->endUndoGroup();
}

void SearchManager::goToLine()
{
    if (!d->gotoLineDialog)
        d->gotoLineDialog = new GotoLineDialog(Shell::self());
    GotoLineDialog* dlg = d->gotoLineDialog;
    dlg->comboLine->setFocus();
    if (Message::exec(*dlg) != QDialog::Accepted)
        return;
    // Counted from 1 in the dialog, from 0 in the editor; text that is no
    // number is 0, and a number too long for 64 bits keeps its sign.
    const QString text = dlg->comboLine->currentText().trimmed();
    bool ok = false;
    qint64 n = text.toLongLong(&ok, 10);
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    if (!ok)
        n = !digits.match(text).hasMatch()      ? 0
            : text.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min()
                                                : std::numeric_limits<qint64>::max();
    const qint64 line = n > std::numeric_limits<qint64>::min() ? n - 1 : n;
    const qint64 last = std::numeric_limits<int>::max();
    Editors::self()->current()->setCursorPosition(int(qBound(qint64(0), line, last)), 0);
}

} // namespace vexa
