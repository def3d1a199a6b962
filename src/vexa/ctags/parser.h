#ifndef VEXA_CTAGS_PARSER_H
#define VEXA_CTAGS_PARSER_H

#include <QObject>

namespace vexa
{

// Base of the parsers that find the symbols (tags) of a file's text. Each
// file type names the parser for its files.
class Parser : public QObject
{
    Q_OBJECT
public:
    explicit Parser(QObject* parent = nullptr, const char* name = nullptr);
    ~Parser() override;
};

} // namespace vexa

#endif
