// Translated printf-style patterns get their numbers without ever reaching printf: a language file that users
// may edit must not be able to read or write memory through a conversion it slips in.

#include "i18n/LanguageEngine.h"

#include <gtest/gtest.h>

namespace {

using lumora::formatIntegers;

TEST(FormatIntegersTest, FillsTheIntegerConversionsInOrderAndLeavesEverythingElse) {
    struct Case {
        const char* pattern;
        std::vector<int> values;
        const char* expected;
    };
    for (const Case& c : {
             Case{"Merging frame %d of %d", {3, 17}, "Merging frame 3 of 17"}, Case{"%d%%", {42}, "42%"},
             Case{"%d/%d/%d", {1, 2}, "1/2/%d"},     // more conversions than values
             Case{"%s %n %x %d", {7}, "%s %n %x 7"}, // other conversions stay text
             Case{"%", {1}, "%"}, Case{"no conversion", {5}, "no conversion"},
             Case{"%-5d|%05d", {1}, "%-5d|%05d"}, // flags and widths are not interpreted
         })
        EXPECT_EQ(formatIntegers(QString::fromUtf8(c.pattern), c.values), QString::fromUtf8(c.expected))
            << c.pattern;
}

} // namespace
