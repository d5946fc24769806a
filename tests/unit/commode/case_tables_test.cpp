// The twelve device-mode cases and what each asks for, for the communication
// mode and for WiMAX 2+.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/carriersetting/commode_page.h"

namespace {

struct ClassifyRow {
    int flag0, flag1, flag2, networkState;
    int expectedCase;  // 0: no case
};

// Every row whose flag1 is "any" is met with flag1 0 and 1.
const ClassifyRow kClassifyRows[] = {
    {0, 0, 1, 3, 1},  {0, 1, 1, 3, 1},  {0, 0, 1, 1, 2},  {0, 1, 1, 1, 2},  {0, 0, 1, 2, 3},  {0, 1, 1, 2, 3},
    {0, 0, 0, 3, 4},  {0, 1, 0, 3, 4},  {0, 0, 0, 1, 5},  {0, 1, 0, 1, 5},  {0, 0, 0, 2, 6},  {0, 1, 0, 2, 6},
    {1, 1, 1, 3, 7},  {1, 0, 1, 1, 8},  {1, 1, 1, 1, 8},  {1, 0, 1, 3, 9},  {1, 1, 0, 3, 10}, {1, 0, 0, 1, 11},
    {1, 1, 0, 1, 11}, {1, 0, 0, 3, 12},
    // no row: Plus Area at network state 2, values other than 0/1, unknown states
    {1, 0, 1, 2, 0},  {1, 1, 0, 2, 0},  {1, 2, 1, 3, 0},  {1, 2, 0, 1, 0},  {0, 2, 1, 1, 0},  {2, 0, 1, 1, 0},
    {0, 0, 2, 1, 0},  {0, 0, 1, 0, 0},  {1, 0, 0, 4, 0},  {0, 0, 0, -1, 0},
};

TEST(DeviceModeCase, ClassifiesEveryRow)
{
    for (const ClassifyRow& row : kClassifyRows) {
        DeviceFlagRecord flags{static_cast<uint8_t>(row.flag0), static_cast<uint8_t>(row.flag1),
                               static_cast<uint8_t>(row.flag2)};
        int deviceCase = 99;
        int result = ClassifyDeviceModeState(row.networkState, flags, &deviceCase);
        SCOPED_TRACE(::testing::Message() << "flags " << row.flag0 << row.flag1 << row.flag2 << " state "
                                          << row.networkState);
        if (row.expectedCase == 0) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(deviceCase, 99) << "output left as it was";
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(deviceCase, row.expectedCase);
        }
    }
}

struct ChangeRow {
    int deviceCase;
    bool option;        // Plus Area chosen / WiMAX OFF chosen
    bool act;
    const char* band;   // nullptr: none
    int flag0, flag2;
};

void ExpectChange(const ChangeRow& row, const DeviceModeChange& change)
{
    SCOPED_TRACE(::testing::Message() << "case " << row.deviceCase << " option " << row.option);
    EXPECT_EQ(change.act, row.act);
    if (!row.act) {
        EXPECT_EQ(change.band, nullptr);
        return;
    }
    if (row.band)
        EXPECT_STREQ(change.band, row.band);
    else
        EXPECT_EQ(change.band, nullptr);
    EXPECT_EQ(change.flag0, row.flag0);
    EXPECT_EQ(change.flag2, row.flag2);
}

const ChangeRow kCommunicationModeRows[] = {
    {1, true, true, "1,1,30000030015,4C00000", 1, 1},  {2, true, true, nullptr, 1, 1},
    {3, true, true, "1,1,30000030015,4C00000", 1, 1},  {4, true, true, "1,1,30015,4C00000", 1, 0},
    {5, true, true, nullptr, 1, 0},                    {6, true, true, "1,1,30015,4C00000", 1, 0},
    {7, false, true, "1,1,10000010014,4C00000", 0, 1}, {8, false, true, nullptr, 0, 1},
    {9, false, true, "1,0,10000000000,4C00000", 0, 1}, {10, false, true, "1,1,10000010014,4C00000", 0, 0},
    {11, false, true, nullptr, 0, 0},                  {12, false, true, "1,0,10000000000,4C00000", 0, 0},
    // already in the chosen mode: nothing sent
    {1, false, false, nullptr, 0, 0}, {4, false, false, nullptr, 0, 0}, {6, false, false, nullptr, 0, 0},
    {7, true, false, nullptr, 0, 0},  {9, true, false, nullptr, 0, 0},  {12, true, false, nullptr, 0, 0},
};

TEST(DeviceModeCase, CommunicationModeTable)
{
    for (const ChangeRow& row : kCommunicationModeRows) {
        DeviceModeChange change;
        ASSERT_TRUE(CommunicationModeChangeFor(row.deviceCase, row.option, &change));
        ExpectChange(row, change);
    }
}

const ChangeRow kWimaxRows[] = {
    {1, true, true, nullptr, 0, 0},   {2, true, true, nullptr, 0, 0},   {3, true, true, nullptr, 0, 0},
    {4, false, true, nullptr, 0, 1},  {5, false, true, nullptr, 0, 1},  {6, false, true, nullptr, 0, 1},
    {7, true, true, "1,1,30015,4C00000", 1, 0},        {8, true, true, nullptr, 1, 0},
    {9, true, true, "1,1,30015,4C00000", 1, 0},        {10, false, true, "1,1,30000030015,4C00000", 1, 1},
    {11, false, true, nullptr, 1, 1},                  {12, false, true, "1,1,30000030015,4C00000", 1, 1},
    // already as chosen
    {1, false, false, nullptr, 0, 0}, {5, true, false, nullptr, 0, 0}, {8, false, false, nullptr, 0, 0},
    {10, true, false, nullptr, 0, 0},
};

TEST(DeviceModeCase, WimaxTable)
{
    for (const ChangeRow& row : kWimaxRows) {
        DeviceModeChange change;
        ASSERT_TRUE(WimaxModeChangeFor(row.deviceCase, row.option, &change));
        ExpectChange(row, change);
    }
}

TEST(DeviceModeCase, CaseOutsideTheTablesIsRefused)
{
    for (int deviceCase : {0, -1, 13, 100}) {
        for (bool option : {false, true}) {
            DeviceModeChange change;
            EXPECT_FALSE(CommunicationModeChangeFor(deviceCase, option, &change)) << deviceCase;
            EXPECT_FALSE(WimaxModeChangeFor(deviceCase, option, &change)) << deviceCase;
        }
    }
}

// Whatever the device shows, a change of one setting reaches the chosen value
// and keeps the other setting as the device had it.
TEST(DeviceModeCase, ChangesKeepTheOtherSetting)
{
    for (int flag0 = 0; flag0 <= 1; ++flag0)
        for (int flag1 = 0; flag1 <= 1; ++flag1)
            for (int flag2 = 0; flag2 <= 1; ++flag2)
                for (int state = 1; state <= 3; ++state) {
                    DeviceFlagRecord flags{static_cast<uint8_t>(flag0), static_cast<uint8_t>(flag1),
                                           static_cast<uint8_t>(flag2)};
                    int deviceCase = 0;
                    if (ClassifyDeviceModeState(state, flags, &deviceCase) != 0)
                        continue;
                    SCOPED_TRACE(::testing::Message() << "case " << deviceCase);
                    for (bool chosen : {false, true}) {
                        DeviceModeChange change;
                        ASSERT_TRUE(CommunicationModeChangeFor(deviceCase, chosen, &change));
                        EXPECT_EQ(change.act, chosen != (flag0 == 1));
                        if (change.act) {
                            EXPECT_EQ(change.flag0, chosen ? 1 : 0);
                            EXPECT_EQ(change.flag2, flag2);
                        }
                        ASSERT_TRUE(WimaxModeChangeFor(deviceCase, chosen, &change));
                        EXPECT_EQ(change.act, chosen == (flag2 == 1));
                        if (change.act) {
                            EXPECT_EQ(change.flag2, chosen ? 0 : 1);
                            EXPECT_EQ(change.flag0, flag0);
                        }
                    }
                }
}

}  // namespace
