#ifndef VEXA_CTAGS_PARSER_H
#define VEXA_CTAGS_PARSER_H

#include "vexa/ctags/node.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <functional>

namespace vexa
{

// Base of the parsers that find the symbols (tags) of a text. A subclass only
// starts a parse (`parse(text)`) and hands the finished tree to `deliver()`;
// this class does the rest: a key per text, a cache of the newest tree per
// file name, a guard against parsing a text for a file twice at once, and the
// delivery of cached trees from the event loop.
//
// Trees belong to the parser. A delivered tree stays valid while it is the
// newest one for its file or while a consumer holds it: a consumer that keeps
// showing a tree calls hold() on it and release() when it lets it go. Every
// stored tree has a generation of its own, never given to another tree, so a
// consumer tells a new tree from the one it shows by generation, not address.
class Parser : public QObject
{
    Q_OBJECT
public:
    explicit Parser(QObject* parent = nullptr);
    ~Parser() override;

    // Type code to icon and to type name.
    QMap<int, QPixmap> pixmaps;
    QMap<int, QString> typenames;

    // Reads the file (as Latin-1) and parses it under its name. A file that
    // cannot be read is parsed as the empty text.
    virtual int parseFile(const QString& fileName);
    // Asks for the tree of `text`, the content of `fileName` (empty for an
    // untitled editor: all of those share the name "Untitled"). Returns the
    // text's key at once; the tree comes later through nodes(key, root): a
    // cached one from the event loop, a new one when the subclass is done.
    // Nothing comes when a parse of this text for this file is already
    // running (that one delivers) or when the parse fails.
    int parse(const QString& text, const QString& fileName);
    // The same with the text's digest already made (see Digest).
    virtual int parse(const QString& text, const QString& fileName, const QByteArray& digest);
    // The node's type name and icon; a Function whose name begins with "__"
    // shows as FunctionPrivate. A code without an entry gives an empty name
    // and a null pixmap. The pixmap lives as long as the parser.
    virtual QString typeName(const Node* node) const;
    virtual const QPixmap* typeIcon(const Node* node) const;

    // The line of a position: the newlines at positions 0..pos, counted up to
    // the first U+0000. A negative pos counts as 0.
    static int pos2y(int pos, const QString& text);
    // Distance from the newline before the position (on the first line, the
    // column). A negative pos counts as 0.
    static int pos2x(int pos, const QString& text);
    // The position that stands for line y (x is ignored; y <= 0 is line 0):
    // the last character of a line followed by a newline, the text length for
    // a last line that holds characters, the text length + 1 beyond the text
    // or for an empty last line, the line's own newline for an empty line.
    static int xy2pos(int x, int y, const QString& text);

    // xy2pos() and pos2y() for many lines of one text: the newlines are
    // found once.
    class LineEnds
    {
    public:
        explicit LineEnds(const QString& text);
        // The text of these lines joined by newlines, read a line at a time.
        LineEnds(int lineCount, const std::function<QString(int)>& line);
        int pos(int y) const;
        int line(int pos) const;

    private:
        QList<int> m_newlines;
        int m_length = 0;
        // The first U+0000, where line() stops counting; -1 for none.
        int m_nul = -1;
    };

    // A digest of the text (128 bits, see parser.cpp) and the key made of
    // its first four bytes. The empty text has key 0.
    static QByteArray digest(const QString& text);

    // The digest of a text that grows at its end, made a block at a time as
    // the text grows, so that a big text is never hashed in one go.
    class Digest
    {
    public:
        Digest();
        // Hashes the whole blocks of `text` not hashed yet: the same text as
        // at the last call, grown since.
        void add(const QString& text);
        // The digest of `text`, the last growth of the same text.
        QByteArray finish(const QString& text);

    private:
        quint64 m_hash[2];
        qsizetype m_done = 0;
    };

    static int calculateKey(const QString& text);
    static int keyOf(const QByteArray& digest);

    // The lifetime protocol (see above). Both ignore a root the parser does
    // not own; hold counts nest.
    void hold(Node* root);
    void release(Node* root);
    // The generation of a tree the parser owns; 0 for anything else.
    quint64 generation(const Node* root) const;
    // How many trees the parser owns now.
    int treeCount() const;
    // Whether a parse of a text with this key is under way for the file.
    bool inFlight(int key, const QString& fileName) const;
    // Whether the last parse for the file ran out of time on the text with
    // this key: the same text is not parsed again (a request for it returns
    // its key and delivers nothing) until the file's text changes.
    bool timedOut(int key, const QString& fileName) const;

Q_SIGNALS:
    // A new tree has been stored for the file.
    void reparsed(const QString& fileName, vexa::Node* rootNode);
    // A tree for the text with this key; the parser's own cacheNodes() is
    // always the first receiver, so later receivers see it cached.
    void nodes(int key, vexa::Node* rootNode);
    // The parse of the text with this key for the file ran out of time.
    void noAnswer(int key, const QString& fileName);

protected:
    // The subclass's parse, called on a cache miss while the key is in flight
    // for requestFileName(). Returns the key, or 0 when it could not start (it
    // then has called parseFailed() already).
    virtual int parse(const QString& text) = 0;
    // The (non-empty) file name and the key of the request that parse(text)
    // serves.
    QString requestFileName() const;
    int requestKey() const;
    // A finished parse: emits nodes(key, root) for the file's request. The
    // tree must be new; from here on it belongs to the parser.
    void deliver(int key, const QString& fileName, Node* root);
    // A parse that will deliver nothing: the key is no longer in flight for
    // the file, so the next request parses again.
    void parseFailed(int key, const QString& fileName);
    // A parse that ran out of time: as parseFailed(), and the text is not
    // parsed again for the file until another text is asked for.
    void parseTimedOut(int key, const QString& fileName);

protected Q_SLOTS:
    void sendNodes();
    void cacheNodes(int key, vexa::Node* rootNode);

private:
    class Private;
    Private* d;
};

} // namespace vexa

#endif
