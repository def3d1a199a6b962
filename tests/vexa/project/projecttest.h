#ifndef VEXA_TESTS_PROJECTTEST_H
#define VEXA_TESTS_PROJECTTEST_H

// Helpers of the project tests: files, documents compared by content, and
// message boxes answered by script.

#include "vexa/message.h"
#include "vexa/project/project.h"
#include "vexa/widgets/domlistview.h"

#include <QAbstractButton>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <algorithm>

namespace projecttest
{

inline QByteArray projectXml(const QByteArray& inner, const QByteArray& projectAttrs = "name=\"P\"")
{
    return "<!DOCTYPE vexaproject>\n<vexaproject>\n <project version=\"8.0\" " + projectAttrs +
           ">\n" + inner + " </project>\n</vexaproject>\n";
}

// The tree's item of the node at a local name, or null.
inline vexa::DomListViewItem* itemOf(vexa::DomListView* view, const QString& localName)
{
    for (QTreeWidgetItemIterator it(view); *it; ++it) {
        auto* item = static_cast<vexa::DomListViewItem*>(*it);
        if (vexa::Project::self()->node2localName(item->node) == localName)
            return item;
    }
    return nullptr;
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A node as text with its attributes in name order, so two documents that
// differ only in the order of attributes give the same text.
inline QString canonical(const QDomNode& n, int depth = 0)
{
    QString out(depth, QLatin1Char(' '));
    if (n.isElement()) {
        const QDomElement e = n.toElement();
        const QDomNamedNodeMap attrs = e.attributes();
        QStringList list;
        for (int i = 0; i < attrs.count(); ++i) {
            const QDomAttr a = attrs.item(i).toAttr();
            list.append(a.name() + QLatin1String("=\"") + a.value() + QLatin1Char('"'));
        }
        std::sort(list.begin(), list.end());
        out += QLatin1Char('<') + e.tagName();
        for (const QString& a : list)
            out += QLatin1Char(' ') + a;
        out += QLatin1String(">\n");
    } else if (n.isText()) {
        out += QLatin1String("text:") + n.nodeValue() + QLatin1Char('\n');
    } else if (n.isComment()) {
        out += QLatin1String("comment:") + n.nodeValue() + QLatin1Char('\n');
    } else if (n.isDocumentType()) {
        out += QLatin1String("doctype:") + n.nodeName() + QLatin1Char('\n');
    }
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling())
        out += canonical(c, depth + 1);
    return out;
}

inline QString canonicalXml(const QByteArray& xml)
{
    QDomDocument doc;
    if (!doc.setContent(xml))
        return QStringLiteral("not XML");
    return canonical(doc.doctype()) + canonical(doc);
}

// Answers every message box: with the next scripted standard button, else
// with the box's default button. Records the texts shown.
struct Boxes {
    QStringList texts;
    QStringList captions;
    QList<int> answers;
    Boxes()
    {
        vexa::Message::setResponder([this](QMessageBox* box) -> QAbstractButton* {
            texts.append(box->text());
            captions.append(box->windowTitle());
            if (!answers.isEmpty())
                if (QAbstractButton* b =
                        box->button(QMessageBox::StandardButton(answers.takeFirst())))
                    return b;
            if (box->defaultButton())
                return box->defaultButton();
            return box->buttons().isEmpty() ? nullptr : box->buttons().constFirst();
        });
    }
    ~Boxes() { vexa::Message::setResponder({}); }
};

} // namespace projecttest

#endif
