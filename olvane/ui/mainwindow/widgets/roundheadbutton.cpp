#include "ui/mainwindow/widgets/roundheadbutton.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>

RoundHeadButton::RoundHeadButton(QWidget* parent) : QPushButton(parent) {}

void RoundHeadButton::setHeadImage(QString path)
{
    m_headImage = path;
    update();
}

void RoundHeadButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);

    const QImage head(m_headImage);
    if (!head.isNull()) {
        QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter canvasPainter(&canvas);
        canvasPainter.drawImage(QPoint(0, 0), head.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
        canvasPainter.end();
        painter.drawImage(QPoint(0, 0), canvas);
    }

    QBitmap mask(size());
    mask.fill(Qt::color0);
    QPainter maskPainter(&mask);
    maskPainter.setRenderHint(QPainter::Antialiasing);
    maskPainter.setRenderHint(QPainter::SmoothPixmapTransform);
    maskPainter.setPen(Qt::NoPen);
    maskPainter.setBrush(Qt::color1);
    maskPainter.drawRoundedRect(QRect(QPoint(0, 0), size()), width() / 2, height() / 2, Qt::AbsoluteSize);
    maskPainter.end();
    setMask(mask);

    painter.end();
}
