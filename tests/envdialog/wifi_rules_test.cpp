#include "envdialog/wifi_rules.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(WifiRule, NamesShowAsUtf8OrElseAsHex)
{
    const struct {
        std::string ssid;
        std::string text;
    } cases[] = {
        {"Home", "Home"},
        {"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB6", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB6"},
        {"", ""},                                     // hidden network
        {"Caf\xE9", "hex:436166e9"},                  // Windows-1252, not UTF-8
        {"\xC0\xAF", "hex:c0af"},                     // overlong '/'
        {"\xED\xA0\x80", "hex:eda080"},               // a surrogate
        {"\xF4\x90\x80\x80", "hex:f4908080"},         // above U+10FFFF
        {"ab\xE6\x97", "hex:6162e697"},               // cut inside a character
        {"a\nb", "hex:610a62"},                       // control characters would break the line
        {"\xC2\x85x", "hex:c28578"},                  // C1 control
        {"x\0y"s, "hex:780079"},
    };
    for (const auto& c : cases) EXPECT_EQ(SsidText(c.ssid), c.text) << c.text;
    EXPECT_EQ(SsidHex("Caf\xE9"), "436166E9");
    EXPECT_EQ(SsidHex(std::string(32, '\xFF')), std::string(64, 'F'));
}

TEST(WifiRule, OneEntryPerNameStrongestFirst)
{
    const auto wpa2 = WifiSecurity::Wpa2Personal;
    const std::vector<WifiSighting> sightings = {
        {"Cafe", 40, WifiSecurity::Open, false},
        {"Home", 70, wpa2, false},
        {"Home", 90, WifiSecurity::Wpa3Personal, false},   // the same name seen again, stronger
        {"Home", 20, wpa2, true},                          // its profile entry: connected
        {"Corp", 70, WifiSecurity::Enterprise, false},
        {"\xFF\xFE", 10, wpa2, false},
    };
    const std::vector<WifiSighting> merged = MergeNetworks(sightings);
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged[0].ssid, "Home");
    EXPECT_EQ(merged[0].signal, 90u);
    EXPECT_EQ(merged[0].security, WifiSecurity::Wpa3Personal);
    EXPECT_TRUE(merged[0].connected);
    EXPECT_EQ(merged[1].ssid, "Corp") << "equal signals go by name";
    EXPECT_EQ(merged[2].ssid, "Cafe");
    EXPECT_EQ(merged[3].ssid, "\xFF\xFE");
    EXPECT_TRUE(MergeNetworks({}).empty());
}

TEST(WifiRule, SecurityFromTheApisNumbers)
{
    EXPECT_EQ(ClassifySecurity(1, 0), WifiSecurity::Open);
    EXPECT_EQ(ClassifySecurity(1, 5), WifiSecurity::Other) << "WEP";
    EXPECT_EQ(ClassifySecurity(7, 4), WifiSecurity::Wpa2Personal);
    EXPECT_EQ(ClassifySecurity(7, 2), WifiSecurity::Other) << "TKIP";
    EXPECT_EQ(ClassifySecurity(4, 2), WifiSecurity::Other) << "WPA1-PSK";
    EXPECT_EQ(ClassifySecurity(9, 4), WifiSecurity::Wpa3Personal);
    EXPECT_EQ(ClassifySecurity(6, 4), WifiSecurity::Enterprise);
    EXPECT_EQ(ClassifySecurity(11, 4), WifiSecurity::Enterprise);
    EXPECT_EQ(ClassifySecurity(10, 4), WifiSecurity::Other) << "OWE";
    EXPECT_FALSE(IsJoinable(WifiSecurity::Enterprise));
}

TEST(WifiRule, PassphraseLengthCountsCharacters)
{
    const auto wpa2 = WifiSecurity::Wpa2Personal;
    EXPECT_FALSE(IsAcceptablePassphrase("1234567", wpa2));
    EXPECT_TRUE(IsAcceptablePassphrase("12345678", wpa2));
    EXPECT_TRUE(IsAcceptablePassphrase(std::string(63, 'x'), wpa2));
    EXPECT_FALSE(IsAcceptablePassphrase(std::string(65, 'x'), wpa2));
    EXPECT_TRUE(IsAcceptablePassphrase(std::string(64, 'a'), wpa2)) << "64 hex digits: the key itself";
    EXPECT_FALSE(IsAcceptablePassphrase(std::string(64, 'x'), wpa2));
    EXPECT_TRUE(IsAcceptablePassphrase("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F", wpa2))
        << "eight characters in sixteen bytes";
    EXPECT_TRUE(IsAcceptablePassphrase("", WifiSecurity::Open));
}

TEST(WifiRule, ProfileCarriesTheNameAsHexAndEscapesText)
{
    const std::string xml = WifiProfileXml("A&B\xFF", WifiSecurity::Wpa2Personal, "p<ss\"word");
    EXPECT_NE(xml.find("<hex>412642FF</hex>"), std::string::npos);
    EXPECT_NE(xml.find("<name>hex:412642ff</name>"), std::string::npos);
    EXPECT_NE(xml.find("<authentication>WPA2PSK</authentication><encryption>AES</encryption>"), std::string::npos);
    EXPECT_NE(xml.find("<keyType>passPhrase</keyType><protected>false</protected><keyMaterial>p&lt;ss&quot;word"),
              std::string::npos);
    EXPECT_NE(xml.find("<connectionMode>manual</connectionMode>"), std::string::npos);
    EXPECT_EQ(ProfileNameFromXml(xml), "hex:412642ff");
    EXPECT_EQ(ProfileNameFromXml(WifiProfileXml("R&D", WifiSecurity::Open, "")), "R&D");

    const std::string sae = WifiProfileXml("Home", WifiSecurity::Wpa3Personal, "12345678");
    EXPECT_NE(sae.find("<authentication>WPA3SAE</authentication><encryption>AES</encryption>"), std::string::npos);
    const std::string open = WifiProfileXml("Cafe", WifiSecurity::Open, "ignored");
    EXPECT_NE(open.find("<authentication>open</authentication><encryption>none</encryption>"), std::string::npos);
    EXPECT_EQ(open.find("ignored"), std::string::npos);
}

TEST(WifiRule, ProfileNameOfAnExportedFile)
{
    EXPECT_EQ(ProfileNameFromXml("<?xml version=\"1.0\"?>\r\n<WLANProfile xmlns=\"x\">\r\n\t<name>Caf&#233; &#x41;</name>"
                                 "<SSIDConfig><SSID><name>other</name></SSID></SSIDConfig>"),
              "Caf\xC3\xA9 A");
    EXPECT_EQ(ProfileNameFromXml("<WLANProfile><name></name>"), std::nullopt);
    EXPECT_EQ(ProfileNameFromXml("<WLANProfile><name>a&bogus;</name>"), std::nullopt);
    EXPECT_EQ(ProfileNameFromXml("<WLANProfile><name>a&#0;</name>"), std::nullopt);
    EXPECT_EQ(ProfileNameFromXml("<WLANProfile><name>a&#xD800;</name>"), std::nullopt);
    EXPECT_EQ(ProfileNameFromXml("<WLANProfile><name>unterminated"), std::nullopt);
    EXPECT_EQ(ProfileNameFromXml(std::string("<name>a\0b</name>", 15)), std::nullopt) << "no control characters";
    EXPECT_EQ(ProfileNameFromXml("not a profile"), std::nullopt);
}

TEST(WifiRule, OutcomeFromTheServicesReasonCode)
{
    EXPECT_EQ(OutcomeFromReason(0), WifiOutcome::Connected);
    EXPECT_EQ(OutcomeFromReason(0x48014), WifiOutcome::WrongPassphrase);  // PSK mismatch suspected
    EXPECT_EQ(OutcomeFromReason(0x2800D), WifiOutcome::WrongPassphrase);  // key mismatch
    EXPECT_EQ(OutcomeFromReason(0x2800B), WifiOutcome::NetworkGone);      // network not available
    EXPECT_EQ(OutcomeFromReason(0x28002), WifiOutcome::NetworkGone);      // not visible
    EXPECT_EQ(OutcomeFromReason(0x10001), WifiOutcome::Failed);
}
