#include "ui/mainwindow/widgets/zvcenterpicturewidget.h"
#include "ui_zvcenterpicturewidget.h"

#include "core/stringconstants.h"

#include <QPixmap>

zvCenterPictureWidget::zvCenterPictureWidget(QWidget* parent) : QWidget(parent), ui(new Ui::zvCenterPictureWidget)
{
    ui->setupUi(this);
    // Picture at the bottom, arrows above it, highlights on top.
    for (QWidget* w :
         {static_cast<QWidget*>(ui->label_picture), static_cast<QWidget*>(ui->button_left),
          static_cast<QWidget*>(ui->button_right), static_cast<QWidget*>(ui->label_switchpoint),
          static_cast<QWidget*>(ui->label_switchpoint_2), static_cast<QWidget*>(ui->label_switchpoint_3),
          static_cast<QWidget*>(ui->label_switch_selected), static_cast<QWidget*>(ui->label_switch_selected_2),
          static_cast<QWidget*>(ui->label_switch_selected_3)})
        w->raise();
    ui->button_left->hide();
    ui->button_right->hide();
    for (int i = 0; i < 3; ++i)
        m_pictures[i] = kToolPreviewImages[0][i];
    m_currentIndex = 0;
    showPicture(0);
}

zvCenterPictureWidget::~zvCenterPictureWidget()
{
    delete ui;
}

void zvCenterPictureWidget::setLiveTool(QString toolName)
{
    const QString* tools[4] = {&kZvToolName, &kZvShowToolName, &kObsClassicToolName, &kObsStudioToolName};
    for (int row = 0; row < 4; ++row) {
        if (toolName == *tools[row]) {
            for (int i = 0; i < 3; ++i)
                m_pictures[i] = kToolPreviewImages[row][i];
            break;
        }
    }
    ui->label_switchpoint_3->setVisible(!m_pictures[2].isEmpty());
    m_currentIndex = 0;
    showPicture(0);
}

int zvCenterPictureWidget::lastIndex() const
{
    return m_pictures[2].isEmpty() ? 1 : 2;
}

void zvCenterPictureWidget::showPicture(int index)
{
    const int shown = index == 0 ? 0 : index == 1 ? 1 : 2;
    ui->label_picture->setPixmap(QPixmap(m_pictures[shown]));
    ui->label_switch_selected->setVisible(shown == 0);
    ui->label_switch_selected_2->setVisible(shown == 1);
    ui->label_switch_selected_3->setVisible(shown == 2);
}

void zvCenterPictureWidget::on_button_right_clicked()
{
    m_currentIndex = (m_currentIndex + 1) % 3;
    if (m_currentIndex == 2 && m_pictures[2].isEmpty())
        m_currentIndex = 0;
    showPicture(m_currentIndex);
}

void zvCenterPictureWidget::on_button_left_clicked()
{
    // Wraps from the first picture to the last one that exists, the mirror
    // of the right arrow.
    m_currentIndex = m_currentIndex > 0 ? m_currentIndex - 1 : lastIndex();
    showPicture(m_currentIndex);
}

void zvCenterPictureWidget::enterEvent(QEvent* event)
{
    QWidget::enterEvent(event);
    ui->button_left->show();
    ui->button_right->show();
}

void zvCenterPictureWidget::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    ui->button_left->hide();
    ui->button_right->hide();
}
