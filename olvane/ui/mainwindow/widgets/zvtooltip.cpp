#include "ui/mainwindow/widgets/zvtooltip.h"

#include <QPainter>
#include <QPropertyAnimation>
#include <QStyle>
#include <QTimer>

namespace {
constexpr qreal kRestingOpacity = 0.7;
constexpr qreal kFadedOpacity = 0.1;
constexpr int kShownWidth = 315;
constexpr int kShownHeight = 40;
constexpr int kSlideMs = 200;
constexpr int kStayMs = 3000;
constexpr int kFadeMs = 500;
constexpr int kSlideDistance = 20;
// Room left beside a message that has to be shortened.
constexpr int kTextPadding = 8;
} // namespace

ZvToolTip::ZvToolTip(QWidget* parent)
    : QLabel(parent), m_geometryAnimation(new QPropertyAnimation(this, "geometry", this)),
      m_opacityAnimation(new QPropertyAnimation(this, "windowOpacity", this)), m_messageTimer(new QTimer(this))
{
    // The toast lies over the fields of its owner: clicks and keys must reach
    // them, never the toast. An output-only window of the tool-tip kind is
    // never activated, given the focus or listed in a task bar.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowOpacity(kRestingOpacity);
    setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    connect(m_opacityAnimation, &QPropertyAnimation::finished, this, &ZvToolTip::OnAnimationFinished);
    // One timer, started once per appearance: a second message within the
    // three seconds does not extend the stay.
    m_messageTimer->setSingleShot(true);
    // A coarse timer may end the stay up to 5% early.
    m_messageTimer->setTimerType(Qt::PreciseTimer);
    m_messageTimer->setInterval(kStayMs);
    connect(m_messageTimer, &QTimer::timeout, this, &ZvToolTip::OnMessageTimeout);
}

void ZvToolTip::setTipColors(const QColor& textColor, const QColor& backgroundColor)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, textColor);
    pal.setColor(QPalette::Window, backgroundColor);
    setPalette(pal);
    setAutoFillBackground(true);
}

void ZvToolTip::showMessage(const QString& text)
{
    if (isVisible()) {
        setText(text);
        return;
    }
    resize(kShownWidth, kShownHeight);
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
        const QRect area = owner->geometry();
        move(owner->pos().x() + (area.width() - width()) / 2, owner->pos().y() + (area.height() - height()) / 2);
    }
    setText(text);
    show();
    m_restingGeometry = geometry();

    m_geometryAnimation->stop();
    m_geometryAnimation->setDuration(kSlideMs);
    m_geometryAnimation->setStartValue(m_restingGeometry.translated(0, -kSlideDistance));
    m_geometryAnimation->setEndValue(m_restingGeometry);
    m_geometryAnimation->start();

    m_messageTimer->start();
}

void ZvToolTip::OnMessageTimeout()
{
    m_opacityAnimation->stop();
    m_opacityAnimation->setDuration(kFadeMs);
    m_opacityAnimation->setStartValue(kRestingOpacity);
    m_opacityAnimation->setEndValue(kFadedOpacity);
    m_opacityAnimation->start();
}

void ZvToolTip::OnAnimationFinished()
{
    setText(QString());
    hide();
    setWindowOpacity(kRestingOpacity);
}

void ZvToolTip::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    // A server message longer than the toast keeps its start and its end.
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(kTextPadding, 0, -kTextPadding, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
}
