// Paints the application's built-in icon set and writes it, with a Qt resource
// file listing it, into the directory given on the command line. Every image
// is drawn here from simple shapes on a 100-unit canvas scaled to its size.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <functional>
#include <vector>

namespace
{

using Draw = std::function<void(QPainter&, qreal w, qreal h)>;

struct Icon {
    QString name;
    int width;
    int height;
    Draw draw;
    bool alpha = true;
};

const QColor ink(40, 40, 48);
const QColor paper(250, 250, 246);
const QColor folderYellow(236, 190, 74);
const QColor accentBlue(52, 110, 200);
const QColor accentGreen(56, 150, 70);
const QColor accentRed(205, 55, 45);

QPen pen(const QColor& c, qreal w = 6)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter& p, const QRectF& r, const QColor& fill = paper)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(pen(ink, 5));
    p.setBrush(fill);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(fill.darker(115));
    p.drawPath(corner);
}

void text(QPainter& p, const QRectF& r, const QString& s, const QColor& c, qreal size,
          bool bold = true)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qMax(1, int(size)));
    f.setBold(bold);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, s);
}

// A page with a coloured band carrying a short label: the file-type icons.
void filePage(QPainter& p, const QString& label, const QColor& band)
{
    page(p, QRectF(16, 4, 68, 92));
    if (label.isEmpty()) {
        p.setPen(pen(QColor(150, 150, 150), 4));
        for (int y = 40; y <= 80; y += 12)
            p.drawLine(QPointF(26, y), QPointF(74, y));
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    const QRectF bandRect(8, 48, 84, 38);
    p.drawRoundedRect(bandRect, 6, 6);
    text(p, bandRect, label, Qt::white, label.size() <= 1 ? 34 : label.size() == 2 ? 30 : 23);
}

void folder(QPainter& p, const QColor& c, bool open)
{
    p.setPen(pen(c.darker(160), 5));
    p.setBrush(c.darker(115));
    QPainterPath back;
    back.moveTo(6, 22);
    back.lineTo(36, 22);
    back.lineTo(44, 30);
    back.lineTo(94, 30);
    back.lineTo(94, 86);
    back.lineTo(6, 86);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(c);
    if (open) {
        QPolygonF front({QPointF(18, 44), QPointF(99, 44), QPointF(88, 86), QPointF(4, 86)});
        p.drawPolygon(front);
    } else {
        p.drawRect(QRectF(6, 40, 88, 46));
    }
}

void magnifier(QPainter& p, qreal cx, qreal cy, qreal r)
{
    p.setPen(pen(ink, r * 0.35));
    p.drawLine(QPointF(cx + r * 0.7, cy + r * 0.7), QPointF(cx + r * 1.6, cy + r * 1.6));
    p.setPen(pen(ink, r * 0.22));
    p.setBrush(QColor(200, 225, 250, 220));
    p.drawEllipse(QPointF(cx, cy), r, r);
}

void arrow(QPainter& p, qreal angle, const QColor& c)
{
    p.save();
    p.translate(50, 50);
    p.rotate(angle);
    QPolygonF a({QPointF(-38, -14), QPointF(4, -14), QPointF(4, -36), QPointF(42, 0),
                 QPointF(4, 36), QPointF(4, 14), QPointF(-38, 14)});
    p.setPen(pen(c.darker(150), 5));
    p.setBrush(c);
    p.drawPolygon(a);
    p.restore();
}

void curvedArrow(QPainter& p, bool right, const QColor& c)
{
    p.save();
    if (!right) {
        p.translate(100, 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(18, 78);
    arc.cubicTo(10, 30, 55, 18, 72, 40);
    p.setPen(pen(c, 14));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(pen(c.darker(140), 4));
    p.setBrush(c);
    p.drawPolygon(QPolygonF({QPointF(56, 52), QPointF(90, 58), QPointF(84, 22)}));
    p.restore();
}

void floppy(QPainter& p)
{
    p.setPen(pen(ink, 5));
    p.setBrush(accentBlue);
    p.drawRoundedRect(QRectF(8, 8, 84, 84), 8, 8);
    p.setBrush(paper);
    p.drawRect(QRectF(24, 8, 52, 34));
    p.setBrush(QColor(210, 210, 215));
    p.drawRect(QRectF(22, 58, 56, 34));
    p.setBrush(ink);
    p.drawRect(QRectF(58, 14, 10, 20));
}

void scissors(QPainter& p)
{
    p.setPen(pen(QColor(120, 120, 130), 8));
    p.drawLine(QPointF(30, 8), QPointF(66, 62));
    p.drawLine(QPointF(70, 8), QPointF(34, 62));
    p.setPen(pen(accentRed, 8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(28, 76), 15, 15);
    p.drawEllipse(QPointF(72, 76), 15, 15);
}

void copyPages(QPainter& p)
{
    page(p, QRectF(8, 6, 54, 66));
    page(p, QRectF(38, 28, 54, 66), QColor(230, 240, 255));
}

void clipboard(QPainter& p)
{
    p.setPen(pen(ink, 5));
    p.setBrush(QColor(170, 120, 70));
    p.drawRoundedRect(QRectF(14, 12, 72, 84), 8, 8);
    p.setBrush(paper);
    p.drawRect(QRectF(24, 24, 52, 64));
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(QRectF(34, 4, 32, 18), 5, 5);
}

void newPage(QPainter& p)
{
    page(p, QRectF(14, 6, 66, 88));
    p.setPen(pen(QColor(230, 170, 0), 7));
    const QPointF c(76, 24);
    for (int i = 0; i < 4; ++i) {
        const qreal a = i * M_PI / 4;
        p.drawLine(c + QPointF(std::cos(a) * 16, std::sin(a) * 16),
                   c - QPointF(std::cos(a) * 16, std::sin(a) * 16));
    }
}

void gear(QPainter& p, qreal cx, qreal cy, qreal r, const QColor& c)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a0 = i * M_PI / teeth;
        const qreal rr = (i % 2 == 0) ? r : r * 0.75;
        const QPointF pt(cx + std::cos(a0) * rr, cy + std::sin(a0) * rr);
        const QPointF pt2(cx + std::cos(a0 + M_PI / teeth) * rr,
                          cy + std::sin(a0 + M_PI / teeth) * rr);
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        path.lineTo(pt2);
    }
    path.closeSubpath();
    path.addEllipse(QPointF(cx, cy), r * 0.3, r * 0.3);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(pen(c.darker(150), 4));
    p.setBrush(c);
    p.drawPath(path);
}

void padlock(QPainter& p, const QRectF& r)
{
    p.setPen(pen(QColor(90, 90, 100), r.width() * 0.14));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(r.left() + r.width() * 0.2, r.top(), r.width() * 0.6, r.height() * 0.8), 0,
              180 * 16);
    p.setPen(pen(QColor(120, 80, 0), r.width() * 0.06));
    p.setBrush(QColor(230, 180, 40));
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.4, r.width(), r.height() * 0.6), 4,
                      4);
}

void badge(QPainter& p, const QString& letter, const QColor& c, bool square = false)
{
    p.setPen(pen(c.darker(150), 5));
    p.setBrush(c);
    if (square)
        p.drawRoundedRect(QRectF(8, 8, 84, 84), 16, 16);
    else
        p.drawEllipse(QRectF(6, 6, 88, 88));
    text(p, QRectF(0, 2, 100, 96), letter, Qt::white, letter.size() == 1 ? 64 : 44);
}

void lines(QPainter& p, qreal x0, qreal x1, const std::vector<qreal>& ys, const QColor& c)
{
    p.setPen(pen(c, 9));
    for (qreal y : ys)
        p.drawLine(QPointF(x0, y), QPointF(x1, y));
}

void appMark(QPainter& p, qreal w, qreal h)
{
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(60, 120, 220));
    g.setColorAt(1, QColor(30, 60, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(4, 4, w - 8, h - 8), 20, 20);
    QPolygonF v({QPointF(18, 20), QPointF(36, 20), QPointF(50, 62), QPointF(64, 20),
                 QPointF(82, 20), QPointF(58, 84), QPointF(42, 84)});
    p.setBrush(QColor(255, 200, 60));
    p.drawPolygon(v);
}

void splash(QPainter& p, qreal w, qreal h)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(40, 80, 160));
    g.setColorAt(1, QColor(15, 30, 70));
    p.fillRect(QRectF(0, 0, w, h), g);
    p.save();
    p.translate(w / 2 - 14, 6);
    p.scale(0.28, 0.28);
    appMark(p, 100, 100);
    p.restore();
    text(p, QRectF(0, 34, w, 18), QStringLiteral("Vexa"), Qt::white, 14);
    text(p, QRectF(0, 52, w, 8), QStringLiteral("programmer's editor"), QColor(200, 215, 240), 4.5,
         false);
}

std::vector<Icon> icons()
{
    std::vector<Icon> v;
    auto add = [&v](const QString& name, int w, int h, Draw d) { v.push_back({name, w, h, d}); };
    auto addSquare = [&add](int size, const QString& name, Draw d) {
        add(QStringLiteral("%1x%1_%2").arg(size).arg(name), size, size, d);
    };

    // File types, in two sizes.
    struct FileKind {
        const char* name;
        const char* label;
        QColor band;
    };
    const std::vector<FileKind> fileKinds = {
        {"Ch", "C", QColor(70, 110, 190)},      {"Cpp", "C++", QColor(40, 80, 170)},
        {"H", "H", QColor(130, 80, 170)},       {"HtmlFiles", "<>", QColor(220, 110, 30)},
        {"Java", "J", QColor(180, 60, 40)},     {"JavaScript", "JS", QColor(200, 170, 20)},
        {"Pdf", "PDF", QColor(200, 40, 40)},    {"Php", "PHP", QColor(100, 100, 170)},
        {"PyFile", "Py", QColor(50, 110, 160)}, {"RtfDocument", "RTF", QColor(60, 140, 140)},
        {"Sql", "SQL", QColor(120, 120, 40)},   {"Tar", "TAR", QColor(140, 100, 60)},
        {"Tgz", "TGZ", QColor(110, 80, 50)},    {"Txt", "TXT", QColor(110, 110, 120)},
        {"Ui", "UI", QColor(40, 150, 100)},     {"Binary", "01", QColor(80, 80, 80)},
    };
    for (const auto& k : fileKinds) {
        const QString label = QString::fromUtf8(k.label);
        const QColor band = k.band;
        Draw d = [label, band](QPainter& p, qreal, qreal) { filePage(p, label, band); };
        if (QLatin1String(k.name) != QLatin1String("Binary"))
            addSquare(18, QString::fromLatin1(k.name), d);
        if (QLatin1String(k.name) != QLatin1String("Php"))
            addSquare(32, QString::fromLatin1(k.name), d);
    }
    for (int s : {18, 32}) {
        addSquare(s, QStringLiteral("File"),
                  [](QPainter& p, qreal, qreal) { filePage(p, {}, {}); });
        addSquare(s, QStringLiteral("Folder"),
                  [](QPainter& p, qreal, qreal) { folder(p, folderYellow, false); });
        addSquare(s, QStringLiteral("FolderOpen"),
                  [](QPainter& p, qreal, qreal) { folder(p, folderYellow, true); });
        addSquare(s, QStringLiteral("Image"), [](QPainter& p, qreal, qreal) {
            p.setPen(pen(ink, 5));
            p.setBrush(QColor(170, 215, 250));
            p.drawRect(QRectF(8, 16, 84, 68));
            p.setBrush(QColor(70, 160, 70));
            p.drawPolygon(QPolygonF({QPointF(10, 82), QPointF(40, 44), QPointF(62, 70),
                                     QPointF(74, 58), QPointF(90, 82)}));
            p.setBrush(QColor(250, 200, 40));
            p.drawEllipse(QPointF(72, 34), 9, 9);
        });
        addSquare(s, QStringLiteral("Project"), [](QPainter& p, qreal, qreal) {
            p.setPen(pen(QColor(110, 70, 30), 5));
            p.setBrush(QColor(200, 150, 90));
            p.drawRect(QRectF(10, 34, 80, 58));
            p.setBrush(QColor(225, 180, 120));
            p.drawPolygon(
                QPolygonF({QPointF(10, 34), QPointF(26, 10), QPointF(74, 10), QPointF(90, 34)}));
            text(p, QRectF(10, 38, 80, 52), QStringLiteral("P"), QColor(90, 50, 10), 44);
        });
        addSquare(s, QStringLiteral("Spreadsheet"), [](QPainter& p, qreal, qreal) {
            page(p, QRectF(12, 6, 76, 88));
            p.setPen(pen(accentGreen, 4));
            for (int y = 36; y <= 84; y += 16)
                p.drawLine(QPointF(20, y), QPointF(80, y));
            for (int x = 20; x <= 80; x += 20)
                p.drawLine(QPointF(x, 36), QPointF(x, 84));
        });
        addSquare(s, QStringLiteral("Video"), [](QPainter& p, qreal, qreal) {
            p.setPen(pen(ink, 5));
            p.setBrush(QColor(60, 60, 70));
            p.drawRect(QRectF(8, 16, 84, 68));
            p.setBrush(paper);
            p.setPen(Qt::NoPen);
            for (int x = 14; x < 90; x += 16) {
                p.drawRect(QRectF(x, 20, 8, 8));
                p.drawRect(QRectF(x, 72, 8, 8));
            }
            p.setBrush(QColor(240, 120, 40));
            p.drawPolygon(QPolygonF({QPointF(40, 36), QPointF(64, 50), QPointF(40, 64)}));
        });
    }
    addSquare(18, QStringLiteral("FolderHome"), [](QPainter& p, qreal, qreal) {
        folder(p, folderYellow, false);
        p.setPen(pen(QColor(120, 60, 20), 5));
        p.setBrush(QColor(250, 245, 230));
        p.drawPolygon(QPolygonF({QPointF(50, 44), QPointF(70, 60), QPointF(64, 60), QPointF(64, 80),
                                 QPointF(36, 80), QPointF(36, 60), QPointF(30, 60)}));
    });
    addSquare(32, QStringLiteral("Clean"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(QColor(130, 80, 30), 9));
        p.drawLine(QPointF(80, 6), QPointF(46, 56));
        p.setPen(pen(QColor(150, 110, 20), 4));
        p.setBrush(QColor(230, 190, 70));
        p.drawPolygon(
            QPolygonF({QPointF(36, 48), QPointF(60, 64), QPointF(40, 96), QPointF(6, 80)}));
    });

    // Actions in two or three sizes.
    for (int s : {16, 22}) {
        addSquare(s, QStringLiteral("Copy"), [](QPainter& p, qreal, qreal) { copyPages(p); });
        addSquare(s, QStringLiteral("Cut"), [](QPainter& p, qreal, qreal) { scissors(p); });
        addSquare(s, QStringLiteral("Paste"), [](QPainter& p, qreal, qreal) { clipboard(p); });
        addSquare(s, QStringLiteral("New"), [](QPainter& p, qreal, qreal) { newPage(p); });
        addSquare(s, QStringLiteral("Open"),
                  [](QPainter& p, qreal, qreal) { folder(p, folderYellow, true); });
        addSquare(s, QStringLiteral("Save"), [](QPainter& p, qreal, qreal) { floppy(p); });
        addSquare(s, QStringLiteral("Undo"),
                  [](QPainter& p, qreal, qreal) { curvedArrow(p, false, accentBlue); });
        addSquare(s, QStringLiteral("Redo"),
                  [](QPainter& p, qreal, qreal) { curvedArrow(p, true, accentBlue); });
        addSquare(s, QStringLiteral("Find"),
                  [](QPainter& p, qreal, qreal) { magnifier(p, 40, 40, 28); });
        addSquare(s, QStringLiteral("FindNext"), [](QPainter& p, qreal, qreal) {
            magnifier(p, 36, 36, 24);
            p.save();
            p.translate(48, 48);
            p.scale(0.5, 0.5);
            arrow(p, 0, accentGreen);
            p.restore();
        });
        addSquare(s, QStringLiteral("FileExplorer"), [](QPainter& p, qreal, qreal) {
            folder(p, folderYellow, false);
            p.save();
            p.translate(40, 36);
            p.scale(0.55, 0.55);
            magnifier(p, 40, 40, 26);
            p.restore();
        });
    }
    for (int s : {16, 20, 22})
        addSquare(s, QStringLiteral("FindInFiles"), [](QPainter& p, qreal, qreal) {
            page(p, QRectF(6, 4, 48, 62));
            page(p, QRectF(26, 14, 48, 62));
            magnifier(p, 58, 58, 22);
        });

    addSquare(16, QStringLiteral("Breakpoint"), [](QPainter& p, qreal, qreal) {
        QRadialGradient g(QPointF(40, 40), 50);
        g.setColorAt(0, QColor(255, 120, 110));
        g.setColorAt(1, accentRed.darker(120));
        p.setPen(pen(accentRed.darker(170), 5));
        p.setBrush(g);
        p.drawEllipse(QRectF(12, 12, 76, 76));
    });
    addSquare(16, QStringLiteral("DetailedView"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(accentBlue, 8));
        for (int y : {18, 40, 62, 84}) {
            p.drawLine(QPointF(8, y), QPointF(48, y));
            p.drawLine(QPointF(60, y), QPointF(92, y));
        }
    });
    addSquare(16, QStringLiteral("ListView"), [](QPainter& p, qreal, qreal) {
        for (int y : {18, 50, 82}) {
            p.setPen(Qt::NoPen);
            p.setBrush(accentBlue);
            p.drawRect(QRectF(6, y - 9, 18, 18));
            p.setPen(pen(ink, 8));
            p.drawLine(QPointF(36, y), QPointF(92, y));
        }
    });
    addSquare(16, QStringLiteral("TreeView"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(ink, 6));
        p.drawLine(QPointF(18, 18), QPointF(18, 82));
        p.drawLine(QPointF(18, 50), QPointF(46, 50));
        p.drawLine(QPointF(18, 82), QPointF(46, 82));
        p.setPen(Qt::NoPen);
        p.setBrush(accentBlue);
        for (QPointF c : {QPointF(18, 16), QPointF(62, 50), QPointF(62, 82)})
            p.drawRect(QRectF(c.x() - 12, c.y() - 12, 24, 24));
    });
    addSquare(16, QStringLiteral("EditorSetup"), [](QPainter& p, qreal, qreal) {
        page(p, QRectF(6, 4, 62, 84));
        gear(p, 66, 66, 30, QColor(150, 150, 160));
    });
    addSquare(16, QStringLiteral("FolderOpen"),
              [](QPainter& p, qreal, qreal) { folder(p, folderYellow, true); });
    addSquare(16, QStringLiteral("Indent"), [](QPainter& p, qreal, qreal) {
        lines(p, 44, 94, {14, 38, 62, 86}, ink);
        p.setPen(Qt::NoPen);
        p.setBrush(accentBlue);
        p.drawPolygon(QPolygonF({QPointF(6, 32), QPointF(32, 50), QPointF(6, 68)}));
    });
    addSquare(16, QStringLiteral("Unindent"), [](QPainter& p, qreal, qreal) {
        lines(p, 44, 94, {14, 38, 62, 86}, ink);
        p.setPen(Qt::NoPen);
        p.setBrush(accentBlue);
        p.drawPolygon(QPolygonF({QPointF(32, 32), QPointF(6, 50), QPointF(32, 68)}));
    });
    addSquare(16, QStringLiteral("Lock"),
              [](QPainter& p, qreal, qreal) { padlock(p, QRectF(14, 6, 72, 88)); });
    addSquare(16, QStringLiteral("Messages"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(ink, 5));
        p.setBrush(QColor(40, 40, 50));
        p.drawRoundedRect(QRectF(6, 10, 88, 80), 8, 8);
        lines(p, 18, 60, {32}, QColor(120, 230, 120));
        lines(p, 18, 80, {52}, QColor(240, 240, 240));
        lines(p, 18, 50, {72}, QColor(250, 120, 100));
    });
    addSquare(16, QStringLiteral("NewFolder"), [](QPainter& p, qreal, qreal) {
        folder(p, folderYellow, false);
        p.setPen(pen(accentGreen.darker(120), 12));
        p.drawLine(QPointF(62, 50), QPointF(62, 80));
        p.drawLine(QPointF(47, 65), QPointF(77, 65));
    });
    addSquare(16, QStringLiteral("Replace"), [](QPainter& p, qreal, qreal) {
        text(p, QRectF(0, 0, 50, 56), QStringLiteral("A"), accentRed, 52);
        text(p, QRectF(50, 44, 50, 56), QStringLiteral("B"), accentBlue, 52);
        p.setPen(pen(ink, 6));
        p.drawLine(QPointF(26, 64), QPointF(26, 84));
        p.drawLine(QPointF(26, 84), QPointF(48, 84));
        p.drawLine(QPointF(40, 76), QPointF(48, 84));
        p.drawLine(QPointF(40, 92), QPointF(48, 84));
    });
    auto sortIcon = [](Draw key) {
        return [key](QPainter& p, qreal w, qreal h) {
            key(p, w, h);
            p.setPen(pen(ink, 7));
            p.drawLine(QPointF(80, 10), QPointF(80, 88));
            p.drawLine(QPointF(66, 72), QPointF(80, 90));
            p.drawLine(QPointF(94, 72), QPointF(80, 90));
        };
    };
    addSquare(16, QStringLiteral("SortByName"), sortIcon([](QPainter& p, qreal, qreal) {
                  text(p, QRectF(0, 0, 64, 50), QStringLiteral("A"), accentBlue, 46);
                  text(p, QRectF(0, 48, 64, 50), QStringLiteral("Z"), accentBlue, 46);
              }));
    addSquare(16, QStringLiteral("SortBySize"), sortIcon([](QPainter& p, qreal, qreal) {
                  p.setPen(Qt::NoPen);
                  p.setBrush(accentGreen);
                  p.drawRect(QRectF(6, 10, 16, 80));
                  p.drawRect(QRectF(28, 40, 16, 50));
                  p.drawRect(QRectF(50, 66, 12, 24));
              }));
    addSquare(16, QStringLiteral("SortByDate"), sortIcon([](QPainter& p, qreal, qreal) {
                  p.setPen(pen(ink, 6));
                  p.setBrush(paper);
                  p.drawEllipse(QPointF(34, 50), 30, 30);
                  p.drawLine(QPointF(34, 50), QPointF(34, 30));
                  p.drawLine(QPointF(34, 50), QPointF(50, 58));
              }));

    // Tag kinds: a letter badge in a colour of its own.
    struct TagKind {
        const char* name;
        const char* letter;
        QColor color;
        bool square;
    };
    const std::vector<TagKind> tags = {
        {"tClass", "C", QColor(200, 120, 20), true},
        {"tDefine", "D", QColor(120, 120, 120), false},
        {"tEnumeration", "E", QColor(150, 90, 170), true},
        {"tEnumerator", "e", QColor(150, 90, 170), false},
        {"tFileName", "F", QColor(90, 90, 100), true},
        {"tFunction", "f", QColor(60, 140, 60), false},
        {"tFunctionPrivate", "f", QColor(190, 60, 50), false},
        {"tNamespace", "N", QColor(40, 110, 170), true},
        {"tPrototipe", "p", QColor(80, 160, 150), false},
        {"tStructure", "S", QColor(170, 140, 30), true},
        {"tTypedef", "T", QColor(110, 80, 60), true},
        {"tUnion", "U", QColor(170, 70, 120), true},
        {"tVariable", "v", QColor(50, 90, 190), false},
    };
    for (const auto& t : tags) {
        const QString letter = QString::fromLatin1(t.letter);
        const QColor c = t.color;
        const bool sq = t.square;
        addSquare(16, QString::fromLatin1(t.name),
                  [letter, c, sq](QPainter& p, qreal, qreal) { badge(p, letter, c, sq); });
    }

    add(QStringLiteral("16x24_Run"), 16, 24, [](QPainter& p, qreal, qreal h) {
        p.setPen(pen(accentGreen.darker(150), 6));
        p.setBrush(accentGreen);
        p.drawPolygon(
            QPolygonF({QPointF(14, h / 2 - 40), QPointF(90, h / 2), QPointF(14, h / 2 + 40)}));
    });
    add(QStringLiteral("16x24_Make"), 16, 24, [](QPainter& p, qreal, qreal h) {
        p.save();
        p.translate(0, h / 2 - 50);
        p.setPen(pen(QColor(130, 80, 30), 12));
        p.drawLine(QPointF(30, 94), QPointF(62, 30));
        p.setPen(pen(ink, 4));
        p.setBrush(QColor(140, 145, 155));
        p.translate(62, 26);
        p.rotate(27);
        p.drawRoundedRect(QRectF(-36, -14, 72, 28), 4, 4);
        p.restore();
    });

    addSquare(20, QStringLiteral("Back"),
              [](QPainter& p, qreal, qreal) { arrow(p, 180, accentGreen); });
    addSquare(20, QStringLiteral("Forward"),
              [](QPainter& p, qreal, qreal) { arrow(p, 0, accentGreen); });
    addSquare(20, QStringLiteral("Up"),
              [](QPainter& p, qreal, qreal) { arrow(p, -90, accentBlue); });
    addSquare(20, QStringLiteral("Gear"),
              [](QPainter& p, qreal, qreal) { gear(p, 50, 50, 44, QColor(150, 150, 160)); });
    addSquare(20, QStringLiteral("BookmarkAdd"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(accentRed.darker(150), 5));
        p.setBrush(accentRed);
        p.drawPolygon(QPolygonF(
            {QPointF(14, 6), QPointF(58, 6), QPointF(58, 90), QPointF(36, 68), QPointF(14, 90)}));
        p.setPen(pen(accentGreen.darker(120), 12));
        p.drawLine(QPointF(76, 52), QPointF(76, 92));
        p.drawLine(QPointF(56, 72), QPointF(96, 72));
    });

    addSquare(22, QStringLiteral("Project"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(QColor(110, 70, 30), 5));
        p.setBrush(QColor(200, 150, 90));
        p.drawRect(QRectF(10, 34, 80, 58));
        p.setBrush(QColor(225, 180, 120));
        p.drawPolygon(
            QPolygonF({QPointF(10, 34), QPointF(26, 10), QPointF(74, 10), QPointF(90, 34)}));
        text(p, QRectF(10, 38, 80, 52), QStringLiteral("P"), QColor(90, 50, 10), 44);
    });
    addSquare(22, QStringLiteral("Stop"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(accentRed.darker(160), 5));
        p.setBrush(accentRed);
        p.drawRoundedRect(QRectF(14, 14, 72, 72), 8, 8);
    });
    addSquare(22, QStringLiteral("Tags"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(QColor(120, 90, 30), 5));
        p.setBrush(QColor(245, 215, 120));
        p.drawPolygon(QPolygonF(
            {QPointF(6, 30), QPointF(60, 30), QPointF(94, 58), QPointF(60, 86), QPointF(6, 86)}));
        text(p, QRectF(6, 34, 56, 50), QStringLiteral("{}"), QColor(110, 70, 10), 36);
    });
    addSquare(22, QStringLiteral("ToEditor"), [](QPainter& p, qreal, qreal) {
        page(p, QRectF(30, 6, 64, 88));
        lines(p, 40, 80, {44, 60, 76}, QColor(150, 150, 150));
        p.save();
        p.translate(-8, 18);
        p.scale(0.6, 0.6);
        arrow(p, 0, accentBlue);
        p.restore();
    });
    for (const char* name :
         {"FolderRed", "Folder", "FolderOpen", "FolderNoExists", "FolderLocked"}) {
        const QString n = QString::fromLatin1(name);
        addSquare(22, n, [n](QPainter& p, qreal, qreal) {
            if (n == QLatin1String("FolderRed")) {
                folder(p, QColor(215, 80, 60), false);
            } else if (n == QLatin1String("FolderOpen")) {
                folder(p, folderYellow, true);
            } else if (n == QLatin1String("FolderNoExists")) {
                folder(p, QColor(190, 190, 190), false);
                p.setPen(pen(accentRed, 10));
                p.drawLine(QPointF(34, 48), QPointF(66, 80));
                p.drawLine(QPointF(66, 48), QPointF(34, 80));
            } else if (n == QLatin1String("FolderLocked")) {
                folder(p, folderYellow, false);
                padlock(p, QRectF(52, 46, 40, 50));
            } else {
                folder(p, folderYellow, false);
            }
        });
    }

    addSquare(9, QStringLiteral("Close"), [](QPainter& p, qreal, qreal) {
        p.setPen(pen(ink, 18));
        p.drawLine(QPointF(16, 16), QPointF(84, 84));
        p.drawLine(QPointF(84, 16), QPointF(16, 84));
    });
    addSquare(9, QStringLiteral("Maximize"), [](QPainter& p, qreal, qreal) {
        p.setPen(QPen(ink, 14, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(12, 12, 76, 76));
        p.setPen(QPen(ink, 28));
        p.drawLine(QPointF(12, 20), QPointF(88, 20));
    });

    for (int s : {16, 22, 32, 48, 128})
        add(QStringLiteral("vexa-%1").arg(s), s, s,
            [](QPainter& p, qreal w, qreal h) { appMark(p, w, h); });
    v.push_back({QStringLiteral("vexa_splashscreen"), 360, 240, splash, false});
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: %s <output-directory>\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);

    QFile qrc(QDir(outDir).filePath(QStringLiteral("vexa_icons.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        fprintf(stderr, "cannot write %s\n", qPrintable(qrc.fileName()));
        return 1;
    }
    QTextStream qrcOut(&qrc);
    qrcOut << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/icons\">\n";

    for (const Icon& icon : icons()) {
        QImage img(icon.width, icon.height,
                   icon.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        img.fill(icon.alpha ? Qt::transparent : Qt::black);
        {
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::TextAntialiasing);
            // Drawn on a canvas 100 units wide; the height follows the aspect.
            const qreal scale = icon.width / 100.0;
            const qreal logicalHeight = icon.height / scale;
            p.scale(scale, scale);
            icon.draw(p, 100, logicalHeight);
        }
        const QString file = icon.name + QStringLiteral(".png");
        const QImage out = icon.alpha ? img.convertToFormat(QImage::Format_ARGB32)
                                      : img.convertToFormat(QImage::Format_RGB888);
        if (!out.save(QDir(outDir).filePath(file), "PNG")) {
            fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        qrcOut << "  <file>" << file << "</file>\n";
    }
    qrcOut << "</qresource>\n</RCC>\n";
    return 0;
}
