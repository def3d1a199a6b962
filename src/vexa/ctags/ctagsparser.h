#ifndef VEXA_CTAGS_CTAGSPARSER_H
#define VEXA_CTAGS_CTAGSPARSER_H

#include "vexa/ctags/parser.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <memory>

namespace vexa
{

// The parser that runs the external ctags program on a temporary copy of the
// text; one for the process, a child of the main window, attached to every
// file type. Each run goes on a worker thread of its own: writing the file,
// running ctags, reading its output and building the tree never hold the
// window, which only gets the finished tree. Several runs may go on at once;
// a new text for a file stops that file's earlier run, and destroying the
// parser stops every run and waits for its worker.
class CTagsParser : public Parser
{
    Q_OBJECT
public:
    static CTagsParser* self();
    ~CTagsParser() override;

    using Parser::parse;
    // Takes the suffix of `filePath` for the run this request may start.
    int parse(const QString& text, const QString& filePath, const QByteArray& digest) override;
    // Runs still going after this long (30 s unless changed), plus a second
    // per 512 KiB of text, are stopped with what they started and deliver
    // nothing; the same text is not run again for the file (noAnswer()).
    void setTimeLimit(int msecs);
    // How many ctags runs are under way: a stopped one counts until its
    // worker has let go of its program and file.
    int runCount() const;

protected:
    // Starts a run on a worker thread and returns the key, or 0 when there
    // is no ctags program (reported to the user the first time in a
    // session). A run that cannot write its file or start ctags, or whose
    // ctags fails, delivers nothing and frees the key.
    int parse(const QString& text) override;

private:
    explicit CTagsParser(QObject* parent);
    struct Run;
    static void work(CTagsParser* parser, const std::shared_ptr<Run>& run);
    void runDone(const std::shared_ptr<Run>& run);
    void stop(Run* run);
    void cannotStart(int key, const QString& fileName);

    class Private;
    Private* d;
};

} // namespace vexa

#endif
