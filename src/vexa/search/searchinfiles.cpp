#include "vexa/search/searchinfiles.h"

#include "ui_searchinfiles.h"

#include "vexa/editors/editors.h"
#include "vexa/message.h"
#include "vexa/search/filesearch.h"
#include "vexa/settings.h"
#include "vexa/utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include <new>

using vexa::FileSearch;
using vexa::SearchOptions;
using vexa::Settings;

namespace
{

// The dialog whose search runs, if any.
QPointer<SearchInFiles> running;

// A history list: the field's text first, then its list without repeats.
QStringList history(const QComboBox* combo)
{
    QStringList list{combo->currentText()};
    for (int i = 0; i < combo->count(); ++i) {
        const QString entry = combo->itemText(i);
        if (!list.contains(entry))
            list.append(entry);
    }
    return list;
}

} // namespace

SearchInFiles::SearchInFiles(QWidget* parent, const char* name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_form(new Ui::SearchInFiles), core(new FileSearch)
{
    setObjectName(name ? QString::fromLatin1(name) : QStringLiteral("SearchInFiles"));
    setModal(modal);
    m_form->setupUi(this);
    SearchInFilesLayout = m_form->SearchInFilesLayout;
    TextLabel1 = m_form->TextLabel1;
    comboDirectory = m_form->comboDirectory;
    buttonDirectory = m_form->buttonDirectory;
    TextLabel3 = m_form->TextLabel3;
    comboPattern = m_form->comboPattern;
    spacer1 = m_form->spacer1;
    TextLabel2 = m_form->TextLabel2;
    comboSearch = m_form->comboSearch;
    replaceLabel = m_form->replaceLabel;
    comboReplace = m_form->comboReplace;
    spacer2 = m_form->spacer2;
    GroupBox1 = m_form->GroupBox1;
    GroupBox1Layout = m_form->GroupBox1Layout;
    checkWholeWord = m_form->checkWholeWord;
    checkCaseSensetive = m_form->checkCaseSensetive;
    checkRegExp = m_form->checkRegExp;
    checkSearchInProject = m_form->checkSearchInProject;
    groupStretch = m_form->groupStretch;
    spacer3 = m_form->spacer3;
    labelProcessing = m_form->labelProcessing;
    spacer4 = m_form->spacer4;
    Layout1 = m_form->Layout1;
    buttonStretch = m_form->buttonStretch;
    buttonSearch = m_form->buttonSearch;
    buttonCancel = m_form->buttonCancel;
    languageChange();
    resize(size().expandedTo(minimumSizeHint()));

    buttonDirectory->setIcon(vexa::Utils::iconSet(QStringLiteral("16x16_FolderOpen")));
    QPalette pal = labelProcessing->palette();
    pal.setColor(QPalette::Window, QColor(242, 236, 200));
    pal.setColor(QPalette::WindowText, Qt::black);
    labelProcessing->setPalette(pal);
    comboPattern->setCompleter(nullptr);
    // The status line never widens the dialog: a long path is elided.
    labelProcessing->setSizePolicy(QSizePolicy::Ignored,
                                   labelProcessing->sizePolicy().verticalPolicy());
    labelProcessing->setMinimumWidth(0);

    connect(checkSearchInProject, &QCheckBox::toggled, comboDirectory, &QWidget::setDisabled);
    connect(checkSearchInProject, &QCheckBox::toggled, buttonDirectory, &QWidget::setDisabled);
    connect(comboSearch, &QComboBox::editTextChanged, this, &SearchInFiles::searchStringChanged);
    connect(buttonCancel, &QPushButton::clicked, this, &SearchInFiles::cancelPressed);
    connect(buttonSearch, &QPushButton::clicked, this, &SearchInFiles::searchPressed);
    connect(buttonDirectory, &QToolButton::clicked, this, &SearchInFiles::selectDirectory);

    core->options = [this]() { return options(); };
    core->filePattern = [this]() { return comboPattern->currentText(); };
    core->row = [this](const QString& text, int line, const QString& file) {
        Q_EMIT newEntry(text, line, file);
    };
    // The status line follows the walk at the pace the event loop runs.
    core->yield = [this](const QString& file) {
        showStatus(file);
        QCoreApplication::processEvents();
    };
    init();
}

SearchInFiles::~SearchInFiles()
{
    // Closing the window stops a search first, so none runs here.
    core->cancel();
    delete core;
}

SearchInFiles::State SearchInFiles::state() const
{
    return current;
}

vexa::FileSearch* SearchInFiles::fileSearch() const
{
    return core;
}

bool SearchInFiles::stopRunning()
{
    if (!running)
        return false;
    running->stop();
    return true;
}

void SearchInFiles::stop()
{
    if (current != Searching)
        return;
    current = Stopping;
    core->cancel();
}

void SearchInFiles::init()
{
    current = Idle;
    checkSearchInProject->hide();
    replaceLabel->hide();
    comboReplace->hide();

    comboDirectory->clear();
    comboDirectory->addItems(Settings::readList(QStringLiteral("/SearchInFiles/Dirs")));
    comboDirectory->setEditText(
        Settings::read(QStringLiteral("/SearchInFiles/Last Dir"), QDir::currentPath()));
    comboPattern->clear();
    comboPattern->addItems(Settings::readList(QStringLiteral("/SearchInFiles/Patterns")));
    comboPattern->setEditText(Settings::read(QStringLiteral("/SearchInFiles/Last Pattern")));
    comboSearch->clear();
    comboSearch->addItems(Settings::readList(QStringLiteral("/SearchInFiles/SearchStrings")));
    comboSearch->setInsertPolicy(QComboBox::InsertAtTop);
    searchStringChanged();
}

void SearchInFiles::cancelPressed()
{
    stop();
    reject();
}

void SearchInFiles::processFile(const QString& path)
{
    core->processFile(path);
}

void SearchInFiles::processDirectory(const QString& path)
{
    core->processDirectory(path);
}

SearchOptions SearchInFiles::options() const
{
    SearchOptions o;
    o.text = comboSearch->currentText();
    o.caseSensitive = checkCaseSensetive->isChecked();
    o.wholeWord = checkWholeWord->isChecked();
    o.regExp = checkRegExp->isChecked();
    return o;
}

void SearchInFiles::searchPressed()
{
    if (current == Searching) {
        stop();
        return;
    }
    // Also a second press that arrives while the search unwinds.
    if (current != Idle || comboSearch->currentText().isEmpty())
        return;
    // A pattern that cannot match must not look like a search without hits.
    const QString error = FileSearch::error(options());
    if (!error.isEmpty()) {
        showStatus(tr("Invalid regular expression: %1").arg(error));
        return;
    }

    buttonSearch->setText(tr("Stop"));
    const QString folder = comboDirectory->currentText();
    const QString pattern = comboPattern->currentText();
    Settings::write(QStringLiteral("/SearchInFiles/Last Dir"), folder);
    Settings::write(QStringLiteral("/SearchInFiles/Last Pattern"), pattern);
    Settings::write(QStringLiteral("/SearchInFiles/Dirs"), history(comboDirectory));
    Settings::write(QStringLiteral("/SearchInFiles/Patterns"), history(comboPattern));
    Settings::write(QStringLiteral("/SearchInFiles/SearchStrings"), history(comboSearch));

    showStatus(QString());
    current = Searching;
    running = this;
    // An empty folder text names no folder (not the working one).
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        try {
            core->run(folder);
            // The status line keeps where the walk ended, however short it was.
            showStatus(core->lastFile());
        } catch (const std::bad_alloc&) {
            // A file or the rows of its hits took what memory was left: the
            // search ends there, the rows sent so far stay.
            showStatus(tr("Search stopped: not enough memory"));
        }
    } else {
        vexa::Message::warning(QStringLiteral("warning"),
                               QStringLiteral("The directory \n") + folder +
                                   QStringLiteral("\n dosn't exist."),
                               QMessageBox::Ok, 0, 0, this);
    }
    running = nullptr;
    current = Idle;
    buttonSearch->setText(tr("Search"));
    searchStringChanged();
    accept();
}

void SearchInFiles::searchStringChanged()
{
    // Stop stays at hand while a search runs, whatever the field holds.
    buttonSearch->setEnabled(current != Idle || !comboSearch->currentText().isEmpty());
}

void SearchInFiles::selectDirectory()
{
    QFileDialog dialog(this, QString(), comboDirectory->currentText());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!vexa::Editors::runFileDialog(dialog) || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    if (!folder.isEmpty())
        comboDirectory->setEditText(folder);
}

void SearchInFiles::showStatus(const QString& text)
{
    status = text;
    labelProcessing->setToolTip(text);
    const int room =
        qMax(0, labelProcessing->contentsRect().width() - 2 * labelProcessing->margin() -
                    qMax(0, labelProcessing->indent()));
    // elidedText() measures through a text layout, which can come out a few
    // pixels narrower than the label draws the same string: narrow the room
    // by the difference until what is drawn fits.
    const QFontMetrics fm = labelProcessing->fontMetrics();
    QString shown = fm.elidedText(text, Qt::ElideMiddle, room);
    for (int r = room, over = fm.horizontalAdvance(shown) - room; over > 0 && r > 0;
         over = fm.horizontalAdvance(shown) - room) {
        r -= over;
        shown = fm.elidedText(text, Qt::ElideMiddle, qMax(0, r));
    }
    labelProcessing->setText(shown);
}

void SearchInFiles::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    if (!status.isEmpty())
        showStatus(status);
}

void SearchInFiles::languageChange()
{
    m_form->retranslateUi(this);
    buttonDirectory->setText(QString());
}

void SearchInFiles::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(e);
}
