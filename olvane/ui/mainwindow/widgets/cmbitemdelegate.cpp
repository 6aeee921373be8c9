#include "ui/mainwindow/widgets/cmbitemdelegate.h"

#include <QEvent>

CmbItemDelegate::CmbItemDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void CmbItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, plain, index);
}

bool CmbItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress)
        emit signal_clicked(index);
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
