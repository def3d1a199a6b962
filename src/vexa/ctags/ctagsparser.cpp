#include "ctagsparser.h"

#include "shell.h"

namespace vexa
{

static CTagsParser* instance = nullptr;

CTagsParser* CTagsParser::self()
{
    if (!instance)
        new CTagsParser(Shell::self());
    return instance;
}

CTagsParser::CTagsParser(QObject* parent) : Parser(parent)
{
    instance = this;
}

CTagsParser::~CTagsParser()
{
    if (instance == this)
        instance = nullptr;
}

} // namespace vexa
