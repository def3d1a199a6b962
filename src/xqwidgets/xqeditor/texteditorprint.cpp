// The editor frame's HTML export and printing: the document's coloured
// lines joined into one <pre> fragment, and that fragment laid out in pages
// with a page number under each.

#include "xqwidgets/xqeditor/texteditor.h"

#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor_p.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

namespace xqwidgets
{

QString TextEditor::html(int from, int to)
{
    const int last = d->doc->lastLine();
    to = to == -1 ? last : qMin(to, last);
    QString out = QStringLiteral("<pre>\n");
    for (int i = from; i <= to; ++i) {
        QString line = d->doc->html(i);
        // The blanks that open a line would collapse in rich text: after the
        // line's first tag, each one becomes a non-breaking space.
        int start = 0;
        if (line.startsWith(u'<')) {
            const int close = int(line.indexOf(u'>'));
            if (close >= 0)
                start = close + 1;
        }
        int end = start;
        while (end < line.size() && line.at(end).isSpace())
            ++end;
        if (end > start) {
            QString nbsp;
            nbsp.reserve((end - start) * 6);
            for (int k = start; k < end; ++k)
                nbsp += QLatin1String("&nbsp;");
            line.replace(start, end - start, nbsp);
        }
        out += line;
        out += u'\n';
    }
    out += QLatin1String("</pre>");
    return out;
}

void TextEditor::print()
{
    if (!d->manager->setupPrinter())
        return;
    // Let the dialog disappear before the long job starts.
    QApplication::processEvents();
    printTo(d->manager->printer());
}

int TextEditor::printTo(QPrinter* printer)
{
    // The margins are in points; the body is where the text goes, in device
    // units.
    const int dpix = printer->logicalDpiX();
    const int dpiy = printer->logicalDpiY();
    const QRect& m = d->manager->margins;
    const QRect body(m.x() * dpix / 72, m.y() * dpiy / 72,
                     printer->width() - (m.x() + m.width()) * dpix / 72,
                     printer->height() - (m.y() + m.height()) * dpiy / 72);
    // Margins that leave no body would never move the text on from page to
    // page: printing would go on producing pages without end.
    if (body.width() <= 0 || body.height() <= 0) {
        qWarning("TextEditor::printTo(): the print margins leave no room on the page");
        return 0;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPainter p;
    if (!p.begin(printer)) {
        QApplication::restoreOverrideCursor();
        return 0;
    }

    // Laid out at the printer's resolution, in pages one body high; the
    // body is the whole page of the layout, so it has no margin of its own.
    QTextDocument text;
    text.documentLayout()->setPaintDevice(printer);
    text.setDefaultFont(d->manager->font());
    text.setDocumentMargin(0);
    text.setHtml(html(0, -1));
    text.setPageSize(QSizeF(body.width(), body.height()));
    const qreal textHeight = text.size().height();

    const QFont numberFont = d->manager->font();
    const QFontMetrics fm(numberFont, printer);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();

    int page = 1;
    qreal top = 0; // top of the part of the text shown on this page
    for (;;) {
        p.save();
        p.setClipRect(body);
        p.translate(body.x(), body.y() - top);
        // A line that does not fit is moved to the top of the next page,
        // exactly where this page's clip ends; a clip that touched it would
        // draw it here too (out of sight, but in the file's text).
        context.clip = QRectF(0, top, body.width(), body.height() - 0.5);
        text.documentLayout()->draw(&p, context);
        p.restore();
        top += body.height();

        const QString number = QString::number(page);
        p.setFont(numberFont);
        p.drawText(body.x() + body.width() - fm.horizontalAdvance(number),
                   body.y() + body.height() + fm.ascent() + 5, number);
        if (top >= textHeight)
            break;
        printer->newPage();
        ++page;
    }
    p.end();
    QApplication::restoreOverrideCursor();
    return page;
}

} // namespace xqwidgets
