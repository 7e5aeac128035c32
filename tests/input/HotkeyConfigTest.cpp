#include "input/HotkeyConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(HotkeyConfigTest, DefaultsAreFnAloneAndControlOptionT) {
    EXPECT_EQ(HotkeyConfig::defaultRecording(), (HotkeyConfig{63, 0, true, QStringLiteral("Fn")}));
    const HotkeyConfig translation = HotkeyConfig::defaultTranslation();
    EXPECT_EQ(translation.keyCode, 17);
    EXPECT_EQ(translation.modifierFlagsRawValue, 786432u);
    EXPECT_FALSE(translation.isModifierOnly);
    EXPECT_EQ(translation.displayName, QStringLiteral("⌃⌥T"));
}

TEST(HotkeyConfigTest, StoredFormHasTheFourKeysAndRoundTrips) {
    const HotkeyConfig config{17, 0xC0000, false, QStringLiteral("⌃⌥T")};
    EXPECT_EQ(config.toJson(), QByteArray(R"({"keyCode":17,"modifierFlagsRawValue":786432,)"
                                          R"("isModifierOnly":false,"displayName":"⌃⌥T"})"));
    EXPECT_EQ(HotkeyConfig::fromJson(config.toJson()), config);

    const HotkeyConfig odd{65535, 0x1E0000, false, QStringLiteral("Key \"/\\ 255")};
    EXPECT_EQ(HotkeyConfig::fromJson(odd.toJson()), odd);
}

TEST(HotkeyConfigTest, KeyOrderAndExtraKeysDoNotMatterWhenReading) {
    const auto config = HotkeyConfig::fromJson(
        R"({"displayName":"Right Command","isModifierOnly":true,"extra":[1],
            "modifierFlagsRawValue":0,"keyCode":54})");
    EXPECT_EQ(config, (HotkeyConfig{54, 0, true, QStringLiteral("Right Command")}));
}

TEST(HotkeyConfigTest, DataThatDoesNotDecodeGivesNone) {
    const char* invalid[] = {
        "",
        "not json",
        "[]",
        R"({"keyCode":63,"modifierFlagsRawValue":0,"isModifierOnly":true})",
        R"({"keyCode":"63","modifierFlagsRawValue":0,"isModifierOnly":true,"displayName":"Fn"})",
        R"({"keyCode":63.5,"modifierFlagsRawValue":0,"isModifierOnly":true,"displayName":"Fn"})",
        R"({"keyCode":-1,"modifierFlagsRawValue":0,"isModifierOnly":true,"displayName":"Fn"})",
        R"({"keyCode":65536,"modifierFlagsRawValue":0,"isModifierOnly":true,"displayName":"Fn"})",
        R"({"keyCode":63,"modifierFlagsRawValue":-4,"isModifierOnly":true,"displayName":"Fn"})",
        R"({"keyCode":63,"modifierFlagsRawValue":0,"isModifierOnly":1,"displayName":"Fn"})",
        R"({"keyCode":63,"modifierFlagsRawValue":0,"isModifierOnly":true,"displayName":null})",
    };
    for (const char* json : invalid) {
        EXPECT_FALSE(HotkeyConfig::fromJson(json).has_value()) << json;
    }
}

} // namespace
