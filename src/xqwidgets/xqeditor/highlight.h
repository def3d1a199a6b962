#ifndef XQWIDGETS_HIGHLIGHT_H
#define XQWIDGETS_HIGHLIGHT_H

#include "xqwidgets/xqeditor/pattern.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class QDomDocument;

namespace xqwidgets
{

class TextEditorManager;
class TextLine;

// One display attribute of a highlighting definition (an "item").
class TextAttribute
{
public:
    QString itemName;
    QColor color;
    bool usebg = false;
    QColor bgcolor;
    // 2 x bold + italic: the manager's font variant.
    int fontType = 0;
};

// A rule: the pattern is matched at the current position of a line.
class HighlightItem
{
public:
    HighlightItem(int attr, int ctx, int empty);
    virtual ~HighlightItem();
    HighlightItem(const HighlightItem&) = delete;
    HighlightItem& operator=(const HighlightItem&) = delete;

    // Number of characters the rule covers from `text` (the current position;
    // `length` characters are left on the line). 0 or less: no match. `scan`,
    // when given, stands for the line being highlighted: the pass moves on it
    // from left to right and lets the rule reuse what it found before.
    virtual int find(const QChar* text, int length, const Pattern::LineScan* scan = nullptr);
    // What the rule makes of `matched`, the length of its pattern's match
    // at `text` (0 or less: none): find() is accept(match()) for a rule
    // that matches at the current position.
    int match(const QChar* text, int length, const Pattern::LineScan* scan = nullptr);
    virtual int accept(const QChar* text, int matched) const;

    int attr;  // attribute id given to the covered text
    int ctx;   // context after a match, -1 for none
    int empty; // context when the rule does not match here, -1 for none
    // Matches only at the current position; "until" rules search the rest of
    // the line instead.
    bool anchored = true;
    Pattern regexp;
    // Rules of one context whose patterns match alike at the current
    // position (a keyword list after another on the same words) share one
    // match: the index of the first of them in the context, -1 for a rule
    // that shares with none.
    int alike = -1;
};

// A rule that covers everything up to its pattern, found anywhere in the rest
// of the line.
class HighlightUntilItem : public HighlightItem
{
public:
    HighlightUntilItem(int attr, int ctx, int empty, bool inc, bool full);
    int find(const QChar* text, int length, const Pattern::LineScan* scan = nullptr) override;

    bool inc;  // the end match belongs to the covered text
    bool full; // without an end match the rest of the line is covered
};

// A rule whose matched text must be one of its words.
class HighlightKeyword : public HighlightItem
{
public:
    HighlightKeyword(int attr, int ctx, int empty, const QStringList& keywords, bool caseSensitive);
    int accept(const QChar* text, int matched) const override;

    int val = 0;
    bool caseSensitive;
    // The list as written; the dictionary refers to its text.
    const QStringList words;
    // Number of distinct words.
    int dictSize() const { return m_distinct; }
    bool contains(const char16_t* word, int length) const;

private:
    // Open addressing over indexes into `words`; -1 marks a free slot.
    std::vector<int> m_slots;
    uint m_mask = 0;
    int m_distinct = 0;
    int m_minLength = 0;
    int m_maxLength = 0;
};

// The rules of one context, in order; owns them.
class HighlightContext : public QList<HighlightItem*>
{
public:
    HighlightContext() = default;
    ~HighlightContext() { qDeleteAll(*this); }
    HighlightContext(const HighlightContext&) = delete;
    HighlightContext& operator=(const HighlightContext&) = delete;
};

// A loaded highlighting definition: its attributes and its two tables of
// contexts, and the two passes that apply it to a line.
class TextHighlight
{
public:
    enum { MaxIds = 256 };

    // Loads the definition whose key is `name`: a file of that name in the
    // manager's resource directory (or an absolute path), else the built-in
    // definition of that key, else "NoHighlight". `manager` may be null: no
    // files are read then and the user's colours come from the default settings.
    TextHighlight(const QString& name, TextEditorManager* manager);
    virtual ~TextHighlight();
    TextHighlight(const TextHighlight&) = delete;
    TextHighlight& operator=(const TextHighlight&) = delete;

    // The attribute of `id`; null when the definition has none.
    TextAttribute* attribute(int id) const;
    QString name() const;

    // The context pass: resets `line` to start context `ctx` and returns the
    // context in force at its end; -1 when the pass ran out of its time
    // before the end (see the line's highlightCut): called again with the
    // same start context, it goes on from where it stopped.
    int doHighlight(int ctx, TextLine* line);
    // The colouring pass: writes an attribute id for every character of
    // `line`, from its start context, and marks it highlighted. A pass that
    // runs out of time leaves the line not highlighted, coloured up to its
    // highlightedTo() and plain after, and marked cut; running it again goes
    // on from there.
    void highlight(TextLine* line);
    // The same pass, stopped at the first step that starts at `upTo` or
    // later, or continued from where an earlier stop left it: the
    // characters before the stop get exactly the attributes the whole pass
    // gives them. The line is marked highlighted once the pass reaches its
    // end. A negative `upTo` runs to the end.
    void highlight(TextLine* line, int upTo);

    // Context tables by id, for inspection; null where there is no context.
    const HighlightContext* context(int id) const;
    const HighlightContext* breakContext(int id) const;
    // The context names of each section in document order.
    QStringList contextNames() const;
    QStringList breakContextNames() const;

private:
    void createItemData(const QDomDocument* doc, TextEditorManager* manager);
    void makeCtnList(const QDomDocument* doc);
    void makeContextList(const QDomDocument* doc);

    struct Private;
    Private* d;
};

// The registry's entry for one definition.
struct HighlightData {
    QString name; // display name
    QString path; // key given to TextHighlight
    QString mask; // file-name wildcards
};

// The editable copy of one definition's settings kept by an options dialog.
struct HLConfigData {
    QString name;
    QString fileMasks;
    std::array<TextAttribute*, TextHighlight::MaxIds> attributes{};
};

// The definitions the process knows, in the order in which file names are
// matched against their masks.
class HighlightDict
{
public:
    HighlightDict() = default;
    ~HighlightDict();
    HighlightDict(const HighlightDict&) = delete;
    HighlightDict& operator=(const HighlightDict&) = delete;

    // The entry registered last under `name`; null when there is none.
    HighlightData* find(const QString& name) const;
    // All entries, in matching order.
    const QList<HighlightData*>& entries() const { return m_entries; }
    int count() const { return int(m_entries.size()); }

    void insert(HighlightData* data);

private:
    QList<HighlightData*> m_entries;
    QList<int> m_serials;
    int m_inserted = 0;
};

// The process-wide registry of highlighting definitions.
class TextHighlightManager
{
public:
    // Built on the first call from that manager's resource directory and kept
    // for the life of the process.
    static HighlightDict* highlights(TextEditorManager* manager);
    // A new definition for the first entry whose masks match `fileName`, else
    // "NoHighlight". The caller owns it.
    static TextHighlight* findHighlight(TextEditorManager* manager, const QString& fileName);
    // The display name of the definition findHighlight() gives for
    // `fileName`, without building it.
    static QString findHighlightName(TextEditorManager* manager, const QString& fileName);
    // A new definition for the display name `name`, else "NoHighlight".
    static TextHighlight* highlight(TextEditorManager* manager, const QString& name);
    // The display names of the registry, each once, sorted.
    static QStringList highlightNames(TextEditorManager* manager);

    // Whether one of the masks in `mask` (split at ";", else at blanks) matches
    // the whole `fileName`, case-sensitively.
    static bool matchMask(const QString& mask, const QString& fileName);
    // Case-sensitive wildcard match of the whole name: "*", "?" and "[...]"
    // (with "!" or "^" to negate).
    static bool matchWildcard(QStringView pattern, QStringView name);
    static QStringList splitMask(const QString& mask);
};

// `name` inside `dir`; an absolute `name` is returned unchanged.
QString findHighlightPath(const QString& name, const QString& dir);

// The definition of last resort.
extern const QString no_highlight_xml;

} // namespace xqwidgets

#endif
