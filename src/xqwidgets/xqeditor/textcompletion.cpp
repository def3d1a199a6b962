// Word completion: the index of a document's words, and the editor frame's
// two ways of completing the word before the caret (cycling in place and
// the pop-up list).

#include "xqwidgets/xqeditor/textcompletion.h"

#include "xqwidgets/xqeditor/editorcursor.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/texteditor_p.h"
#include "xqwidgets/xqeditor/textline.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QSet>

#include <cstring>
#include <vector>

namespace xqwidgets
{

// --- Word index -------------------------------------------------------------------

namespace
{

// The end event of the pop-up, posted to the frame.
constexpr QEvent::Type CompletionEndEvent = QEvent::Type(QEvent::User + 1);

struct LineEntry {
    const TextLine* line = nullptr;
    QString text; // shares the line's storage as last read
};

// How far the lines and the remembered entries are searched for each other
// where they no longer pair up: lines inserted or removed by one edit. Past
// that, the remembered entries are looked up by line.
constexpr int kLookAhead = 64;

// Whether each ASCII character is a word character, so that the common case
// costs one load.
constexpr bool kAsciiWord[128] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};

inline bool wordChar(char16_t u)
{
    return u < 0x80 ? kAsciiWord[u] : WordIndex::isWordChar(QChar(u));
}

// The word counts. A document of a million lines holds some ten million
// words but few distinct ones, so nearly every word met is a look-up of a
// word already counted: an open-addressing table of hashes and indexes,
// probed with the hash computed while the word is scanned, finds it without
// making a string or touching the stored words except to confirm the match.
class WordTable
{
public:
    struct Word {
        QString text;
        int count = 0; // 0: free for the next new word
    };

    // Adds one occurrence of `len` characters at `w`, hashed to `h`.
    void add(const QChar* w, qsizetype len, quint32 h)
    {
        if ((live + 1) * 2 > buckets.size())
            grow();
        size_t i = h & mask;
        for (;; i = (i + 1) & mask) {
            const Slot& s = buckets[i];
            if (s.index < 0)
                break;
            if (s.hash == h && equals(words[size_t(s.index)].text, w, len)) {
                ++words[size_t(s.index)].count;
                return;
            }
        }
        int index;
        if (!freeWords.empty()) {
            index = freeWords.back();
            freeWords.pop_back();
        } else {
            index = int(words.size());
            words.emplace_back();
        }
        words[size_t(index)].text = QString(w, len);
        words[size_t(index)].count = 1;
        buckets[i] = Slot{h, index};
        ++live;
    }

    // Removes one occurrence; the word is forgotten with its last one.
    void remove(const QChar* w, qsizetype len, quint32 h)
    {
        if (buckets.empty())
            return;
        size_t i = h & mask;
        for (;; i = (i + 1) & mask) {
            const Slot& s = buckets[i];
            if (s.index < 0)
                return; // cannot happen: every word removed was added
            if (s.hash == h && equals(words[size_t(s.index)].text, w, len))
                break;
        }
        Word& word = words[size_t(buckets[i].index)];
        if (--word.count > 0)
            return;
        word.text = QString();
        freeWords.push_back(buckets[i].index);
        --live;
        // Close the gap: move back later buckets of the run that it would
        // otherwise cut off from their home position.
        size_t j = i;
        for (;;) {
            j = (j + 1) & mask;
            if (buckets[j].index < 0)
                break;
            const size_t home = buckets[j].hash & mask;
            const bool between = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (!between) {
                buckets[i] = buckets[j];
                i = j;
            }
        }
        buckets[i] = Slot{};
    }

    int count(const QString& word) const
    {
        if (buckets.empty())
            return 0;
        const quint32 h = hash(word.constData(), word.size());
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const Slot& s = buckets[i];
            if (s.index < 0)
                return 0;
            if (s.hash == h && equals(words[size_t(s.index)].text, word.constData(), word.size()))
                return words[size_t(s.index)].count;
        }
    }

    template <typename F> void forEach(F f) const
    {
        for (const Word& w : words) {
            if (w.count > 0)
                f(w.text);
        }
    }

    void clear()
    {
        buckets = std::vector<Slot>();
        words = std::vector<Word>();
        freeWords = std::vector<int>();
        live = 0;
        mask = 0;
    }

    // The hash of a word is built one character at a time as it is scanned.
    static quint32 step(quint32 h, char16_t c) { return (h ^ c) * 0x01000193u; }
    // Chosen per process, so that no file can be made up in advance whose
    // words all land in one bucket.
    static quint32 seed()
    {
        static const quint32 value = 0x811c9dc5u ^ QRandomGenerator::system()->generate();
        return value;
    }
    static quint32 finish(quint32 h)
    {
        // Spread the bits: the table uses the low ones.
        h ^= h >> 16;
        h *= 0x85ebca6bu;
        h ^= h >> 13;
        h *= 0xc2b2ae35u;
        h ^= h >> 16;
        return h;
    }
    static quint32 hash(const QChar* w, qsizetype len)
    {
        quint32 h = seed();
        for (qsizetype i = 0; i < len; ++i)
            h = step(h, w[i].unicode());
        return finish(h);
    }

private:
    struct Slot {
        quint32 hash = 0;
        int index = -1; // into words; -1: empty
    };

    static bool equals(const QString& a, const QChar* w, qsizetype len)
    {
        return a.size() == len && std::memcmp(a.constData(), w, size_t(len) * sizeof(QChar)) == 0;
    }

    void grow()
    {
        const size_t size = buckets.empty() ? 1024 : buckets.size() * 2;
        std::vector<Slot> old(size);
        old.swap(buckets);
        mask = size - 1;
        for (const Slot& s : old) {
            if (s.index < 0)
                continue;
            size_t i = s.hash & mask;
            while (buckets[i].index >= 0)
                i = (i + 1) & mask;
            buckets[i] = s;
        }
    }

    std::vector<Slot> buckets;
    std::vector<Word> words;
    std::vector<int> freeWords;
    size_t live = 0;
    size_t mask = 0;
};

} // namespace

class WordIndex::Private
{
public:
    // The lines in document order as last read.
    std::vector<LineEntry> entries;
    WordTable counts;
    int linesRead = 0;

    // Calls f(start, length, hash) for each word of `text`.
    template <typename F> static void forEachWord(const QString& text, F f)
    {
        const QChar* s = text.constData();
        const qsizetype n = text.size();
        qsizetype i = 0;
        while (i < n) {
            while (i < n && !wordChar(s[i].unicode()))
                ++i;
            const qsizetype start = i;
            quint32 h = WordTable::seed();
            while (i < n) {
                const char16_t u = s[i].unicode();
                if (!wordChar(u))
                    break;
                h = WordTable::step(h, u);
                ++i;
            }
            if (i > start)
                f(s + start, i - start, WordTable::finish(h));
        }
    }

    void addWords(const QString& text)
    {
        forEachWord(text,
                    [this](const QChar* w, qsizetype len, quint32 h) { counts.add(w, len, h); });
    }

    void removeWords(const QString& text)
    {
        forEachWord(text,
                    [this](const QChar* w, qsizetype len, quint32 h) { counts.remove(w, len, h); });
    }

    // Pairs an entry with the line it was made for: reads the line again
    // when its text changed.
    void refresh(LineEntry& e, const TextLine* l)
    {
        const QString& text = *l;
        if (e.text.constData() != text.constData() || e.text.size() != text.size()) {
            removeWords(e.text);
            addWords(text);
            e.text = text;
            ++linesRead;
        }
    }

    LineEntry read(const TextLine* l)
    {
        addWords(*l);
        ++linesRead;
        return LineEntry{l, *l};
    }

    void update(const TextDocument* doc);
    // The general case, from line `from` on, where lines were inserted or
    // removed since the last reading.
    void realign(const TextDocument* doc, int from);
};

void WordIndex::Private::update(const TextDocument* doc)
{
    linesRead = 0;
    const int n = doc->lastLine() + 1;
    // Edits within lines leave every line where it was: one pass in place.
    const int common = int(qMin<size_t>(size_t(n), entries.size()));
    int i = 0;
    for (; i < common; ++i) {
        const TextLine* l = doc->lineOf(i);
        if (entries[size_t(i)].line != l)
            break;
        refresh(entries[size_t(i)], l);
    }
    if (i == n && entries.size() == size_t(n))
        return;
    realign(doc, i);
}

void WordIndex::Private::realign(const TextDocument* doc, int from)
{
    const int n = doc->lastLine() + 1;
    std::vector<LineEntry> old;
    old.swap(entries);
    entries.reserve(size_t(n));
    for (int k = 0; k < from; ++k)
        entries.push_back(std::move(old[size_t(k)]));

    size_t j = size_t(from);
    // Remembered entries by line, made only when a local search fails.
    QHash<const TextLine*, size_t> byLine;
    bool hashed = false;
    for (int i = from; i < n; ++i) {
        const TextLine* l = doc->lineOf(i);
        LineEntry* match = nullptr;
        if (!hashed) {
            if (j < old.size() && old[j].line == l) {
                match = &old[j++];
            } else {
                // Lines removed: this line's entry comes a little later.
                const size_t limit = qMin(old.size(), j + 1 + kLookAhead);
                size_t k = j + 1;
                while (k < limit && old[k].line != l)
                    ++k;
                if (k < limit) {
                    for (; j < k; ++j)
                        removeWords(old[j].text);
                    match = &old[j++];
                } else if (j < old.size()) {
                    // Lines inserted: the next entry's line comes a little
                    // later, and this one is new. Otherwise look entries up.
                    bool inserted = false;
                    for (int a = 1; a <= kLookAhead && i + a < n && !inserted; ++a)
                        inserted = doc->lineOf(i + a) == old[j].line;
                    if (!inserted) {
                        hashed = true;
                        byLine.reserve(qsizetype(old.size() - j));
                        for (size_t k2 = j; k2 < old.size(); ++k2)
                            byLine.insert(old[k2].line, k2);
                    }
                }
            }
        }
        if (hashed && !match) {
            const auto it = byLine.constFind(l);
            if (it != byLine.constEnd()) {
                match = &old[*it];
                match->line = nullptr; // taken
            }
        }
        if (match) {
            refresh(*match, l);
            entries.push_back(LineEntry{l, std::move(match->text)});
        } else {
            entries.push_back(read(l));
        }
    }
    // Entries of lines that are gone.
    for (; j < old.size(); ++j) {
        if (!hashed || old[j].line)
            removeWords(old[j].text);
    }
}

WordIndex::WordIndex() : d(new Private) {}

WordIndex::~WordIndex()
{
    delete d;
}

bool WordIndex::isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    // Source text is mostly ASCII: spare it the Unicode tables.
    if (u < 0x80)
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
               u == u'_';
    return c.isLetterOrNumber() || c.isMark();
}

void WordIndex::update(const TextDocument* doc)
{
    d->update(doc);
}

void WordIndex::clear()
{
    d->entries.clear();
    d->entries.shrink_to_fit();
    d->counts.clear();
    d->linesRead = 0;
}

QStringList WordIndex::words() const
{
    QStringList out;
    d->counts.forEach([&](const QString& w) { out.append(w); });
    return out;
}

QStringList WordIndex::wordsStartingWith(const QString& prefix) const
{
    QStringList out;
    d->counts.forEach([&](const QString& w) {
        if (w.startsWith(prefix))
            out.append(w);
    });
    return out;
}

int WordIndex::count(const QString& word) const
{
    return d->counts.count(word);
}

int WordIndex::linesRead() const
{
    return d->linesRead;
}

// --- Keyboard completion ----------------------------------------------------------

QStringList TextEditor::completionList(QString word)
{
    if (word.isEmpty())
        word = d->doc->currentWord();
    if (word.isEmpty())
        return QStringList();
    d->words.update(d->doc);
    QStringList result = d->words.wordsStartingWith(word);
    result.sort(Qt::CaseSensitive);
    QSet<QString> seen(result.cbegin(), result.cend());
    const QMap<int, QStringList> added = d->manager->addedCompleteWords();
    for (auto it = added.cbegin(); it != added.cend() && it.key() <= word.size(); ++it) {
        for (const QString& w : it.value()) {
            if (w.startsWith(word) && !seen.contains(w)) {
                seen.insert(w);
                result.append(w);
            }
        }
    }
    return result;
}

void TextEditor::completeWordNext()
{
    // Completion edits the text; a locked document stays as it is.
    if (d->doc->isReadOnly())
        return;
    if (d->viCompletionWords.size() < 2) {
        d->viCompletionPos = 0;
        d->viCompletionWords = completionList(QString());
        if (d->viCompletionWords.size() < 2)
            return;
    }
    if (++d->viCompletionPos >= d->viCompletionWords.size())
        d->viCompletionPos = 0;
    d->breakViCompletion = false;
    d->doc->replaceCurrentWord(d->viCompletionWords.at(d->viCompletionPos));
    d->breakViCompletion = true;
}

void TextEditor::completeWordPrev()
{
    if (d->doc->isReadOnly())
        return;
    if (d->viCompletionWords.size() < 2) {
        d->viCompletionPos = 0;
        d->viCompletionWords = completionList(QString());
        if (d->viCompletionWords.size() < 2)
            return;
    }
    if (--d->viCompletionPos < 0)
        d->viCompletionPos = int(d->viCompletionWords.size()) - 1;
    d->breakViCompletion = false;
    d->doc->replaceCurrentWord(d->viCompletionWords.at(d->viCompletionPos));
    d->breakViCompletion = true;
}

void TextEditor::breakViCompletion()
{
    if (d->breakViCompletion) {
        d->viCompletionPos = 0;
        d->viCompletionWords.clear();
    }
}

// --- Pop-up completion ------------------------------------------------------------

void TextEditor::completeWord()
{
    if (d->completionPopup)
        return;
    d->completionWord = d->doc->currentWord();
    if (d->completionWord.isEmpty())
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    d->words.update(d->doc);
    d->completionWords = d->words.words();
    d->completionGrep = d->completionWords.filter(d->completionWord, Qt::CaseInsensitive);
    QApplication::restoreOverrideCursor();
    if (d->completionGrep.isEmpty()) {
        finishCompletion();
        return;
    }

    // The caret goes to the end of the word it stands in, which the chosen
    // entry will replace. Words are the same "[\w_]+" runs the candidates
    // are made of (the caret's own word moves know only ASCII letters and
    // would replace part of a word, or the blanks after it).
    EditorCursor* cursor = d->view->cursor();
    const int line = cursor->line();
    const TextLine* l = d->doc->lineOf(line);
    int end = qMin(cursor->column(), int(l->size()));
    while (end < l->size() && WordIndex::isWordChar(l->at(end)))
        ++end;
    if (end != cursor->column())
        d->view->setCursorPosition(line, end, false);

    // Under the caret's row, in global coordinates.
    const QRect caret = d->view->caretRect();
    QPoint pos = d->view->mapToGlobal(QPoint(caret.x() - 2, caret.y() + d->view->lineHeight()));
    const QRect desk = d->view->screen()->virtualGeometry();
    const int maxX = desk.x() + desk.width() - 101;
    const int maxY = desk.y() + desk.height() - 101;
    if (pos.x() >= maxX)
        pos.setX(maxX);
    if (pos.y() >= maxY)
        pos.setY(maxY);

    QListWidget* popup = new QListWidget(d->view);
    popup->setObjectName(QStringLiteral("completionPopup"));
    popup->setWindowFlags(Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFixedSize(100, 100);
    popup->setFrameStyle(QFrame::Box | QFrame::Raised);
    d->completionPopup = popup;
    d->completionEnding = false;
    d->fillCompletionPopup();
    // A pop-up has no window frame: its place is that of its contents (a
    // move would place a frame the window manager never draws).
    popup->setGeometry(QRect(pos, popup->size()));
    popup->installEventFilter(this);
    // Qt 3's clicked, returnPressed and doubleClicked: a click chooses, and
    // activation covers Return, Enter and the double click.
    connect(popup, &QListWidget::itemClicked, this, &TextEditor::applyCompleteWord);
    connect(popup, &QListWidget::itemActivated, this, &TextEditor::applyCompleteWord);
    popup->show();
}

void TextEditor::Private::fillCompletionPopup()
{
    completionGrep.sort(Qt::CaseSensitive);
    completionPopup->clear();
    completionPopup->addItems(completionGrep);
    completionPopup->setCurrentRow(0);
}

void TextEditor::Private::endCompletion()
{
    if (completionEnding)
        return;
    completionEnding = true;
    QCoreApplication::postEvent(self, new QEvent(CompletionEndEvent));
}

void TextEditor::Private::completionPopupEvent(QEvent* ev)
{
    if (completionEnding)
        return;
    switch (ev->type()) {
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(ev);
        const QString text = k->text();
        const bool ctrl = k->modifiers() & Qt::ControlModifier;
        // The character code as Qt 3 gave it: 0 for text beyond ASCII.
        const int code = text.isEmpty() || text.at(0).unicode() > 0x7f ? 0 : text.at(0).unicode();
        const bool typed = (!text.isEmpty() && (code == 0 || code >= 0x20)) ||
                           (text == QLatin1String("\t") && !ctrl);
        if (typed) {
            completionWord += text;
            completionGrep = completionGrep.filter(completionWord, Qt::CaseInsensitive);
            if (completionGrep.isEmpty())
                endCompletion();
            else
                fillCompletionPopup();
        } else if (k->key() == Qt::Key_Backspace) {
            completionWord.chop(1);
            if (completionWord.isEmpty()) {
                endCompletion();
                break;
            }
            completionGrep = completionWords.filter(completionWord, Qt::CaseInsensitive);
            if (completionGrep.isEmpty())
                endCompletion();
            else
                fillCompletionPopup();
        } else if (k->key() == Qt::Key_Escape) {
            endCompletion();
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(ev);
        if (!completionPopup->geometry().contains(m->globalPosition().toPoint()))
            endCompletion();
        break;
    }
    case QEvent::FocusIn:
        view->cursor()->activate();
        break;
    case QEvent::FocusOut:
        view->cursor()->deactivate();
        break;
    default:
        break;
    }
}

void TextEditor::applyCompleteWord()
{
    if (!d->completionPopup || d->completionEnding)
        return;
    QListWidgetItem* item = d->completionPopup->currentItem();
    if (!item)
        return;
    const QString chosen = item->text();
    // Select the word that ends at the caret, back to its first character.
    EditorCursor* cursor = d->view->cursor();
    const int line = cursor->line();
    const int column = cursor->column();
    const TextLine* l = d->doc->lineOf(line);
    int start = qMin(column, int(l->size()));
    while (start > 0 && WordIndex::isWordChar(l->at(start - 1)))
        --start;
    d->view->setCursorPosition(line, start, true);
    d->doc->selectionCommand(TextDocument::SelectionRemove);
    d->doc->insert(chosen, 0, 0);
    d->endCompletion();
}

void TextEditor::finishCompletion()
{
    d->completionGrep.clear();
    d->completionWords.clear();
    d->completionWord = QString();
}

bool TextEditor::event(QEvent* ev)
{
    if (ev->type() == CompletionEndEvent) {
        finishCompletion();
        if (d->completionPopup)
            d->completionPopup->close();
        d->completionPopup = nullptr;
        d->completionEnding = false;
    }
    return QFrame::event(ev);
}

} // namespace xqwidgets
