#include "textfolding.h"

#include "textdoc.h"

namespace xqwidgets {

TextFolding::TextFolding(TextDocument* doc) : QObject(doc), m_doc(doc) {}

TextFolding::~TextFolding() = default;

void TextFolding::ensureLineVisible(int) {}

void TextFolding::removeFold(int) {}

} // namespace xqwidgets
