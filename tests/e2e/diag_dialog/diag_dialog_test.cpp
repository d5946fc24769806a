// The diagnostic functions dialog against the emulator: DIAG buttons in modem
// mode, the HTTP switch in network-card mode, the CD-drive switch in CD mode.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/diag_ops.h"
#include "device/goform.h"
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "tests/support/tool_test_env.h"
#include "tests/support/timeout_scale.h"
#include "tools/diag/dlg_function.h"

using namespace ui::test;
using modemsim::Mode;

namespace {

constexpr const char* kEmulatorImei = "356938035643809";

class DiagDialogTest : public ::testing::Test {
protected:
    void SetUp() override { place_.Make("diag-dialog-e2e"); }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    void Start(Mode mode, bool plugged = true)
    {
        modemsim::EmulatorOptions options;
        options.mode = mode;
        emulator_ = place_.StartEmulator(options);
        ASSERT_TRUE(emulator_->WaitForMode(mode, 10000));
        emulator_->SetImei(kEmulatorImei);
        if (!plugged)
            emulator_->Unplug();
        hwnd_ = tool_.Open(IDD_DIAG_FUNCTION);
        ASSERT_NE(hwnd_, nullptr);
        emulator_->ClearReceived();
    }

    HWND Item(int id) { return Control(hwnd_, id); }

    // Clicks and returns the text of the message box it showed ("" for none).
    std::wstring ClickForMessage(int id)
    {
        EXPECT_TRUE(Click(Item(id))) << id;
        // the handler has run when Click returns, so a box it showed is already up
        auto popup = AnswerPopup(500);
        if (!popup)
            return L"";
        EXPECT_TRUE(popup->messageBox);
        return popup->text;
    }

    size_t DiagRequestsWith(uint8_t code)
    {
        size_t n = 0;
        for (const auto& r : emulator_->DiagRequests())
            n += !r.empty() && r[0] == code;
        return n;
    }

    std::vector<std::wstring> VersionTexts()
    {
        std::vector<std::wstring> texts;
        for (int id : kDiagVersionEdits)
            texts.push_back(Text(Item(id)));
        return texts;
    }

    tooltest::Workplace place_;
    tooltest::ModalRun<CDlgFunction> tool_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    HWND hwnd_ = nullptr;
};

struct DiagButtonCase {
    int id;
    const wchar_t* success;
    const wchar_t* failure;
    uint8_t code;  // first byte of the DIAG request it sends
};

const DiagButtonCase kDiagButtons[] = {
    {IDC_DIAG_CLOSE_AUTORUN, L"CloseAutoRun success!", L"CloseAutoRun Fail!", 0x4B},
    {IDC_DIAG_OPEN_AUTORUN, L"Open Autorun success!", L"Open Autorun Fail!", 0x4B},
    {IDC_DIAG_ENTER_DOWNLOAD, L"Enter Download success!", L"Enter Download  Fail!", 0x4B},
    {IDC_DIAG_EXIT_DOWNLOAD, L"Exit Download success!", L"Exit Download  Fail!", 0x4B},
    {IDC_DIAG_OFFLINE, L"EnterOffline success!", L"EnterOffline Fail!", 0x29},
    {IDC_DIAG_RESTORE_FACTORY, L"RestoreFactorySetting success!", L"RestoreFactorySetting Fail!", 0x4B},
    {IDC_DIAG_QC_DOWNLOAD, L"Switch to QC Download success!", L"Switch to QC Download Fail!", 0x3A},
};

}  // namespace

TEST_F(DiagDialogTest, OpensWithItsDefaultsAndFixedCaption)
{
    Start(Mode::Modem);
    EXPECT_EQ(Text(hwnd_), L"Dialog");
    EXPECT_EQ(Text(Item(IDC_DIAG_GATEWAY)), L"192.168.0.1");
    EXPECT_EQ(Text(Item(IDC_DIAG_VID)), L"2c7e");
    EXPECT_EQ(Text(Item(IDC_DIAG_PID)), L"1403");
    EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), L"");
    for (int id : kDiagVersionEdits)
        EXPECT_TRUE(Style(Item(id)) & ES_READONLY) << id;
    EXPECT_EQ(tool_.dialog()->m_DeviceInfo.mode, DEVICE_PORT_MODE_MODEM);
    EXPECT_EQ(tool_.dialog()->m_DeviceInfo.diagPort, emulator_->ComNumber(modemsim::Port::Diag));
}

TEST_F(DiagDialogTest, DiagButtonsReportSuccessAndFailure)
{
    Start(Mode::Modem);
    for (const auto& c : kDiagButtons) {
        emulator_->ClearReceived();
        EXPECT_EQ(ClickForMessage(c.id), c.success) << c.id;
        EXPECT_EQ(DiagRequestsWith(c.code), 1u) << c.id;
        // the device's answer never comes
        emulator_->InjectDiagFault(-1, {modemsim::FaultKind::NoAnswer, "", 0, 500, -1});
        {
            tooltest::ScopedTimeoutScale shortTimeouts;
            EXPECT_EQ(ClickForMessage(c.id), c.failure) << c.id;
        }
        emulator_->ClearFaults();
        ASSERT_TRUE(emulator_->WaitForMode(Mode::Modem, 10000));
    }
}

TEST_F(DiagDialogTest, DiagButtonsChangeTheDevice)
{
    Start(Mode::Modem);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_OPEN_AUTORUN), L"Open Autorun success!");
    EXPECT_TRUE(emulator_->AutoRunOpen());
    EXPECT_EQ(ClickForMessage(IDC_DIAG_CLOSE_AUTORUN), L"CloseAutoRun success!");
    EXPECT_FALSE(emulator_->AutoRunOpen());
    EXPECT_EQ(ClickForMessage(IDC_DIAG_ENTER_DOWNLOAD), L"Enter Download success!");
    int entered = emulator_->DownloadMode();
    EXPECT_EQ(ClickForMessage(IDC_DIAG_EXIT_DOWNLOAD), L"Exit Download success!");
    EXPECT_NE(emulator_->DownloadMode(), entered);
    EXPECT_NE(emulator_->DownloadMode(), -1);
}

TEST_F(DiagDialogTest, WithoutDiagPortEveryDiagButtonFailsUnsent)
{
    for (Mode mode : {Mode::NetCard, Mode::Cdrom}) {
        SCOPED_TRACE(modemsim::ModeName(mode));
        Start(mode);
        for (const auto& c : kDiagButtons)
            EXPECT_EQ(ClickForMessage(c.id), c.failure) << c.id;
        EXPECT_EQ(ClickForMessage(IDC_DIAG_WRITE_IMEI), L"WriteIMEI Fail!");
        // silent buttons: no message, edits untouched
        ASSERT_TRUE(TypeText(Item(IDC_DIAG_IMEI), L"123"));
        EXPECT_EQ(ClickForMessage(IDC_DIAG_READ_IMEI), L"");
        EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), L"123");
        EXPECT_EQ(ClickForMessage(IDC_DIAG_GET_VERSION), L"");
        for (const auto& text : VersionTexts())
            EXPECT_EQ(text, L"");
        EXPECT_TRUE(emulator_->DiagRequests().empty());
        tool_.Close();
        emulator_->Stop();
        emulator_.reset();
    }
}

TEST_F(DiagDialogTest, NoDeviceAtOpeningIsTracedAndNotSeenLater)
{
    DebugCapture capture;
    Start(Mode::Modem, false);
    EXPECT_EQ(capture.Count("Don't get anything of device"), 1u);
    emulator_->Replug();
    ASSERT_TRUE(emulator_->WaitForMode(Mode::Modem, 10000));
    EXPECT_EQ(ClickForMessage(IDC_DIAG_CLOSE_AUTORUN), L"CloseAutoRun Fail!");
    EXPECT_EQ(ClickForMessage(IDC_DIAG_READ_IMEI), L"");
    EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), L"");
    EXPECT_TRUE(emulator_->DiagRequests().empty());
}

TEST_F(DiagDialogTest, ReadImeiFillsTheEditAndWriteImeiSendsIt)
{
    Start(Mode::Modem);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_READ_IMEI), L"");
    EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), L"356938035643809");

    ASSERT_TRUE(TypeText(Item(IDC_DIAG_IMEI), L"490154203237518"));
    EXPECT_EQ(ClickForMessage(IDC_DIAG_WRITE_IMEI), L"WriteIMEI success!");
    EXPECT_EQ(emulator_->Imei(), "490154203237518");

    // the device refuses the write
    emulator_->SetNvWriteStatus(5);
    ASSERT_TRUE(TypeText(Item(IDC_DIAG_IMEI), L"111111111111111"));
    EXPECT_EQ(ClickForMessage(IDC_DIAG_WRITE_IMEI), L"WriteIMEI Fail!");
    EXPECT_EQ(emulator_->Imei(), "490154203237518");
    emulator_->SetNvWriteStatus(0);

    // no answer: nothing shown and the edit keeps its text
    tooltest::ScopedTimeoutScale shortTimeouts;
    emulator_->InjectDiagFault(-1, {modemsim::FaultKind::NoAnswer, "", 0, 500, -1});
    EXPECT_EQ(ClickForMessage(IDC_DIAG_READ_IMEI), L"");
    EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), L"111111111111111");
}

TEST_F(DiagDialogTest, WriteImeiWithEmptyEditStillSelectsTheDiagPort)
{
    Start(Mode::Modem);
    std::memset(g_szPortName, 0, sizeof g_szPortName);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_WRITE_IMEI), L"WriteIMEI Fail!");
    EXPECT_EQ(std::string(g_szPortName), std::to_string(emulator_->ComNumber(modemsim::Port::Diag)));
    EXPECT_EQ(emulator_->Imei(), kEmulatorImei);
}

TEST_F(DiagDialogTest, ImeiEditKeepsFifteenCharacters)
{
    Start(Mode::Modem);
    struct {
        const wchar_t* typed;
        const wchar_t* kept;
    } cases[] = {
        {L"12345678901234567890", L"123456789012345"},
        {L"123456789012345", L"123456789012345"},
        {L"abcdefghijklmnopq", L"abcdefghijklmno"},
        {L"12", L"12"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(TypeText(Item(IDC_DIAG_IMEI), c.typed));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_EQ(Text(Item(IDC_DIAG_IMEI)), c.kept) << c.typed;
    }
}

TEST_F(DiagDialogTest, GetVersionFillsTheNineEditsInTheirOrder)
{
    Start(Mode::Modem);
    const std::array<std::string, 9> versions = {
        "BD_OUT_1", "BD_IN_2", "PC_OUT_3", "PC_IN_4", "MAC_OUT_5", "MAC_OUT_6", "LINUX_IN_7", "LINUX_OUT_8",
        "INTEGRATE_123456789012345678901"};
    emulator_->SetVersions(versions);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_GET_VERSION), L"");
    const std::pair<int, const wchar_t*> expected[] = {
        {IDC_DIAG_INTEGRATE_VERSION, L"INTEGRATE_12345678901234567890"},  // the device sends 30 bytes
        {IDC_DIAG_BD_OUT_VERSION, L"BD_OUT_1"},
        {IDC_DIAG_BD_INNER_VERSION, L"BD_IN_2"},
        {IDC_DIAG_PC_OUT_VERSION, L"PC_OUT_3"},
        {IDC_DIAG_PC_INNER_VERSION, L"PC_IN_4"},
        {IDC_DIAG_MAC_OUT_VERSION, L"MAC_OUT_5"},
        {IDC_DIAG_MAC_OUT_VERSION2, L"MAC_OUT_6"},
        {IDC_DIAG_LINUX_INNER_VERSION, L"LINUX_IN_7"},
        {IDC_DIAG_LINUX_OUT_VERSION, L"LINUX_OUT_8"},
    };
    for (const auto& [id, text] : expected)
        EXPECT_EQ(Text(Item(id)), text) << id;

    // a failed read leaves the texts as they were
    auto before = VersionTexts();
    emulator_->SetVersions({"x", "x", "x", "x", "x", "x", "x", "x", "x"});
    tooltest::ScopedTimeoutScale shortTimeouts;
    emulator_->InjectDiagFault(0x39, {modemsim::FaultKind::NoAnswer, "", 0, 500, -1});
    EXPECT_EQ(ClickForMessage(IDC_DIAG_GET_VERSION), L"");
    EXPECT_EQ(VersionTexts(), before);
}

TEST_F(DiagDialogTest, HttpSwitchUsesTheGatewayEdit)
{
    Start(Mode::NetCard);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_HTTP_SWITCH), L"Switch by Http Success!");
    ASSERT_EQ(emulator_->HttpRequests().size(), 1u);
    EXPECT_NE(emulator_->HttpRequests()[0].body.find("goformId=SET_DEVICE_MODE"), std::string::npos);

    struct {
        std::wstring gateway;
        const wchar_t* message;
        size_t requests;
    } cases[] = {
        {L"192.168.100.1", L"Switch by Http Success!", 1},
        {L"10.20.30.40", L"Switch by Http Fail!", 0},  // not the device: never contacted
        {L"", L"Switch by Http Fail!", 0},
        {std::wstring(600, L'1'), L"Switch by Http Fail!", 0},  // longer than the room: refused
    };
    for (const auto& c : cases) {
        emulator_->ClearReceived();
        ASSERT_TRUE(TypeText(Item(IDC_DIAG_GATEWAY), c.gateway));
        EXPECT_EQ(ClickForMessage(IDC_DIAG_HTTP_SWITCH), c.message) << c.gateway.size();
        EXPECT_EQ(emulator_->HttpRequests().size(), c.requests) << c.gateway.size();
    }

    ASSERT_TRUE(TypeText(Item(IDC_DIAG_GATEWAY), L"192.168.0.1"));
    emulator_->InjectHttpFault(GOFORM_SET_PATH, 500);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_HTTP_SWITCH), L"Switch by Http Fail!");
}

TEST_F(DiagDialogTest, HttpSwitchFailsInModemMode)
{
    Start(Mode::Modem);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_HTTP_SWITCH), L"Switch by Http Fail!");
    EXPECT_TRUE(emulator_->HttpRequests().empty());
}

TEST_F(DiagDialogTest, ScsiSwitchSendsTheEditedIds)
{
    Start(Mode::Cdrom);
    // the defaults are not this device's ids
    EXPECT_EQ(ClickForMessage(IDC_DIAG_SCSI_SWITCH), L"Switch by SCSI Fail!");
    auto commands = emulator_->CdromCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].vendor, "2c7e");
    EXPECT_EQ(commands[0].product, "1403");
    EXPECT_FALSE(commands[0].accepted);

    emulator_->ClearReceived();
    ASSERT_TRUE(TypeText(Item(IDC_DIAG_VID), std::wstring(4000, L'a')));
    EXPECT_EQ(ClickForMessage(IDC_DIAG_SCSI_SWITCH), L"Switch by SCSI Fail!");
    EXPECT_TRUE(emulator_->CdromCommands().empty());

    ASSERT_TRUE(TypeText(Item(IDC_DIAG_VID), L"abcd"));
    std::string pid = modemsim::ProductIdOf(Mode::Cdrom);
    ASSERT_TRUE(TypeText(Item(IDC_DIAG_PID), std::wstring(pid.begin(), pid.end())));
    EXPECT_EQ(ClickForMessage(IDC_DIAG_SCSI_SWITCH), L"Switch by SCSI Success!");
    commands = emulator_->CdromCommands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_TRUE(commands[0].accepted);
    EXPECT_TRUE(emulator_->WaitForMode(Mode::Modem, 10000));
}

TEST_F(DiagDialogTest, UnusedButtonDoesNothing)
{
    Start(Mode::Modem);
    EXPECT_EQ(ClickForMessage(IDC_DIAG_UNUSED), L"");
    EXPECT_TRUE(emulator_->DiagRequests().empty());
    EXPECT_TRUE(emulator_->HttpRequests().empty());
    EXPECT_TRUE(IsVisible(hwnd_));
}

TEST(DiagDialogFactory, BuildsTheDialog)
{
    std::unique_ptr<CDialog> dialog(CreateDlgFunction());
    EXPECT_NE(dynamic_cast<CDlgFunction*>(dialog.get()), nullptr);
}

TEST(DiagVersionText, FullSlotEndsAtItsEdge)
{
    NineVersionRecord versions;
    std::memset(&versions, 'v', sizeof versions);
    std::memcpy(versions.text[2], "short", 6);
    EXPECT_EQ(DiagVersionText(versions, 0), std::wstring(DIAG_VERSION_TEXT_SLOT, L'v'));
    EXPECT_EQ(DiagVersionText(versions, 2), L"short");
    EXPECT_EQ(DiagVersionText(versions, DIAG_VERSION_TEXT_COUNT), L"");
}
