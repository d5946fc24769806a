// The restore and carrier switch tools read their web server's host name into
// a room of 255 bytes; an empty one is the carriers' default host.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/app_paths.h"
#include "tests/support/tool_test_env.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"
#include "tools/restore/restore_factory_setting_dlg.h"

namespace {

class MarlDomainNameTest : public ::testing::Test {
protected:
    void SetUp() override { place_.Make("marl-domain"); }
    void TearDown() override { place_.Remove(); }

    void WriteConfig(const std::string& restoreDomain, const std::string& switchDomain)
    {
        std::ofstream(place_.Work() + "/Adatper_cfg.ini")
            << "[MARL_RESTORE_FACTORY_SETTING_TOOL_INFO]\r\nDOMAIN_NAME=" << restoreDomain
            << "\r\n[MARL_SWITCH_MODE_TOOL_INFO]\r\nDOMAIN_NAME=" << switchDomain << "\r\n";
        g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    }

    tooltest::Workplace place_;
};

TEST_F(MarlDomainNameTest, HostNameTakesAtMost254CharactersAndEmptyMeansTheDefault)
{
    const std::string longName = std::string(250, 'a') + ".bcdefghij";  // 260 characters
    const struct {
        std::string configured, read;
    } cases[] = {
        {longName, longName.substr(0, 254)},
        {longName.substr(0, 254), longName.substr(0, 254)},
        {"modem.example", "modem.example"},
        {"", "192.168.100.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configured.size());
        WriteConfig(c.configured, c.configured);
        char restore[1024] = {};
        ReadMarlDomainName(kRestoreConfigSection, restore, sizeof restore);
        EXPECT_EQ(std::string(restore), c.read);
        char carrierSwitch[1024] = {};
        CMarlSwitchModeToolDlg::ReadSwitchModeDomainName(carrierSwitch, sizeof carrierSwitch);
        EXPECT_EQ(std::string(carrierSwitch), c.read);
    }
}

}  // namespace
