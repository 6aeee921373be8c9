#include "drawing.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace zavmo::imagegen {

namespace {

const char* const kFontFamily = "WenQuanYi Micro Hei";

QColor colour(const char* text)
{
    return text ? QColor(QString::fromLatin1(text)) : QColor(Qt::transparent);
}

qreal cornerRadius(const ImageSpec& s, const QRectF& r)
{
    return s.radius < 0 ? std::min(r.width(), r.height()) / 2.0 : s.radius;
}

void fillBackground(QPainter& p, const ImageSpec& s, const QRectF& r, const QColor& top)
{
    if (!top.isValid() || top.alpha() == 0)
        return;
    QBrush brush(top);
    if (s.background2) {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, top);
        g.setColorAt(1, colour(s.background2));
        brush = QBrush(g);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(brush);
    p.drawRoundedRect(r, cornerRadius(s, r), cornerRadius(s, r));
}

// Glyphs are designed in a 24 x 24 box.
void drawGlyph(QPainter& p, Glyph g, const QRectF& box, const QColor& fg)
{
    if (g == Glyph::None || box.isEmpty())
        return;
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 24.0, box.height() / 24.0);
    QPen pen(fg, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    auto line = [&](qreal x1, qreal y1, qreal x2, qreal y2) { p.drawLine(QPointF(x1, y1), QPointF(x2, y2)); };
    auto poly = [&](std::initializer_list<QPointF> pts, bool filled) {
        QPolygonF pg(pts);
        if (filled) {
            p.setBrush(fg);
            p.drawPolygon(pg);
            p.setBrush(Qt::NoBrush);
        } else {
            p.drawPolyline(pg);
        }
    };
    auto disc = [&](qreal cx, qreal cy, qreal r) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(fg);
        p.drawEllipse(QPointF(cx, cy), r, r);
        p.restore();
    };
    auto block = [&](const QRectF& r, qreal radius) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(fg);
        p.drawRoundedRect(r, radius, radius);
        p.restore();
    };
    switch (g) {
    case Glyph::None:
        break;
    case Glyph::Close:
        line(6, 6, 18, 18);
        line(18, 6, 6, 18);
        break;
    case Glyph::Minimize:
        line(5, 12, 19, 12);
        break;
    case Glyph::Gear:
        p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * M_PI / 4;
            line(12 + 6.5 * std::cos(a), 12 + 6.5 * std::sin(a), 12 + 9.5 * std::cos(a), 12 + 9.5 * std::sin(a));
        }
        break;
    case Glyph::ChevronLeft:
        poly({{15, 5}, {8, 12}, {15, 19}}, false);
        break;
    case Glyph::ChevronRight:
        poly({{9, 5}, {16, 12}, {9, 19}}, false);
        break;
    case Glyph::ChevronUp:
        poly({{5, 15}, {12, 8}, {19, 15}}, false);
        break;
    case Glyph::ChevronDown:
        poly({{5, 9}, {12, 16}, {19, 9}}, false);
        break;
    case Glyph::TriangleUp:
        poly({{5, 16}, {12, 8}, {19, 16}}, true);
        break;
    case Glyph::TriangleDown:
        poly({{5, 8}, {12, 16}, {19, 8}}, true);
        break;
    case Glyph::Check:
        p.setPen(QPen(fg, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        poly({{5, 12.5}, {10, 17}, {19, 7}}, false);
        break;
    case Glyph::RadioOff:
    case Glyph::RadioOn:
        p.setPen(QPen(fg, 2.0));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
        if (g == Glyph::RadioOn)
            disc(12, 12, 5.5);
        break;
    case Glyph::BoxOff:
        p.setPen(QPen(fg, 2.0));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 3, 3);
        break;
    case Glyph::Eye:
    case Glyph::EyeOff: {
        QPainterPath eye;
        eye.moveTo(2, 12);
        eye.quadTo(12, 2, 22, 12);
        eye.quadTo(12, 22, 2, 12);
        p.drawPath(eye);
        disc(12, 12, 3.2);
        if (g == Glyph::EyeOff)
            line(4, 20, 20, 4);
        break;
    }
    case Glyph::User: {
        disc(12, 8, 4.5);
        QPainterPath body;
        body.moveTo(3.5, 22);
        body.cubicTo(3.5, 13, 20.5, 13, 20.5, 22);
        body.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(fg);
        p.drawPath(body);
        break;
    }
    case Glyph::Lock: {
        block(QRectF(4, 11, 16, 11), 2);
        QPainterPath shackle;
        shackle.moveTo(8, 11);
        shackle.lineTo(8, 7);
        shackle.arcTo(QRectF(8, 3, 8, 8), 180, -180);
        shackle.lineTo(16, 11);
        p.drawPath(shackle);
        break;
    }
    case Glyph::Phone:
        p.setPen(QPen(fg, 1.2));
        p.drawRoundedRect(QRectF(6, 1, 12, 22), 2, 2);
        p.drawRect(QRectF(7.2, 3.6, 9.6, 15.4));
        line(10.5, 2.3, 13.5, 2.3);
        p.drawEllipse(QPointF(12, 21), 0.9, 0.9);
        for (const QPointF& c : {QPointF(8.4, 5), QPointF(12.9, 5), QPointF(8.4, 9.5)})
            block(QRectF(c, QSizeF(2.7, 2.7)), 0.3);
        block(QRectF(12.9, 9.5, 1.2, 1.2), 0);
        block(QRectF(14.4, 11, 1.2, 1.2), 0);
        break;
    case Glyph::Scan:
        poly({{3, 8}, {3, 3}, {8, 3}}, false);
        poly({{16, 3}, {21, 3}, {21, 8}}, false);
        poly({{3, 16}, {3, 21}, {8, 21}}, false);
        poly({{16, 21}, {21, 21}, {21, 16}}, false);
        line(5, 12, 19, 12);
        break;
    case Glyph::QrCode:
        p.setPen(QPen(fg, 1.5));
        for (const QPointF& c : {QPointF(3, 3), QPointF(14, 3), QPointF(3, 14)}) {
            p.drawRect(QRectF(c, QSizeF(7, 7)));
            block(QRectF(c + QPointF(2, 2), QSizeF(3, 3)), 0);
        }
        block(QRectF(14, 14, 3, 3), 0);
        block(QRectF(18, 18, 3, 3), 0);
        block(QRectF(18, 14, 3, 2), 0);
        break;
    case Glyph::Monitor:
        p.drawRoundedRect(QRectF(3, 4, 18, 12), 1.5, 1.5);
        line(12, 16, 12, 20);
        line(8, 20, 16, 20);
        break;
    case Glyph::Folder: {
        QPainterPath folder;
        folder.moveTo(2.5, 6);
        folder.lineTo(9, 6);
        folder.lineTo(11, 8.5);
        folder.lineTo(21.5, 8.5);
        folder.lineTo(21.5, 19.5);
        folder.lineTo(2.5, 19.5);
        folder.closeSubpath();
        p.setBrush(fg);
        p.drawPath(folder);
        break;
    }
    case Glyph::Key:
        p.drawEllipse(QPointF(7.5, 12), 4, 4);
        line(11.5, 12, 21, 12);
        line(17, 12, 17, 15.5);
        line(20, 12, 20, 15);
        break;
    case Glyph::Download:
        line(12, 3, 12, 15);
        poly({{7, 10}, {12, 15}, {17, 10}}, false);
        poly({{4, 16}, {4, 20}, {20, 20}, {20, 16}}, false);
        break;
    case Glyph::Headset:
        p.drawArc(QRectF(4, 4, 16, 16), 0, 180 * 16);
        block(QRectF(2.5, 11.5, 4.5, 8), 1.5);
        block(QRectF(17, 11.5, 4.5, 8), 1.5);
        break;
    case Glyph::Question: {
        p.drawEllipse(QPointF(12, 12), 10, 10);
        QPainterPath q;
        q.moveTo(9, 9.5);
        q.cubicTo(9, 5.5, 15, 5.5, 15, 9.5);
        q.cubicTo(15, 12, 12, 12, 12, 14.5);
        p.drawPath(q);
        disc(12, 17.8, 1.3);
        break;
    }
    case Glyph::Wrench:
        p.setPen(QPen(fg, 3.5, Qt::SolidLine, Qt::RoundCap));
        line(5, 19, 13.5, 10.5);
        p.setPen(QPen(fg, 2.2));
        p.drawArc(QRectF(12, 3, 9, 9), 100 * 16, 250 * 16);
        break;
    case Glyph::Play:
        poly({{8, 5}, {19, 12}, {8, 19}}, true);
        break;
    case Glyph::Grid:
        for (const QPointF& c : {QPointF(4, 4), QPointF(13, 4), QPointF(4, 13), QPointF(13, 13)})
            block(QRectF(c, QSizeF(7, 7)), 1.5);
        break;
    case Glyph::Power:
        p.drawArc(QRectF(4.5, 4.5, 15, 15), 120 * 16, 300 * 16);
        line(12, 2.5, 12, 11);
        break;
    case Glyph::Home:
        poly({{3, 12}, {12, 4}, {21, 12}}, false);
        poly({{6, 10}, {6, 20}, {18, 20}, {18, 10}}, false);
        break;
    case Glyph::Dots:
        disc(6, 12, 2);
        disc(12, 12, 2);
        disc(18, 12, 2);
        break;
    }
    p.restore();
}

QFont labelFont(const ImageSpec& s, int pixelSize)
{
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPixelSize(std::max(6, pixelSize));
    f.setBold(s.bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// Centred text; the first line of a multi-line label is larger.
void drawLabel(QPainter& p, const ImageSpec& s, const QRectF& area, const QColor& fg)
{
    const QStringList lines = QString::fromUtf8(s.label).split(QLatin1Char('\n'));
    int base = s.pixelSize > 0 ? s.pixelSize : static_cast<int>(area.height() * 0.55 / lines.size());
    QList<QFont> fonts;
    qreal total = 0;
    // Shrinks the text until every line fits the width.
    for (;;) {
        fonts.clear();
        total = 0;
        qreal widest = 0;
        for (int i = 0; i < lines.size(); ++i) {
            QFont f = labelFont(s, (i == 0 && lines.size() > 1) ? base * 5 / 4 : base);
            if (i > 0)
                f.setBold(false);
            fonts << f;
            total += QFontMetricsF(f).height();
            widest = std::max(widest, QFontMetricsF(f).horizontalAdvance(lines[i]));
        }
        if (widest <= area.width() * 0.94 || base <= 6)
            break;
        --base;
    }
    qreal y = area.center().y() - total / 2;
    p.setPen(fg);
    for (int i = 0; i < lines.size(); ++i) {
        const qreal h = QFontMetricsF(fonts[i]).height();
        p.setFont(fonts[i]);
        p.drawText(QRectF(area.left(), y, area.width(), h), Qt::AlignCenter, lines[i]);
        y += h;
    }
}

void drawMockWindow(QPainter& p, const ImageSpec& s, const QRectF& r)
{
    const QColor accent = colour(s.accent);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 215));
    p.drawRoundedRect(r, 4, 4);
    p.setBrush(QColor(40, 40, 56, 230));
    p.drawRoundedRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.12), 4, 4);
    p.setBrush(accent);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(r.left() + 10 + i * 10, r.top() + r.height() * 0.06), 3, 3);
    const QRectF side(r.left() + 8, r.top() + r.height() * 0.18, r.width() * 0.22, r.height() * 0.76);
    p.setBrush(QColor(220, 220, 230));
    p.drawRoundedRect(side, 3, 3);
    p.setBrush(accent);
    p.drawRoundedRect(QRectF(side.left() + 6, side.top() + 8, side.width() - 12, side.height() * 0.12), 2, 2);
    const QRectF stage(side.right() + 8, side.top(), r.right() - side.right() - 16, side.height() * 0.68);
    QLinearGradient g(stage.topLeft(), stage.bottomRight());
    g.setColorAt(0, QColor(60, 60, 80));
    g.setColorAt(1, QColor(30, 30, 44));
    p.setBrush(g);
    p.drawRoundedRect(stage, 3, 3);
    p.setBrush(QColor(255, 255, 255, 200));
    const QPointF c = stage.center();
    p.drawPolygon(QPolygonF({c + QPointF(-8, -10), c + QPointF(12, 0), c + QPointF(-8, 10)}));
    p.setBrush(QColor(200, 200, 212));
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(stage.left() + i * (stage.width() / 3), stage.bottom() + 8, stage.width() / 3 - 8,
                                 side.bottom() - stage.bottom() - 8),
                          2, 2);
    p.restore();
}

} // namespace

QImage drawImage(const ImageSpec& s)
{
    QImage image(s.width, s.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    const QColor fg = colour(s.foreground);

    if (s.decor == Decor::Strip4) {
        // Normal, hover, pressed and disabled frames of one button.
        const qreal w = s.width / 4.0;
        const int shades[4] = {0, 28, 56, 0};
        for (int i = 0; i < 4; ++i) {
            const QRectF frame(i * w, 0, w, s.height);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, shades[i]));
            p.drawRect(frame);
            QColor c = fg;
            if (i == 3)
                c.setAlpha(90);
            const qreal side = std::min(w, qreal(s.height)) * 0.8;
            drawGlyph(p, s.glyph, QRectF(frame.center() - QPointF(side / 2, side / 2), QSizeF(side, side)), c);
        }
        return image;
    }

    if (s.decor == Decor::Corner) {
        // A folded corner: pale triangle at the top right with the glyph in it.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 226, 213));
        p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(s.width, 0), QPointF(s.width, s.height)}));
        const qreal side = s.width * 0.45;
        drawGlyph(p, s.glyph, QRectF(s.width - side - 2, 2, side, side), fg);
        return image;
    }

    // Everything but the footer; the footer stays transparent.
    const QRectF content(0, 0, s.width, s.height - s.footer);
    const QRectF body = s.border ? content.adjusted(0.5, 0.5, -0.5, -0.5) : content;
    fillBackground(p, s, body, colour(s.background));
    if (s.border) {
        p.setPen(QPen(colour(s.border), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(body, cornerRadius(s, body), cornerRadius(s, body));
    }

    if (s.decor == Decor::MockWindow) {
        const qreal h = content.height();
        const qreal m = s.width * 0.06;
        drawMockWindow(p, s, QRectF(m, m, s.width - 2 * m, h * 0.66 - m));
        drawLabel(p, s, QRectF(0, h * 0.68, s.width, h * 0.30), fg);
        return image;
    }

    const bool hasLabel = s.label && *s.label;
    if (s.glyph != Glyph::None && !hasLabel) {
        const bool framed = s.background != nullptr;
        const qreal side = std::min(s.width, s.height) * (framed ? 0.72 : 1.0);
        // Centred on the part that shows; the glyph's own margins may run
        // past its left edge.
        const QRectF shown(0, 0, s.visibleWidth > 0 ? s.visibleWidth : s.width, content.height());
        drawGlyph(p, s.glyph, QRectF(shown.center() - QPointF(side / 2, side / 2), QSizeF(side, side)), fg);
    } else if (s.glyph != Glyph::None) {
        const int px = s.pixelSize > 0 ? s.pixelSize : s.height / 2;
        const QFont f = labelFont(s, px);
        const QFontMetricsF fm(f);
        const qreal textWidth = fm.horizontalAdvance(QString::fromUtf8(s.label));
        const qreal h = content.height();
        if (h >= 60 && s.width <= 2 * h) {
            // Tall tiles: glyph above the caption.
            const qreal side = h * 0.32;
            const qreal gap = h * 0.08;
            const qreal top = (h - side - gap - fm.height()) / 2;
            drawGlyph(p, s.glyph, QRectF((s.width - side) / 2, top, side, side), fg);
            drawLabel(p, s, QRectF(0, top + side + gap, s.width, fm.height()), fg);
        } else {
            const qreal side = h * 0.45;
            const qreal gap = side * 0.4;
            const qreal left = (s.width - side - gap - textWidth) / 2;
            drawGlyph(p, s.glyph, QRectF(left, (h - side) / 2, side, side), fg);
            drawLabel(p, s, QRectF(left + side + gap, 0, textWidth + 1, h), fg);
        }
    } else if (hasLabel) {
        drawLabel(p, s, content, fg);
    }

    if (s.decor == Decor::Underline) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour(s.accent));
        p.drawRect(QRectF(s.width * 0.3, s.height - 4, s.width * 0.4, 4));
    }
    return image;
}

bool writeBundle(const QString& outDir, const QStringList& styleSheets, QString* error)
{
    const QDir root(outDir);
    QString qrc;
    QTextStream out(&qrc);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const ImageSpec& entry : allImages()) {
        const QString name = QString::fromUtf8(entry.name);
        const QString path = root.filePath(QStringLiteral("Resources/") + name);
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            *error = QStringLiteral("cannot create the folder of ") + path;
            return false;
        }
        const QImage image = drawImage(entry);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString();
            return false;
        }
        const QByteArray format = name.endsWith(QLatin1String(".ico")) ? "ico" : "png";
        QImageWriter writer(&file, format);
        if (!writer.write(image) || !file.commit()) {
            *error = QStringLiteral("cannot write ") + path + QStringLiteral(": ") + writer.errorString();
            return false;
        }
        out << "  <file alias=\"Resources/" << name << "\">" << QFileInfo(path).absoluteFilePath() << "</file>\n";
    }
    for (const QString& sheet : styleSheets) {
        const QFileInfo info(sheet);
        if (!info.isFile()) {
            *error = QStringLiteral("no style sheet ") + sheet;
            return false;
        }
        out << "  <file alias=\"Qss/" << info.fileName() << "\">" << info.absoluteFilePath() << "</file>\n";
    }
    out << "</qresource>\n</RCC>\n";
    out.flush();

    QSaveFile file(root.filePath(QStringLiteral("olvane.qrc")));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc.toUtf8()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write the .qrc: ") + file.errorString();
        return false;
    }
    return true;
}

} // namespace zavmo::imagegen
