#include "common/OrderedJson.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

TEST(OrderedJsonTest, EscapesLikeTheStoredFormats) {
    QByteArray out;
    OrderedJsonObject::appendString(out, QStringLiteral("a/b \"q\" \\ \n\r\t\b\f \x01 é 日本"));
    EXPECT_EQ(out, QByteArray(R"("a\/b \"q\" \\ \n\r\t\b\f \u0001 é 日本")"));
}

TEST(OrderedJsonTest, KeepsKeyOrderAndParsesBack) {
    const QByteArray json = OrderedJsonObject()
                                .add("z", QStringLiteral("last/first"))
                                .add("a", std::int64_t{-3})
                                .add("m", std::uint64_t{18014398509481984})
                                .add("b", true)
                                .toJson();
    EXPECT_EQ(json, QByteArray(R"({"z":"last\/first","a":-3,"m":18014398509481984,"b":true})"));
    const QJsonObject parsed = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(parsed.value(QStringLiteral("z")).toString(), QStringLiteral("last/first"));
    EXPECT_EQ(parsed.value(QStringLiteral("a")).toInt(), -3);
}

} // namespace
