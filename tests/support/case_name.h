#pragma once
// Test names for table rows that carry a readable name: its letters and digits.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace tooltest {

struct ByCaseName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const
    {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p)))
                name += *p;
        return name;
    }
};

}  // namespace tooltest
