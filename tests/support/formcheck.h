#pragma once
// Checks a form laid out at fixed positions against its table: for each
// object its parent, geometry and text, as GoogleTest expectations.

#include <QRect>
#include <QWidget>

#include <initializer_list>

namespace zavmo::test {

struct FormObject
{
    const char* name;
    // The parent's object name.
    const char* parent;
    QRect geometry;
    // The "text" property; nullptr for objects without one.
    const char* text;
};

void expectFormObjects(QWidget& form, std::initializer_list<FormObject> objects);

} // namespace zavmo::test
