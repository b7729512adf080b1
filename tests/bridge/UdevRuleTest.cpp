// The shipped udev rule: a mistake here fails silently on the user's machine
// (the meter is simply not found), so its form is checked where it is built.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

TEST(UdevRule, SortsBeforeTheSeatRulesThatApplyUaccess)
{
    const std::string name = std::filesystem::path(VARNETTA_UDEV_RULE).filename().string();
    EXPECT_LT(name, std::string("73-seat-late.rules"));
    EXPECT_TRUE(name.ends_with(".rules"));
}

TEST(UdevRule, GivesSeatAccessToTheHidrawNodesOfBothBridges)
{
    std::ifstream file(VARNETTA_UDEV_RULE);
    ASSERT_TRUE(file.is_open());
    const std::regex ids(R"rx(ATTRS\{idVendor\}=="([^"]*)".*ATTRS\{idProduct\}=="([^"]*)")rx");
    std::set<std::string> covered;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line.front() == '#')
            continue;
        EXPECT_NE(line.find(R"(SUBSYSTEM=="hidraw")"), std::string::npos) << line;
        EXPECT_NE(line.find(R"(TAG+="uaccess")"), std::string::npos) << line;
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, ids)) << line;
        for (const char c : match[1].str() + match[2].str())
            EXPECT_FALSE(c >= 'A' && c <= 'F') << "udev compares ids as lowercase text: " << line;
        covered.insert(match[1].str() + ":" + match[2].str());
    }
    EXPECT_EQ(covered, (std::set<std::string>{"10c4:ea80", "10c4:eab0"}));
}
