#ifndef VEXA_CTAGS_CTAGSPARSER_H
#define VEXA_CTAGS_CTAGSPARSER_H

#include "parser.h"

namespace vexa
{

// The parser that runs the external ctags program; one for the process, a
// child of the main window.
class CTagsParser : public Parser
{
    Q_OBJECT
public:
    static CTagsParser* self();
    ~CTagsParser() override;

private:
    explicit CTagsParser(QObject* parent);
};

} // namespace vexa

#endif
