// The combo delegate: no focus frame, and a signal on a press only.
#include "ui/mainwindow/widgets/cmbitemdelegate.h"

#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStyleFactory>
#include <gtest/gtest.h>
#include <memory>

namespace {

class CmbItemDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.appendRow(new QStandardItem("中国 +86"));
        auto* checkable = new QStandardItem("香港 +852");
        checkable->setCheckable(true);
        model.appendRow(checkable);
        style.reset(QStyleFactory::create("Fusion"));
        view.setStyle(style.get());
        view.setModel(&model);
        view.resize(200, 100);
    }

    QStyleOptionViewItem option(int row, bool focus)
    {
        QStyleOptionViewItem opt;
        opt.initFrom(&view);
        opt.widget = &view;
        opt.rect = QRect(0, 0, 160, 30);
        opt.state |= QStyle::State_Enabled | QStyle::State_Selected;
        if (focus)
            opt.state |= QStyle::State_HasFocus;
        else
            opt.state &= ~QStyle::State_HasFocus;
        opt.features |= QStyleOptionViewItem::HasDisplay;
        Q_UNUSED(row);
        return opt;
    }

    QImage paint(QStyledItemDelegate& d, int row, bool focus)
    {
        QImage image(160, 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        d.paint(&p, option(row, focus), model.index(row, 0));
        return image;
    }

    QStandardItemModel model;
    std::unique_ptr<QStyle> style;
    QListView view;
};

TEST_F(CmbItemDelegateTest, FocusedRowPaintsLikeTheUnfocusedRow)
{
    CmbItemDelegate delegate;
    EXPECT_EQ(paint(delegate, 0, true), paint(delegate, 0, false));
    QStyledItemDelegate plain;
    if (paint(plain, 0, true) == paint(plain, 0, false))
        GTEST_SKIP() << "this style draws no focus frame for item views";
}

TEST_F(CmbItemDelegateTest, OnlyAPressEmitsAndTheBaseHandlingIsKept)
{
    CmbItemDelegate delegate;
    QStyledItemDelegate plain;
    QSignalSpy clicked(&delegate, &CmbItemDelegate::signal_clicked);
    const QPoint pos(8, 15);
    const struct
    {
        QEvent::Type type;
        Qt::MouseButton button;
        int emits;
    } cases[] = {{QEvent::MouseButtonPress, Qt::LeftButton, 1},
                 {QEvent::MouseButtonPress, Qt::RightButton, 1},
                 {QEvent::MouseButtonRelease, Qt::LeftButton, 0},
                 {QEvent::MouseButtonDblClick, Qt::LeftButton, 0},
                 {QEvent::MouseMove, Qt::NoButton, 0}};
    for (int row : {0, 1}) {
        for (const auto& c : cases) {
            clicked.clear();
            QMouseEvent e1(c.type, pos, c.button, c.button, Qt::NoModifier);
            QMouseEvent e2(c.type, pos, c.button, c.button, Qt::NoModifier);
            const QModelIndex index = model.index(row, 0);
            const Qt::CheckState before = model.item(row)->checkState();
            const bool ours = delegate.editorEvent(&e1, &model, option(row, false), index);
            model.item(row)->setCheckState(before); // both see the same model
            const bool base =
                static_cast<QAbstractItemDelegate&>(plain).editorEvent(&e2, &model, option(row, false), index);
            EXPECT_EQ(ours, base) << "row " << row << " event " << c.type;
            ASSERT_EQ(clicked.count(), c.emits) << "event " << c.type;
            if (c.emits) {
                EXPECT_EQ(clicked.at(0).at(0).value<QModelIndex>(), index);
            }
        }
    }
}

} // namespace
