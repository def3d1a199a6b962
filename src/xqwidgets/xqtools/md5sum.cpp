#include "xqwidgets/xqtools/md5sum.h"

#include <QCryptographicHash>

namespace xqwidgets
{

QString md5sum(const QString& text)
{
    // The terminating zero is hashed too, and the bytes are written without
    // padding: stored keys were made this way.
    QByteArray bytes = text.toUtf8();
    bytes.append('\0');
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
    QString result;
    for (char c : digest)
        result += QString::number(static_cast<uchar>(c), 16);
    return result;
}

} // namespace xqwidgets
