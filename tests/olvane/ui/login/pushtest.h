#pragma once
// Helpers of the push-address dialog tests.

#include "widgettest.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace pushtest {

// What the three dialogs share: size, window title, frameless, dragged by
// the top 36 pixels, the title strip's text and its close button.
inline void expectDialogFrame(QDialog& d, QSize size, const char* windowTitle, const QString& title)
{
    EXPECT_EQ(d.size(), size);
    EXPECT_EQ(d.windowTitle(), windowTitle);
    EXPECT_EQ(d.windowFlags() & (Qt::FramelessWindowHint | Qt::Dialog), Qt::FramelessWindowHint | Qt::Dialog);
    EXPECT_TRUE(d.property("CanMove").toBool());
    EXPECT_EQ(d.property("TitleHeight").toInt(), 36);
    EXPECT_EQ(child<QLabel>(d, "label_titleName")->text(), title);
    auto* close = child<QPushButton>(d, "button_close");
    EXPECT_EQ(close->size(), QSize(17, 17));
    EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(close->cursor().shape(), Qt::PointingHandCursor);
}

// What the shell seam was asked to open so far, one "open <target>" a line.
inline QByteArray shellRecord()
{
    QFile record(qEnvironmentVariable("ZAVMO_SHELL_RECORD"));
    return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
}

} // namespace pushtest
