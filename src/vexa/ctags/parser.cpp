#include "parser.h"

namespace vexa
{

Parser::Parser(QObject* parent, const char* name) : QObject(parent)
{
    if (name)
        setObjectName(QLatin1String(name));
}

Parser::~Parser() = default;

} // namespace vexa
