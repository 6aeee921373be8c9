#pragma once
// A toast: a borderless, semi-transparent label that slides 20 pixels down
// into place (200 ms), stays 3 s and fades out (500 ms). Created once by its
// owner window as its child and reused; a message given while it is visible
// (also while fading) only replaces the text. It takes neither the focus nor
// any mouse input, and a message too long for it is shortened in the middle.

#include <QLabel>
#include <QRect>

class QPropertyAnimation;
class QTimer;

class ZvToolTip : public QLabel
{
    Q_OBJECT

public:
    explicit ZvToolTip(QWidget* parent = nullptr);

    // Text colour first, then the background.
    void setTipColors(const QColor& textColor, const QColor& backgroundColor);
    // Centred on the parent's window at the shown size, unless already visible.
    void showMessage(const QString& text);

public slots:
    void OnMessageTimeout();
    void OnAnimationFinished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect m_restingGeometry;
    QPropertyAnimation* m_geometryAnimation;
    QPropertyAnimation* m_opacityAnimation;
    QTimer* m_messageTimer;
};
