// The dialing-code table: its size, its shared codes and the shape of its
// display texts, which the login dialog cuts its area code from.
#include "ui/login/areacodetable.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

namespace {

int rowOf(const QString& name)
{
    for (int i = 0; i < kAreaCodeCount; ++i)
        if (areaCodeTable[i].text.trimmed().startsWith(name + QLatin1Char(' ')))
            return i + 1;
    return 0;
}

} // namespace

TEST(AreaCodeTable, KeepsEveryRowAndItsSharedCodes)
{
    ASSERT_EQ(areaCodeTable.size(), 234u);
    QSet<QString> codes;
    for (const AreaCodeEntry& row : areaCodeTable)
        codes.insert(row.code);
    EXPECT_EQ(codes.size(), 228);

    EXPECT_EQ(areaCodeTable[0].text, QStringLiteral("  中国大陆") + QString(44, ' ') + QStringLiteral("+86"));
    EXPECT_EQ(areaCodeTable[0].code, "+86");
    EXPECT_EQ(areaCodeTable[1].text, QStringLiteral("  中国澳门") + QString(43, ' ') + QStringLiteral("+853"));
    EXPECT_EQ(areaCodeTable[233].code, "+236");

    // +1 at three rows, in table order; the odd names as they are.
    EXPECT_EQ(rowOf(QStringLiteral("北马里亚纳群岛")), 36);
    EXPECT_EQ(rowOf(QStringLiteral("加拿大")), 96);
    EXPECT_EQ(rowOf(QStringLiteral("美国")), 135);
    for (int row : {36, 96, 135})
        EXPECT_EQ(areaCodeTable[row - 1].code, "+1") << row;
    EXPECT_EQ(rowOf(QStringLiteral("博奈尔岛......萨巴岛")), 46);
    EXPECT_EQ(rowOf(QStringLiteral("荷属")), 88);
    EXPECT_EQ(rowOf(QStringLiteral("吉布")), 92);
    EXPECT_EQ(rowOf(QStringLiteral("纳米比")), 149);
    EXPECT_EQ(rowOf(QStringLiteral("乌克兰语")), 207);
}

TEST(AreaCodeTable, EachTextIsBlanksNameBlanksAndItsCode)
{
    const QRegularExpression shape(QStringLiteral("^  (\\S+) +(\\+\\d{1,4})$"));
    for (int i = 0; i < kAreaCodeCount; ++i) {
        const AreaCodeEntry& row = areaCodeTable[i];
        const auto match = shape.match(row.text);
        ASSERT_TRUE(match.hasMatch()) << i + 1 << " " << row.text.toStdString();
        EXPECT_EQ(match.captured(2), row.code) << i + 1;
        // The login dialog sends what follows the last "+".
        EXPECT_EQ(row.text.mid(row.text.lastIndexOf('+') + 1), row.code.mid(1)) << i + 1;
        EXPECT_GE(row.text.size(), 39) << i + 1;
        EXPECT_LE(row.text.size(), 59) << i + 1;
    }
}
