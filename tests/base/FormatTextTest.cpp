#include "base/FormatText.h"

#include <gtest/gtest.h>

TEST(FormatText, FillsMarkersInOrderAndNeverReadsAnArgumentAsATemplate)
{
    struct Case {
        const char* Format;
        std::vector<std::string> Arguments;
        std::string Expected;
    };
    const Case cases[] = {
        {"a %s b %d c", {"X", "7"}, "a X b 7 c"},
        {"%s%s", {"%s", "2"}, "%s2"},                 // an argument holding a marker stays text
        {"%s and %s", {"one"}, "one and %s"},         // a marker with nothing left stays
        {"100% %x %", {"unused"}, "100% %x %"},       // only %s and %d are markers
        {"\xe9 %s \xe7", {"\xe3"}, "\xe9 \xe3 \xe7"}, // bytes of any character set pass
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatText(c.Format, c.Arguments), c.Expected) << c.Format;
}
