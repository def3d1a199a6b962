// The highlighting options dialog driven as a user drives it: lists clicked,
// boxes ticked, colours picked from the combo boxes by keyboard, OK or Cancel,
// then the stored keys, the registry and the pixels of an open editor checked.

#include "vexa/editors/hloptions.h"
#include "vexa/settings.h"
#include "vexa/widgets/colorcombo.h"

#include "xqwidgets/xqeditor/highlight.h"
#include "xqwidgets/xqeditor/textdoc.h"
#include "xqwidgets/xqeditor/texteditor.h"
#include "xqwidgets/xqeditor/textmanager.h"
#include "xqwidgets/xqeditor/textview.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace xqwidgets;

namespace
{

// Definitions the built-ins don't cover: an item without colours, two items
// of one name, and no items at all.
const char* const kColourless = R"(<!DOCTYPE Highlight>
<Highlight name="Colourless" wildcards="*.cls">
 <Items>
  <Text/>
  <Mark color="#008000" bgcolor="#ff0000"/>
 </Items>
 <Break><normal><citem item="" regexp="$" mode="until"/></normal></Break>
 <Contents><normal><citem item="Text" regexp="$" mode="until"/></normal></Contents>
</Highlight>
)";

const char* const kTwins = R"(<!DOCTYPE Highlight>
<Highlight name="Twins" wildcards="*.twn">
 <Items>
  <Same color="#000080"/>
  <Same color="#800000"/>
 </Items>
 <Break><normal><citem item="" regexp="$" mode="until"/></normal></Break>
 <Contents><normal><citem item="Same" regexp="$" mode="until"/></normal></Contents>
</Highlight>
)";

const char* const kEmpty = R"(<!DOCTYPE Highlight>
<Highlight name="Empty" wildcards="*.emp">
 <Items/>
 <Break><normal><citem item="" regexp="$" mode="until"/></normal></Break>
 <Contents><normal/></Contents>
</Highlight>
)";

// The settings object itself (vexa::Settings' static helpers add the
// application prefix, which these keys don't carry).
QSettings* store()
{
    return vexa::Settings::self();
}

QString stored(const QString& key)
{
    return store()->value(QStringLiteral("/xqeditor/hl/") + key).toString();
}

bool isStored(const QString& key)
{
    return store()->contains(QStringLiteral("/xqeditor/hl/") + key);
}

QStringList storedKeys()
{
    QSettings* s = store();
    s->beginGroup(QStringLiteral("xqeditor"));
    const QStringList keys = s->allKeys();
    s->endGroup();
    return keys;
}

// Clicks the `occurrence`-th row of `list` whose text is `text`.
void clickRow(QListWidget* list, const QString& text, int occurrence = 0)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() > occurrence, qPrintable(text));
    QListWidgetItem* item = found.at(occurrence);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    QCOMPARE(list->currentItem(), item);
}

// Picks an entry of the combo by typing its name, as a keyboard user does.
void pickColour(ColorCombo* combo, const QString& name)
{
    combo->setFocus();
    QTest::keyClicks(combo, name);
    QCOMPARE(combo->currentText(), name);
}

// Clicks a check box on its indicator.
void tick(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

const TextAttribute* attributeNamed(const TextHighlight* h, const QString& item)
{
    for (int id = 0; id < TextHighlight::MaxIds; ++id) {
        const TextAttribute* a = h->attribute(id);
        if (a && a->itemName == item)
            return a;
    }
    return nullptr;
}

} // namespace

class TestHLOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    TextEditorManager* m = nullptr;
    QMap<QString, QString> originalMasks;
    std::unique_ptr<vexa::HLOptions> dlg;

    // A fresh dialog, shown so that its lists can be clicked.
    vexa::HLOptions* openDialog()
    {
        dlg = std::make_unique<vexa::HLOptions>(m, nullptr, "options", true);
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg.get()))
            return nullptr;
        return dlg.get();
    }

    void writeDefinition(const QString& file, const char* text)
    {
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    // Whether some pixel of the first text row, over the first `columns`
    // characters, has colour `c`.
    static bool firstRowHas(TextView* view, int columns, const QColor& c)
    {
        const QImage img = view->grab().toImage();
        const int advance = view->manager()->fontData(0).width;
        for (int y = 0; y < view->lineHeight() && y < img.height(); ++y)
            for (int x = 0; x < 2 + columns * advance && x < img.width(); ++x)
                if (img.pixelColor(x, y) == c)
                    return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        // The sandbox keeps its settings file between runs.
        store()->remove(QStringLiteral("xqeditor"));
        store()->sync();
        writeDefinition(QStringLiteral("colourless.xml"), kColourless);
        writeDefinition(QStringLiteral("twins.xml"), kTwins);
        writeDefinition(QStringLiteral("empty.xml"), kEmpty);
        // The registry is built once per process, from the first manager's
        // resource directory.
        m = new TextEditorManager;
        m->setResourcesDir(dir.path());
        m->setGlobalConfig(vexa::Settings::self());
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPixelSize(13);
        m->setFont(f);
        for (const HighlightData* e : TextHighlightManager::highlights(m)->entries())
            originalMasks.insert(e->name, e->mask);
        QVERIFY(originalMasks.contains(QStringLiteral("Colourless")));
        QVERIFY(originalMasks.contains(QStringLiteral("Empty")));
        QVERIFY(originalMasks.contains(QStringLiteral("C++")));
    }

    void init()
    {
        store()->remove(QStringLiteral("xqeditor"));
        for (HighlightData* e : TextHighlightManager::highlights(m)->entries())
            e->mask = originalMasks.value(e->name);
    }

    void cleanup() { dlg.reset(); }

    void cleanupTestCase()
    {
        dlg.reset();
        delete m;
    }

    void formAndFirstSelection()
    {
        vexa::HLOptions* d = openDialog();
        QVERIFY(d);
        QCOMPARE(d->objectName(), QString("options"));
        QCOMPARE(d->windowTitle(), QString("HL Options"));
        QVERIFY(d->isModal());
        QVERIFY(!d->labelAutodetection->isVisible());
        QVERIFY(!d->buttonAutodetection->isVisible());
        QVERIFY(d->buttonOk->isDefault());

        // Every definition once, sorted; the first one and its first item selected.
        QStringList names;
        for (int i = 0; i < d->listHl->count(); ++i)
            names << d->listHl->item(i)->text();
        QCOMPARE(names, TextHighlightManager::highlightNames(m));
        QCOMPARE(d->listHl->currentRow(), 0);
        QCOMPARE(d->listItems->currentRow(), d->listItems->count() > 0 ? 0 : -1);

        // Another definition: its masks, items and first item's values.
        clickRow(d->listHl, QStringLiteral("C++"));
        const std::unique_ptr<TextHighlight> cpp(TextHighlightManager::highlight(m, "C++"));
        QCOMPARE(d->lineFileMask->text(), originalMasks.value("C++"));
        QCOMPARE(d->listItems->item(0)->text(), cpp->attribute(0)->itemName);
        QCOMPARE(d->listItems->currentRow(), 0);
        QVERIFY(d->color->isEnabled() && d->checkBold->isEnabled());
        QCOMPARE(d->color->color(), cpp->attribute(0)->color);
        QCOMPARE(d->checkBold->isChecked(), bool(cpp->attribute(0)->fontType & 2));

        clickRow(d->listItems, QStringLiteral("Keyword"));
        QVERIFY(d->checkBold->isChecked()); // cpp.xml: Keyword is bold blue
        QVERIFY(!d->checkItalic->isChecked());
        QCOMPARE(d->color->color(), QColor("#0000ff"));
        QVERIFY(!d->bgColor->hasColor());

        // A definition without items: nothing to select, item controls off.
        clickRow(d->listHl, QStringLiteral("Empty"));
        QCOMPARE(d->listItems->count(), 0);
        for (QWidget* w : {(QWidget*)d->color, (QWidget*)d->bgColor, (QWidget*)d->checkBold,
                           (QWidget*)d->checkItalic})
            QVERIFY(!w->isEnabled());
    }

    void okWithoutChangesWritesEveryKey()
    {
        QVERIFY(openDialog());
        QTest::mouseClick(dlg->buttonOk, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());

        QSet<QString> expected;
        for (const QString& name : TextHighlightManager::highlightNames(m)) {
            expected << "hl/" + name + " wildcards";
            QCOMPARE(stored(name + " wildcards"), originalMasks.value(name));
            const std::unique_ptr<TextHighlight> h(TextHighlightManager::highlight(m, name));
            for (int id = 0; h->attribute(id); ++id) {
                const QString base = "hl/" + name + "/" + h->attribute(id)->itemName;
                expected << base + "/style" << base + "/color" << base + "/bgcolor";
            }
        }
        const QStringList keys = storedKeys();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()), expected);

        QCOMPARE(stored("C++/Keyword/style"), QString("b"));
        QCOMPARE(stored("C++/Keyword/color"), QString("#0000ff"));
        QCOMPARE(stored("C++/Keyword/bgcolor"), QString(""));
        QCOMPARE(stored("Colourless/Mark/bgcolor"), QString("#ff0000"));
        // An item without a text colour is not made black.
        QVERIFY(isStored("Colourless/Text/color"));
        QCOMPARE(stored("Colourless/Text/color"), QString(""));
        const std::unique_ptr<TextHighlight> h(TextHighlightManager::highlight(m, "Colourless"));
        QVERIFY(!h->attribute(0)->color.isValid());
        // Items of one name share their keys: the first of them is stored.
        QCOMPARE(stored("Twins/Same/color"), QString("#000080"));
    }

    void styleAndColoursFromTheControls()
    {
        vexa::HLOptions* d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("Colourless"));
        // Show the coloured item first, so the combos hold its colours ...
        clickRow(d->listItems, QStringLiteral("Mark"));
        QCOMPARE(d->color->color(), QColor("#008000"));
        QVERIFY(d->bgColor->hasColor());
        // ... then tick Bold on the item without colours.
        clickRow(d->listItems, QStringLiteral("Text"));
        QVERIFY(!d->color->hasColor());
        QVERIFY(!d->bgColor->hasColor());
        tick(d->checkBold);
        QVERIFY(d->checkBold->isChecked());

        // Bold and italic together on the coloured item, its background removed.
        clickRow(d->listItems, QStringLiteral("Mark"));
        tick(d->checkBold);
        tick(d->checkItalic);
        pickColour(d->bgColor, QStringLiteral("none"));

        // Selecting the second of two items of one name edits the first.
        clickRow(d->listHl, QStringLiteral("Twins"));
        clickRow(d->listItems, QStringLiteral("Same"), 1);
        tick(d->checkItalic);

        QTest::mouseClick(d->buttonOk, Qt::LeftButton);

        QCOMPARE(stored("Colourless/Text/style"), QString("b"));
        QCOMPARE(stored("Colourless/Text/color"), QString(""));   // not the shown green
        QCOMPARE(stored("Colourless/Text/bgcolor"), QString("")); // not the shown red
        QCOMPARE(stored("Colourless/Mark/style"), QString("ib"));
        QCOMPARE(stored("Colourless/Mark/color"), QString("#008000"));
        QCOMPARE(stored("Colourless/Mark/bgcolor"), QString(""));
        QCOMPARE(stored("Twins/Same/style"), QString("i"));
        QCOMPARE(stored("Twins/Same/color"), QString("#000080"));

        // The component reads them back.
        const std::unique_ptr<TextHighlight> h(TextHighlightManager::highlight(m, "Colourless"));
        QCOMPARE(h->attribute(0)->fontType, 2);
        QVERIFY(!h->attribute(0)->color.isValid());
        QCOMPARE(h->attribute(1)->fontType, 3);
        QVERIFY(!h->attribute(1)->usebg);
    }

    void openEditorRepaintsWithNewColours()
    {
        std::unique_ptr<TextEditor> e(m->createEditor(nullptr, nullptr));
        TextView* view = e->view();
        view->setHighlight(QStringLiteral("C++"));
        e->document()->loadText(QStringLiteral("return x;"));
        e->resize(400, 120);
        e->show();
        QVERIFY(QTest::qWaitForWindowExposed(e.get()));
        const QColor blue("#0000ff"), red(Qt::red), yellow(Qt::yellow);
        QVERIFY(firstRowHas(view, 6, blue));
        QVERIFY(!firstRowHas(view, 6, red));

        vexa::HLOptions* d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("C++"));
        clickRow(d->listItems, QStringLiteral("Keyword"));
        pickColour(d->color, QStringLiteral("red"));
        pickColour(d->bgColor, QStringLiteral("yellow"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
        QCOMPARE(stored("C++/Keyword/color"), QString("#ff0000"));
        QCOMPARE(stored("C++/Keyword/bgcolor"), QString("#ffff00"));

        QTest::qWait(0);
        QVERIFY(firstRowHas(view, 6, red));
        QVERIFY(firstRowHas(view, 6, yellow));
        QVERIFY(!firstRowHas(view, 6, blue));

        // Background back to none: the keyword draws without one.
        d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("C++"));
        clickRow(d->listItems, QStringLiteral("Keyword"));
        QCOMPARE(d->bgColor->color(), yellow);
        pickColour(d->bgColor, QStringLiteral("none"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);
        QCOMPARE(stored("C++/Keyword/bgcolor"), QString(""));
        QTest::qWait(0);
        QVERIFY(firstRowHas(view, 6, red));
        QVERIFY(!firstRowHas(view, 6, yellow));
    }

    void changedMaskServesFilesOpenedLater()
    {
        vexa::HLOptions* d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("Colourless"));
        d->lineFileMask->setFocus();
        QTest::keyClick(d->lineFileMask, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(d->lineFileMask, QStringLiteral("*.cls;*.zz"));
        // The typed text belongs to that definition only and survives switching.
        clickRow(d->listHl, QStringLiteral("C++"));
        QCOMPARE(d->lineFileMask->text(), originalMasks.value("C++"));
        clickRow(d->listHl, QStringLiteral("Colourless"));
        QCOMPARE(d->lineFileMask->text(), QString("*.cls;*.zz"));
        QTest::mouseClick(d->buttonOk, Qt::LeftButton);

        QCOMPARE(stored("Colourless wildcards"), QString("*.cls;*.zz"));
        QCOMPARE(stored("C++ wildcards"), originalMasks.value("C++"));
        const std::unique_ptr<TextHighlight> h(TextHighlightManager::findHighlight(m, "notes.zz"));
        QCOMPARE(h->name(), QString("Colourless"));
        // An editor opened afterwards picks it by the file name.
        std::unique_ptr<TextEditor> e(m->createEditor(nullptr, nullptr));
        e->view()->setHighlightByFileName(QStringLiteral("/tmp/notes.zz"));
        QCOMPARE(e->view()->highlight()->name(), QString("Colourless"));
    }

    void cancelWritesNothing()
    {
        std::unique_ptr<TextEditor> e(m->createEditor(nullptr, nullptr));
        e->view()->setHighlight(QStringLiteral("C++"));
        vexa::HLOptions* d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("C++"));
        clickRow(d->listItems, QStringLiteral("Keyword"));
        pickColour(d->color, QStringLiteral("red"));
        tick(d->checkItalic);
        d->lineFileMask->setFocus();
        QTest::keyClicks(d->lineFileMask, QStringLiteral(";*.qq"));
        QTest::mouseClick(d->buttonCancel, Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Rejected));

        QCOMPARE(storedKeys(), QStringList());
        QCOMPARE(TextHighlightManager::highlights(m)->find("C++")->mask,
                 originalMasks.value("C++"));
        QCOMPARE(attributeNamed(e->view()->highlight(), "Keyword")->color, QColor("#0000ff"));

        // The next run starts from what is stored, not from the cancelled edits.
        d = openDialog();
        QVERIFY(d);
        clickRow(d->listHl, QStringLiteral("C++"));
        clickRow(d->listItems, QStringLiteral("Keyword"));
        QCOMPARE(d->color->color(), QColor("#0000ff"));
        QVERIFY(!d->checkItalic->isChecked());
        QCOMPARE(d->lineFileMask->text(), originalMasks.value("C++"));

        // Escape cancels too.
        tick(d->checkItalic);
        QTest::keyClick(d, Qt::Key_Escape);
        QVERIFY(!d->isVisible());
        QCOMPARE(storedKeys(), QStringList());
    }
};

QTEST_MAIN(TestHLOptions)
#include "tst_hloptions.moc"
