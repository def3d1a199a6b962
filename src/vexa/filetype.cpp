#include "vexa/filetype.h"

#include "vexa/ctags/ctagsparser.h"
#include "vexa/editors/editors.h"
#include "vexa/utils.h"

#include <QMap>
#include <QPointer>

namespace vexa
{

class FileType::Private
{
public:
    QString name;
    QStringList mask;
    QPixmap pixmap;
    QPixmap bigPixmap;
    int listOrder = 500;
    bool associacion = false;
    // The parser belongs to the main window and may go first.
    QPointer<Parser> parser;
    QMap<QString, QString> options;

    static QStringList split(const QString& masks)
    {
        return masks.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
};

FileType::FileType(const QString& name, const QString& mask, const QPixmap& pixmap,
                   const QPixmap& bigPixmap, int listOrder)
    : QObject(nullptr), d(new Private)
{
    d->name = name;
    d->pixmap = pixmap;
    d->bigPixmap = bigPixmap;
    d->listOrder = listOrder;
    if (!mask.isNull())
        setMask(mask);
    FileTypeManager::self()->installFileType(this);
}

FileType::~FileType()
{
    delete d;
}

QString FileType::name() const
{
    return d->name;
}

void FileType::setName(const QString& name)
{
    d->name = name;
}

QString FileType::mask() const
{
    return d->mask.join(QLatin1Char(' '));
}

void FileType::setMask(const QString& masks)
{
    d->mask = Private::split(masks);
}

void FileType::addMask(const QString& masks)
{
    d->mask += Private::split(masks);
}

bool FileType::match(const QString& fileName) const
{
    for (const QString& m : std::as_const(d->mask))
        if (fileName.endsWith(m))
            return true;
    return false;
}

QPixmap FileType::pixmap() const
{
    return d->pixmap;
}

QPixmap FileType::bigPixmap() const
{
    return d->bigPixmap;
}

void FileType::setPixmap(const QPixmap& pixmap)
{
    d->pixmap = pixmap;
}

void FileType::setBigPixmap(const QPixmap& pixmap)
{
    d->bigPixmap = pixmap;
}

int FileType::listOrder() const
{
    return d->listOrder;
}

void FileType::setListOrder(int order)
{
    d->listOrder = order;
}

bool FileType::hasAssociacion() const
{
    return d->associacion;
}

void FileType::installAssociacion(QObject* receiver, const char* member)
{
    d->associacion = true;
    connect(this, SIGNAL(openFile(QString)), receiver, member);
}

QString FileType::option(const QString& name) const
{
    return d->options.value(name);
}

bool FileType::hasOption(const QString& name) const
{
    return d->options.contains(name);
}

void FileType::addOption(const QString& name, const QString& value)
{
    d->options.insert(name, value);
}

Parser* FileType::parser() const
{
    return d->parser;
}

void FileType::setParser(Parser* parser)
{
    d->parser = parser;
}

void FileType::open(const QString& fileName)
{
    if (d->associacion)
        Q_EMIT openFile(fileName);
    else
        Editors::self()->open(fileName);
}

// ------------------------------------------------------ FileIconProvider

FileIconProvider::FileIconProvider(QObject*) : QFileIconProvider() {}

QIcon FileIconProvider::icon(const QFileInfo& info) const
{
    if (info.isDir())
        return QFileIconProvider::icon(info);
    return QIcon(FileTypeManager::self()->findType(info.fileName())->pixmap());
}

// ------------------------------------------------------- FileTypeManager

class FileTypeManager::Private
{
public:
    static FileTypeManager* self;
    QList<FileType*> fileTypes;
    FileType* stdType = nullptr;
    FileIconProvider* fileIconProvider = nullptr;
};

FileTypeManager* FileTypeManager::Private::self = nullptr;

FileTypeManager* FileTypeManager::self()
{
    if (!Private::self)
        new FileTypeManager();
    return Private::self;
}

FileTypeManager::FileTypeManager() : d(new Private)
{
    // Registered before the types are built: their constructors register
    // through self() and must reach this registry, not build a second one.
    Private::self = this;
    d->fileIconProvider = new FileIconProvider(nullptr);

    struct Def {
        const char* name;
        const char* mask;
        const char* icon;
        int order;
    };
    static const Def table[] = {
        {"folder", ".directory", "Folder", 0},
        {"project", ".vexa", "Project", 500},
        {"uifile", ".ui", "Ui", 500},
        {"pyfile", ".py", "PyFile", 500},
        {"cpp", ".cpp .c .cc", "Cpp", 500},
        {"ch", ".ch .chs .chf", "Ch", 500},
        {"hpp", ".hpp .h", "H", 500},
        {"text", ".txt", "Txt", 500},
        {"javascript", ".js", "JavaScript", 500},
        {"sql", ".sql", "Sql", 500},
        {"html", ".htm .html", "HtmlFiles", 500},
        {"php", ".php .php3 .php4", "HtmlFiles", 500},
        {"image", ".png .gif .jpeg .jpg .bmp .mng", "Image", 500},
        {"pdf", ".pdf", "Pdf", 500},
        {"tar", ".tar", "Tar", 500},
        {"tgz", ".tgz .tar.gz .zip", "Tgz", 500},
        {"spreadsheet", ".xls", "Spreadsheet", 500},
        {"rtf", ".rtf .doc", "RtfDocument", 500},
        {"video", ".avi .asf .mov .wmv .mpg .mpeg", "Video", 500},
        {"file", nullptr, "File", 500},
    };
    FileType* last = nullptr;
    for (const Def& t : table) {
        const QString icon = QLatin1String(t.icon);
        last = new FileType(QLatin1String(t.name), t.mask ? QLatin1String(t.mask) : QString(),
                            Utils::icon(QStringLiteral("18x18_") + icon),
                            Utils::icon(QStringLiteral("32x32_") + icon), t.order);
    }
    d->stdType = last;

    Parser* parser = CTagsParser::self();
    for (FileType* t : std::as_const(d->fileTypes))
        t->setParser(parser);
}

FileTypeManager::~FileTypeManager()
{
    delete d;
}

FileType* FileTypeManager::fileType(const QString& name) const
{
    for (FileType* t : d->fileTypes)
        if (t->name() == name)
            return t;
    return nullptr;
}

FileType* FileTypeManager::findType(const QString& fileName) const
{
    const QString lowered = fileName.toLower();
    for (FileType* t : d->fileTypes)
        if (t->match(lowered))
            return t;
    return d->stdType;
}

void FileTypeManager::installFileType(FileType* type)
{
    if (type && !d->fileTypes.contains(type))
        d->fileTypes.append(type);
}

QList<FileType*> FileTypeManager::fileTypes() const
{
    return d->fileTypes;
}

FileIconProvider* FileTypeManager::fileIconProvider() const
{
    return d->fileIconProvider;
}

void FileTypeManager::openFile(const QString& fileName)
{
    self()->findType(fileName)->open(fileName);
}

} // namespace vexa
