#pragma once
// Item delegate for combo box drop-down lists: paints rows like the styled
// delegate but without the focus frame, and reports a mouse press on a row.

#include <QStyledItemDelegate>

class CmbItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CmbItemDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Emits signal_clicked on a press (any button), then leaves the event to
    // the base handling, so the combo box's own selection is unchanged.
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void signal_clicked(const QModelIndex& index);
};
