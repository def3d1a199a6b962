#ifndef XQWIDGETS_HIGHLIGHTREGISTRY_P_H
#define XQWIDGETS_HIGHLIGHTREGISTRY_P_H

#include "xqwidgets/xqeditor/textmanager.h"

#include <QDomDocument>
#include <QHash>
#include <QLatin1String>
#include <QSettings>
#include <QString>

#include <memory>

// What the definitions' loader and registry (highlightregistry.cpp) give the
// definition objects (highlight.cpp): parsed documents by key, their serials,
// and the user's stored colours.
namespace xqwidgets::highlightregistry
{

inline const QLatin1String kSettingsRoot("/xqeditor/hl/");

// The user's stored colours and masks: the host's settings object when it
// gave the manager one, else the default settings of the application.
class HighlightSettings
{
public:
    explicit HighlightSettings(TextEditorManager* manager)
        : m_settings(manager ? manager->globalConfig() : nullptr)
    {
        if (!m_settings) {
            m_own = std::make_unique<QSettings>();
            m_settings = m_own.get();
        }
    }
    QString value(const QString& key, const QString& fallback) const
    {
        return m_settings->value(key, fallback).toString();
    }

private:
    QSettings* m_settings;
    std::unique_ptr<QSettings> m_own;
};

// Parsed definitions by key, for the life of the process.
QHash<QString, QDomDocument>& highlightDict();

// One serial per parsed definition: two definition objects made from the
// same one (two views of a document) run the same rules, so each may go on
// from the states the other saved on a line.
QHash<QString, quint64>& definitionSerials();

// The definition named `name`: the file in the manager's resource directory,
// else the built-in one, else the default definition.
QDomDocument loadDocument(const QString& name, TextEditorManager* manager);

// The default definition ("NoHighlight"), parsed once.
const QDomDocument& fallbackDocument();

} // namespace xqwidgets::highlightregistry

#endif
