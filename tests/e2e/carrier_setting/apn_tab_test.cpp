// The APN tab of the carrier modem setting dialogs (tool types 4 and 6) through
// their own Read and Write buttons: the rows follow the device, a write changes
// it, the rows are held off while the worker runs, and an unplugged modem ends
// the write at its first port search with one failure message.
#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <string>

#include "app/app_paths.h"
#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/carrier_setting_dlg.h"

using namespace ui::test;

namespace {

template <class Dialog>
class CarrierApnTabTest : public ::testing::Test {
protected:
    static constexpr UINT kTemplate =
        std::is_same_v<Dialog, CMarlModemSettingDlg> ? IDD_MARL_MODEM_SETTING : IDD_MARL_MODEM_SETTING_NEW;

    void SetUp() override
    {
        place_.Make("carrier-apn-tab");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
        emulator_ = place_.StartEmulator();
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    void OpenTool()
    {
        hwnd_ = tool_.Open(kTemplate);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_EQ(Selection(Item(IDC_MARL_SETTING_TAB)), 0);
    }

    HWND Item(int id) { return Control(hwnd_, id); }
    HWND Row(int id) { return FindControl(IDD_MARL_APN_PAGE, id); }
    std::wstring Message(const wchar_t* key) { return std::wstring(ReadModemSettingString(key)); }

    // Presses the button once the buttons follow the device; the worker's
    // message box, still open (the worker waits on it).
    std::optional<Popup> Press(int id)
    {
        EXPECT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(id)));
        return WaitForPopup(120000);
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<Dialog> tool_;
    HWND hwnd_ = nullptr;
};

using DialogTypes = ::testing::Types<CMarlModemSettingDlg, MarlModemSettingDlgNew>;
TYPED_TEST_SUITE(CarrierApnTabTest, DialogTypes);

modemsim::PdpContext Context(int cid, const std::string& apn, const std::string& type)
{
    modemsim::PdpContext context;
    context.cid = cid;
    context.apn = apn;
    context.type = type;
    return context;
}

}  // namespace

TYPED_TEST(CarrierApnTabTest, ReadAndWriteThroughTheButtons)
{
    this->emulator_->SetPdpContext(Context(1, "first.apn", "IP"));
    this->emulator_->SetPdpContext(Context(3, "third.apn", "IPV6"));
    ASSERT_NO_FATAL_FAILURE(this->OpenTool());

    auto read = this->Press(IDC_MARL_SETTING_READ);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->text, this->Message(L"READ_SUCCESS_INFO"));
    // the rows the worker fills are off until it ends
    EXPECT_FALSE(IsEnabled(this->Row(ApnRowEditId(1))));
    EXPECT_FALSE(IsEnabled(this->Row(ApnRowComboId(1))));
    ClosePopup(*read);
    EXPECT_EQ(Text(this->Row(ApnRowEditId(0))), L"first.apn");
    EXPECT_EQ(Text(this->Row(ApnRowEditId(2))), L"third.apn");
    EXPECT_EQ(Selection(this->Row(ApnRowComboId(2))), APN_IPTYPE_IPV6);
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(this->Row(ApnRowEditId(1))); }));

    ASSERT_TRUE(TypeText(this->Row(ApnRowEditId(1)), L"second.apn"));
    ASSERT_TRUE(SelectComboItem(this->Row(ApnRowComboId(1)), APN_IPTYPE_IPV4));
    ASSERT_TRUE(SelectComboItem(this->Row(ApnRowComboId(2)), APN_IPTYPE_NONE));
    ASSERT_TRUE(WaitIdle(this->hwnd_));
    auto write = this->Press(IDC_MARL_SETTING_WRITE);
    ASSERT_TRUE(write.has_value());
    EXPECT_EQ(write->text, this->Message(L"WRITE_SUCCESS_INFO"));
    EXPECT_FALSE(IsEnabled(this->Row(ApnRowEditId(1))));
    ClosePopup(*write);
    bool second = false, third = false;
    for (const auto& context : this->emulator_->PdpContexts()) {
        second |= context.cid == 2 && context.apn == "second.apn" && context.type == "IP";
        third |= context.cid == 3;
    }
    EXPECT_TRUE(second);
    EXPECT_FALSE(third);
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(this->Row(ApnRowEditId(1))); }));
}

TYPED_TEST(CarrierApnTabTest, UnplugDuringAWriteEndsItAfterOnePortSearch)
{
    ASSERT_NO_FATAL_FAILURE(this->OpenTool());
    for (int row = 1; row < APN_ROW_COUNT; ++row) {
        ASSERT_TRUE(TypeText(this->Row(ApnRowEditId(row)), L"row" + std::to_wstring(row) + L".apn"));
        ASSERT_TRUE(SelectComboItem(this->Row(ApnRowComboId(row)), APN_IPTYPE_IPV4));
    }
    ASSERT_TRUE(WaitIdle(this->hwnd_));
    this->emulator_->SetRestartMs(100000000);
    modemsim::Fault vanish;
    vanish.kind = modemsim::FaultKind::Vanish;
    this->emulator_->InjectAtFault("AT+CGDCONT=", vanish);
    DebugCapture capture;
    auto write = this->Press(IDC_MARL_SETTING_WRITE);
    ASSERT_TRUE(write.has_value());
    EXPECT_EQ(write->text, this->Message(L"WRITE_FAILED_INFO"));
    ClosePopup(*write);
    ASSERT_TRUE(WaitUntil([&] { return !this->tool_.dialog()->WorkerRunning(); }, 120000));
    // one search is 300 listings; every later row is skipped, and told once
    EXPECT_LE(capture.Count("KESTLE: OpenATPort Search ATPort Fail!"), 300u);
    EXPECT_FALSE(WaitForPopup(300).has_value());
}
