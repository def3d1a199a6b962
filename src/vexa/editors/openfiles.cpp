#include "vexa/editors/openfiles.h"

#include "vexa/editors/editor.h"
#include "vexa/editors/editors.h"
#include "vexa/settings.h"

#include <QFileInfo>

namespace vexa
{

static QString filesKey()
{
    return QStringLiteral("/editors/openedFiles");
}
static QString posesKey()
{
    return QStringLiteral("/editors/openedFilePoses");
}
static QString currentKey()
{
    return QStringLiteral("/editors/openedCurrent");
}

void OpenFiles::loadFiles()
{
    const QStringList files = Settings::readList(filesKey());
    for (const QString& f : files) {
        // A folder is no text to open; an empty entry was an untitled editor.
        const QFileInfo info(f);
        if (!f.isEmpty() && info.exists() && !info.isDir())
            Editors::self()->open(f);
    }
}

void OpenFiles::loadCurrent()
{
    Editors* editors = Editors::self();
    const QString current = Settings::read(currentKey());
    const QFileInfo info(current);
    if (!current.isEmpty() && info.exists() && !info.isDir())
        editors->open(current);

    const QStringList files = Settings::readList(filesKey());
    const QStringList poses = Settings::readList(posesKey());
    const QList<Editor*> open = editors->editors();
    for (int i = 0; i < files.size() && i < poses.size(); ++i) {
        if (files.at(i).isEmpty())
            continue;
        Editor* target = nullptr;
        for (Editor* e : open) {
            if (e->filename() == files.at(i)) {
                target = e;
                break;
            }
        }
        if (!target)
            continue;
        const QStringList parts = poses.at(i).split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (parts.size() != 2)
            continue;
        // The editor keeps the cursor inside its text.
        target->setCursorPosition(parts.at(0).toInt(), parts.at(1).toInt());
    }
}

} // namespace vexa
