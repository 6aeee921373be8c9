#include "formcheck.h"

#include <QVariant>
#include <gtest/gtest.h>

namespace zavmo::test {

void expectFormObjects(QWidget& form, std::initializer_list<FormObject> objects)
{
    for (const FormObject& o : objects) {
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(o.name));
        if (!w) {
            ADD_FAILURE() << o.name << " is missing";
            continue;
        }
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(o.parent)) << o.name;
        EXPECT_EQ(w->geometry(), o.geometry) << o.name;
        if (o.text) {
            EXPECT_EQ(w->property("text").toString(), QString::fromUtf8(o.text)) << o.name;
        }
    }
}

} // namespace zavmo::test
