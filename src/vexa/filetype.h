#ifndef VEXA_FILETYPE_H
#define VEXA_FILETYPE_H

#include <QFileIconProvider>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace vexa
{

class Parser;

// A kind of file, recognised by the ending of its name: icons for the lists
// that show files, a sort weight, the tags parser for its contents, named
// options, and where a file of the kind goes when it is opened (a text editor,
// or the receiver of an installed association).
class FileType : public QObject
{
    Q_OBJECT
public:
    // A null `mask` gives a type without endings. The type registers itself
    // with the registry.
    FileType(const QString& name, const QString& mask, const QPixmap& pixmap,
             const QPixmap& bigPixmap, int listOrder);
    ~FileType() override;

    QString name() const;
    void setName(const QString& name);

    // The endings joined with single blanks.
    virtual QString mask() const;
    // Lower-cased, split at blanks, empty pieces dropped.
    virtual void setMask(const QString& masks);
    virtual void addMask(const QString& masks);
    // Whether the name ends with one of the endings (case-sensitive).
    virtual bool match(const QString& fileName) const;

    virtual QPixmap pixmap() const;
    virtual QPixmap bigPixmap() const;
    void setPixmap(const QPixmap& pixmap);
    void setBigPixmap(const QPixmap& pixmap);
    int listOrder() const;
    void setListOrder(int order);

    bool hasAssociacion() const;
    // Files of this type go to `member` of `receiver` from now on.
    void installAssociacion(QObject* receiver, const char* member);

    QString option(const QString& name) const;
    bool hasOption(const QString& name) const;
    void addOption(const QString& name, const QString& value);

    // Not owned; null once the parser is gone.
    Parser* parser() const;
    void setParser(Parser* parser);

public Q_SLOTS:
    void open(const QString& fileName);

Q_SIGNALS:
    void openFile(const QString& fileName);

private:
    class Private;
    Private* d;
};

// File dialogs show the small icons of the file types.
class FileIconProvider : public QFileIconProvider
{
public:
    explicit FileIconProvider(QObject* parent = nullptr);
    QIcon icon(const QFileInfo& info) const override;
    using QFileIconProvider::icon;
};

// The registry of file types: a fixed table built on first use.
class FileTypeManager
{
public:
    static FileTypeManager* self();
    virtual ~FileTypeManager();

    // The first type of that exact name, or null.
    FileType* fileType(const QString& name) const;
    // The type of a file name (case-insensitive ending); never null.
    FileType* findType(const QString& fileName) const;
    void installFileType(FileType* type);
    QList<FileType*> fileTypes() const;
    FileIconProvider* fileIconProvider() const;

    // Opens the file the way its type says.
    static void openFile(const QString& fileName);

private:
    FileTypeManager();
    class Private;
    Private* d;
};

} // namespace vexa

#endif
