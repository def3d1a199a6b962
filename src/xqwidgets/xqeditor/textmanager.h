#ifndef XQWIDGETS_TEXTMANAGER_H
#define XQWIDGETS_TEXTMANAGER_H

#include <QColor>
#include <QFont>
#include <QMap>
#include <QObject>
#include <QRect>
#include <QStringList>

#include <algorithm>

class QFontMetrics;
class QPrinter;
class QSettings;

namespace xqwidgets
{

class TextDocument;
class TextEditor;

// One font variant with its metrics. `width` is the advance of every
// character when the font is fixed-pitch, -1 when it is proportional.
struct FontData {
    FontData() { forgetAdvances(); }
    ~FontData();
    FontData(const FontData&) = delete;
    FontData& operator=(const FontData&) = delete;

    void set(const QFont& f, bool bold, bool italic);

    QFont* font = nullptr;
    QFontMetrics* fm = nullptr;
    int width = -1;
    // Advances of the ASCII characters once asked (-1: not yet) for a face
    // of varying widths: asking the metrics costs far more than measuring.
    mutable qint16 ascii[128];
    void forgetAdvances() { std::fill(ascii, ascii + 128, qint16(-1)); }
};

// The options, fonts and colours shared by all documents and editors of the
// component. The host creates exactly one and passes it to every document.
// Setters that change layout or appearance push the change into every
// registered document or editor at once.
class TextEditorManager : public QObject
{
    Q_OBJECT

public:
    TextEditorManager();
    ~TextEditorManager() override;

    bool fCursorWrap = false;
    bool fSaveTab = false;
    bool fVerticalSelection = false;
    bool fOvr = false;
    bool fAutoIndent = true;
    bool fRemoveSpaces = false;
    bool fBackspaceIndent = true;
    bool fSmartHome = true;
    bool fLineWrap = false;
    bool fIndentationGuides = true;
    bool fIndicatorMargin = true;
    bool fSelectionMargin = true;
    bool fLineNumberMargin = true;
    bool fFoldingMargin = true;

    // Print margins in points: left in x, top in y, right in width, bottom in height.
    QRect margins{30, 30, 30, 30};
    QString hlSettings;
    QColor normalBackgroundColor{Qt::white};
    QColor selectedBackgroundColor{0xd0, 0xd0, 0xd0};
    QColor foundBackgroundColor{0xa0, 0xa0, 0xa0};
    QColor currentLineColor;
    QString winClipboard;

    // The printer is made on first use: creating one queries the print
    // system, which start-up should not wait for.
    QPrinter* printer();
    // Width in printer device units of the area inside the print margins.
    int printWidth();

    TextEditor* createEditor(QWidget* parent, TextDocument* doc, const char* name = nullptr);
    void addEditor(TextEditor* editor, TextDocument* doc);
    // Registers a document built by the host (documents made by createEditor
    // are registered already).
    void addDocument(TextDocument* doc);
    QList<TextDocument*> documents() const;
    QList<TextEditor*> editors() const;

    QString resourcesDir() const;
    void setResourcesDir(const QString& dir);
    QString localResourcesDir() const;
    void setLocalResourcesDir(const QString& dir);

    virtual void setHlSettingsKey(const QString& key);
    QString hlSettingsKey() const { return hlSettings; }
    void setGlobalConfig(QSettings* config);
    QSettings* globalConfig() const;

    void setFont(const QFont& f);
    const QFont& font() const;
    const QFont& font(int type) const;
    const FontData& fontData(int type) const;
    int width(int type, const QChar& c) const;
    int width(int type, const QString& s) const;

    int tabWidth() const;
    bool overwriteMode() const { return fOvr; }

    bool isIndicatorMarginVisible() const { return fIndicatorMargin; }
    bool isLineNumberMarginVisible() const { return fLineNumberMargin; }
    bool isSelectionMarginVisible() const { return fSelectionMargin; }
    bool isFoldingMarginVisible() const { return fFoldingMargin; }

    void setMargins(const QRect& r);
    bool setupPrinter();

    void editorActivated(TextEditor* editor);

    QStringList highlightsNames() const;
    void updateHighlight();

    void addCompletionList(const QStringList& words, int key);
    QMap<int, QStringList> addedCompleteWords() const;

public slots:
    void setOverwriteMode(bool on);
    void setIndicatorMarginVisible(bool on);
    void setLineNumberMarginVisible(bool on);
    void setSelectionMarginVisible(bool on);
    void setFoldingMarginVisible(bool on);
    void setVerticalSelection(bool on);
    void setTabWidth(int width);
    void setLineWrap(bool on);

signals:
    void activate(xqwidgets::TextEditor* editor);
    void overwriteModeChanged();

protected slots:
    void docDestroyed(QObject* doc);
    void editorDestroyed(QObject* editor);

private:
    void computePrintArea();
    void updateMarginsOfEditors();

    class Private;
    Private* d;
};

} // namespace xqwidgets

#endif
