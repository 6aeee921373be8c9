#pragma once
// Helpers of the widget tests: a named child that fails the test when
// missing, and readable failure messages for Chinese texts.

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QWidget>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

template <typename T = QWidget> T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

template <typename T = QWidget> T* child(const QObject* parent, const char* name)
{
    return child<T>(*parent, name);
}
