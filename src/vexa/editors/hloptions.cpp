#include "vexa/editors/hloptions.h"

#include "ui_hloptionsbase.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textmanager.h"

#include <QSet>
#include <QSettings>

#include <memory>

using xqwidgets::HLConfigData;
using xqwidgets::TextAttribute;
using xqwidgets::TextHighlight;
using xqwidgets::TextHighlightManager;

HLOptionsBase::HLOptionsBase(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl), m_form(new Ui::HLOptionsBase)
{
    setObjectName(name ? QString::fromLatin1(name) : QStringLiteral("HLOptionsBase"));
    setModal(modal);
    m_form->setupUi(this);
    listHl = m_form->listHl;
    TextLabel1 = m_form->TextLabel1;
    lineFileMask = m_form->lineFileMask;
    TextLabel2 = m_form->TextLabel2;
    listItems = m_form->listItems;
    checkBold = m_form->checkBold;
    checkItalic = m_form->checkItalic;
    TextLabel3 = m_form->TextLabel3;
    color = m_form->color;
    TextLabel4 = m_form->TextLabel4;
    bgColor = m_form->bgColor;
    labelAutodetection = m_form->labelAutodetection;
    buttonAutodetection = m_form->buttonAutodetection;
    buttonOk = m_form->buttonOk;
    buttonCancel = m_form->buttonCancel;
    resize(minimumSizeHint().expandedTo(QSize(460, 392)));

    connect(buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(listHl, &QListWidget::currentTextChanged, this, &HLOptionsBase::hlSelected);
    connect(listItems, &QListWidget::currentTextChanged, this, &HLOptionsBase::itemSelected);
    connect(checkBold, &QCheckBox::toggled, this, &HLOptionsBase::itemChanged);
    connect(checkItalic, &QCheckBox::toggled, this, &HLOptionsBase::itemChanged);
    connect(lineFileMask, &QLineEdit::textChanged, this, &HLOptionsBase::maskChanged);
    connect(buttonAutodetection, &QPushButton::clicked, this,
            &HLOptionsBase::configureAutodetection);
    connect(buttonOk, &QPushButton::clicked, this, &QDialog::accept);
    languageChange();
}

HLOptionsBase::~HLOptionsBase() = default;

void HLOptionsBase::languageChange()
{
    m_form->retranslateUi(this);
}

void HLOptionsBase::hlSelected(const QString&)
{
    qWarning("HLOptionsBase::hlSelected(const QString&): Not implemented yet");
}

void HLOptionsBase::itemSelected(const QString&)
{
    qWarning("HLOptionsBase::itemSelected(const QString&): Not implemented yet");
}

void HLOptionsBase::itemChanged()
{
    qWarning("HLOptionsBase::itemChanged(): Not implemented yet");
}

void HLOptionsBase::maskChanged()
{
    qWarning("HLOptionsBase::maskChanged(): Not implemented yet");
}

void HLOptionsBase::configureAutodetection()
{
    qWarning("HLOptionsBase::configureAutodetection(): Not implemented yet");
}

namespace vexa
{

namespace
{

void deleteRecord(HLConfigData* data)
{
    if (!data)
        return;
    for (TextAttribute*& a : data->attributes) {
        delete a;
        a = nullptr;
    }
    delete data;
}

// Makes `row` the current row of `list` and reports it even when it was
// current already (a list filled from empty may have made it current itself).
void selectFirstRow(QListWidget* list, HLOptionsBase* dialog, bool items)
{
    if (list->count() == 0)
        return;
    if (list->currentRow() != 0) {
        list->setCurrentRow(0);
        return;
    }
    const QString text = list->item(0)->text();
    if (items)
        dialog->itemSelected(text);
    else
        dialog->hlSelected(text);
}

} // namespace

HLOptions::HLOptions(xqwidgets::TextEditorManager* manager, QWidget* parent, const char* name,
                     bool modal, Qt::WindowFlags fl)
    : HLOptionsBase(parent, name, modal, fl), manager(manager)
{
    lockUpdate = true;
    labelAutodetection->hide();
    buttonAutodetection->hide();

    const xqwidgets::HighlightDict* dict = TextHighlightManager::highlights(manager);
    for (const xqwidgets::HighlightData* entry : dict->entries()) {
        auto* data = new HLConfigData;
        data->name = entry->name;
        data->fileMasks = entry->mask;
        const std::unique_ptr<TextHighlight> h(
            TextHighlightManager::highlight(manager, entry->name));
        for (int i = 0; i < TextHighlight::MaxIds; ++i) {
            const TextAttribute* a = h->attribute(i);
            data->attributes[i] = a ? new TextAttribute(*a) : nullptr;
        }
        // A later entry of the same name is the one the registry finds.
        if (HLConfigData* old = hlDataDict.value(data->name))
            deleteRecord(old);
        else
            listHl->addItem(data->name);
        hlDataDict.insert(data->name, data);
    }

    connect(color, &ColorCombo::activated, this, &HLOptions::itemChanged);
    connect(bgColor, &ColorCombo::activated, this, &HLOptions::itemChanged);

    listHl->sortItems(Qt::AscendingOrder);
    lockUpdate = false;
    selectFirstRow(listHl, this, false);
}

HLOptions::~HLOptions()
{
    for (HLConfigData* data : std::as_const(hlDataDict))
        deleteRecord(data);
}

void HLOptions::setItemControlsEnabled(bool enabled)
{
    color->setEnabled(enabled);
    bgColor->setEnabled(enabled);
    checkBold->setEnabled(enabled);
    checkItalic->setEnabled(enabled);
}

void HLOptions::hlSelected(const QString& name)
{
    if (lockUpdate)
        return;
    lockUpdate = true;
    listItems->clear();
    currentHlData = hlDataDict.value(name);
    if (currentHlData) {
        for (const TextAttribute* a : currentHlData->attributes) {
            if (!a)
                break;
            listItems->addItem(a->itemName);
        }
    }
    lineFileMask->setText(currentHlData ? currentHlData->fileMasks : QString());
    currentAttribute = nullptr;
    setItemControlsEnabled(false);
    lockUpdate = false;
    selectFirstRow(listItems, this, true);
}

void HLOptions::itemSelected(const QString& itemName)
{
    if (lockUpdate)
        return;
    lockUpdate = true;
    currentAttribute = nullptr;
    if (currentHlData) {
        for (TextAttribute* a : currentHlData->attributes) {
            if (!a)
                break;
            if (a->itemName == itemName) {
                currentAttribute = a;
                break;
            }
        }
    }
    setItemControlsEnabled(currentAttribute != nullptr);
    if (currentAttribute) {
        color->setColor(currentAttribute->color);
        bgColor->setColor(currentAttribute->bgcolor);
        checkBold->setChecked(currentAttribute->fontType & 2);
        checkItalic->setChecked(currentAttribute->fontType & 1);
    }
    lockUpdate = false;
}

void HLOptions::itemChanged()
{
    if (lockUpdate || !currentAttribute)
        return;
    // While the text colour combo shows "none" its color() is whatever it
    // showed before, possibly another item's colour: the item keeps its own.
    if (color->hasColor())
        currentAttribute->color = color->color();
    currentAttribute->bgcolor = bgColor->hasColor() ? bgColor->color() : QColor();
    currentAttribute->fontType =
        (checkBold->isChecked() ? 2 : 0) + (checkItalic->isChecked() ? 1 : 0);
}

void HLOptions::maskChanged()
{
    if (lockUpdate || !currentHlData)
        return;
    currentHlData->fileMasks = lineFileMask->text();
}

void HLOptions::configureAutodetection() {}

void HLOptions::accept()
{
    xqwidgets::HighlightDict* dict = TextHighlightManager::highlights(manager);
    // The component reads the overrides through the manager's settings
    // object; writing through the same object makes them visible at once.
    std::unique_ptr<QSettings> own;
    QSettings* settings = manager ? manager->globalConfig() : nullptr;
    if (!settings) {
        own = std::make_unique<QSettings>();
        settings = own.get();
    }
    const QString root = QStringLiteral("/xqeditor/hl/");
    for (const HLConfigData* data : std::as_const(hlDataDict)) {
        settings->setValue(root + data->name + QStringLiteral(" wildcards"), data->fileMasks);
        if (xqwidgets::HighlightData* entry = dict->find(data->name))
            entry->mask = data->fileMasks;
        // Items of one name share their keys; the dialog edits the first of
        // them, so a later namesake must not overwrite it.
        QSet<QString> written;
        for (const TextAttribute* a : data->attributes) {
            if (!a)
                break;
            if (written.contains(a->itemName))
                continue;
            written.insert(a->itemName);
            const QString key = root + data->name + QLatin1Char('/') + a->itemName;
            QString style;
            if (a->fontType & 1)
                style += QLatin1Char('i');
            if (a->fontType & 2)
                style += QLatin1Char('b');
            settings->setValue(key + QStringLiteral("/style"), style);
            // An item without a text colour stays without one (not black).
            settings->setValue(key + QStringLiteral("/color"),
                               a->color.isValid() ? a->color.name() : QString());
            settings->setValue(key + QStringLiteral("/bgcolor"),
                               a->bgcolor.isValid() ? a->bgcolor.name() : QString());
        }
    }
    settings->sync();
    own.reset();
    if (manager)
        manager->updateHighlight();
    QDialog::accept();
}

} // namespace vexa
