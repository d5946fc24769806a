// The VX520 network page inside a stand-in parent dialog, against the
// emulator, in the headless back end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "platform/win/own_resources.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/network_page.h"

namespace fs = std::filesystem;
using namespace ui::test;

namespace {

constexpr UINT IDD_NETWORK_HOST = 60147;
constexpr UINT WM_HOST_CALL = WM_APP + 21;

const ui::DialogTemplate kHostTemplate = {IDD_NETWORK_HOST, L"network host", 330, 350, L"MS Shell Dlg", 8,
                                          WS_POPUP | WS_CAPTION | WS_SYSMENU, {}};
const ui::TemplateFile kHostFile({&kHostTemplate}, {});

std::wstring Key(const wchar_t* key) { return std::wstring(ReadVX520String(key)); }

// The tool dialog's place: holds the page and runs calls on the UI thread.
class CNetworkHost : public CDialog {
public:
    CNetworkHost() : CDialog(IDD_NETWORK_HOST) {}

protected:
    LRESULT OnHostCall(WPARAM, LPARAM l)
    {
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNetworkHost, CDialog)
    ON_MESSAGE(WM_HOST_CALL, &CNetworkHost::OnHostCall)
END_MESSAGE_MAP()

class NetworkPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("vx520-net");
        place_.WriteLanguageFiles();
        UseLanguage(LANGUAGE_ENGLISH);
        emulator_ = place_.StartEmulator();

        hostWnd_ = hostRun_.Open(IDD_NETWORK_HOST);
        ASSERT_NE(hostWnd_, nullptr);
        host_ = hostRun_.dialog();
        page_ = std::make_unique<CVX520ModemSettingNetworkSettingPage>();
        OnUi([this] {
            page_->Create(IDD_VX520_NETWORK_PAGE, host_);
            page_->ShowWindow(SW_SHOW);
        });
        pageWnd_ = page_->GetSafeHwnd();
        ASSERT_NE(pageWnd_, nullptr);
    }

    void TearDown() override
    {
        hostRun_.Close([this] { OnUi([this] { page_->DestroyWindow(); }); });
        page_.reset();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    void UseLanguage(BYTE flag) { place_.UseLanguage(flag); }

    void OnUi(std::function<void()> fn) { SendMessage(hostWnd_, WM_HOST_CALL, 0, reinterpret_cast<LPARAM>(&fn)); }

    // Runs a routine as a worker would; answers its prompts and returns their texts.
    template <typename F>
    auto AsWorker(F routine, std::vector<std::wstring>& prompts)
    {
        auto result = std::async(std::launch::async, routine);
        while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
            if (auto popup = WaitForPopup(20)) {
                EXPECT_EQ(popup->caption, Key(L"ATTENTION"));
                prompts.push_back(popup->text);
                ClosePopup(*popup);
            }
        }
        return result.get();
    }
    int Read(bool clear, std::vector<std::wstring>& prompts)
    {
        return AsWorker([&] { return page_->ReadNetworkSettings(clear); }, prompts);
    }
    std::vector<std::wstring> Apply()
    {
        std::vector<std::wstring> prompts;
        AsWorker([&] { return page_->ApplyNetworkSettings(); }, prompts);
        return prompts;
    }

    HWND Item(int id) { return Control(pageWnd_, id); }
    std::wstring ItemText(int id) { return Text(Item(id)); }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }
    std::vector<std::string> SetLines()
    {
        std::vector<std::string> out;
        for (const auto& line : emulator_->AtLines())
            if (line.find('=') != std::string::npos)
                out.push_back(line);
        return out;
    }
    std::string ContextApn(int cid)
    {
        for (const auto& c : emulator_->PdpContexts())
            if (c.cid == cid)
                return c.apn;
        return "<none>";
    }

    // A non-carrier SIM reads its authentication into the page, which leaves
    // every entry valid; then the user types.
    void ReadNonCarrier()
    {
        std::vector<std::wstring> prompts;
        Read(true, prompts);
        EXPECT_TRUE(prompts.empty());
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<CNetworkHost> hostRun_;
    CNetworkHost* host_ = nullptr;
    HWND hostWnd_ = nullptr;
    std::unique_ptr<CVX520ModemSettingNetworkSettingPage> page_;
    HWND pageWnd_ = nullptr;
};

constexpr const char* kCarrierImsi = "440202123456789";

// ---- texts ----------------------------------------------------------------

TEST_F(NetworkPageTest, CaptionsAndColumnsFollowTheLanguageFile)
{
    EXPECT_EQ(Columns(Item(IDC_NET_OPERATOR_LIST)),
              (std::vector<std::wstring>{L"Operation Name", L"Network", L"MCC MNC", L"Status"}));
#if defined(SETWELL_USER_AUTH)
    EXPECT_EQ(Items(Item(IDC_NET_AUTH_COMBO)), (std::vector<std::wstring>{L"CHAP", L"PAP", L"NONE"}));
#endif
    for (BYTE language : {LANGUAGE_ENGLISH, LANGUAGE_JAPANESE}) {
        UseLanguage(language);
        page_->m_bConnected = 1;
        OnUi([this] { page_->SetNetworkPageTexts(); });
        const std::pair<int, const wchar_t*> captions[] = {
            {IDC_NET_MODE_HEADING, L"MOBIE_NETWORK_SETTING"}, {IDC_NET_ROAMING_ENABLE, L"INTERNATIONAL_ROAMING_ENABLE"},
            {IDC_NET_ROAMING_WARNING, L"INTERNATIONAL_ROAMING_WARNING"}, {IDC_NET_SEARCH, L"NETWORK_SELECTION_SEARCH"},
            {IDC_NET_LIST_HEADING, L"NETWORK_LIST"}, {IDC_NET_PROFILE_HEADING, L"PROFILE_SETTING"},
#if defined(SETWELL_USER_AUTH)
            {IDC_NET_AUTH_LABEL, L"USERAUTH"}, {IDC_NET_PASSWORD_LABEL, L"USERPASSWORD"},
#endif
        };
        for (const auto& [id, key] : captions) {
            EXPECT_FALSE(Key(key).empty()) << id;
            EXPECT_EQ(ItemText(id), Key(key)) << id;
        }
        auto columns = Columns(Item(IDC_NET_OPERATOR_LIST));
        ASSERT_EQ(columns.size(), 4u);
        EXPECT_EQ(columns[0], Key(L"NETWORK_LIST_OPERATION_NAME"));
        EXPECT_EQ(columns[2], L"MCC MNC");
        EXPECT_EQ(columns[3], Key(L"NETWORK_LIST_STATUS"));
    }
    EXPECT_EQ(ItemText(IDC_NET_SEARCH), L"検索");
}

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, PasswordEditIsMasked)
{
    auto* password = static_cast<CEdit*>(page_->GetDlgItem(IDC_NET_PASSWORD_EDIT));
    auto* user = static_cast<CEdit*>(page_->GetDlgItem(IDC_NET_USER_EDIT));
    EXPECT_EQ(password->GetPasswordChar(), L'\u25CF');
    EXPECT_EQ(user->GetPasswordChar(), 0);
    EXPECT_NE(password->GetStyle() & ES_PASSWORD, 0u);
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, LanguageSwitchPutsRequiredIntoAnEmptyPasswordLabelWithoutShowingIt)
{
    ReadNonCarrier();
    page_->m_bConnected = 1;
    UseLanguage(LANGUAGE_JAPANESE);
    OnUi([this] { page_->SetNetworkPageTexts(); });
    EXPECT_EQ(ItemText(IDC_NET_PASSWORD_ERROR), Key(L"Password_Requried"));
    EXPECT_FALSE(IsVisible(Item(IDC_NET_PASSWORD_ERROR)));
    EXPECT_EQ(page_->m_bPasswordRequired.load(), 1);

    // not connected: the authentication controls go
    page_->m_bConnected = 0;
    OnUi([this] { page_->SetNetworkPageTexts(); });
    for (int id : kNetworkAuthControls)
        EXPECT_FALSE(IsVisible(Item(id))) << id;
}
#endif

// ---- entry checks -----------------------------------------------------------

TEST(NetworkPatterns, WholeTextMatches)
{
    const std::pair<const wchar_t*, bool> apns[] = {
        {L"", true}, {L"internet.example-1.jp", true}, {L".lead", true}, {L"a_b", false}, {L"a b", false},
        {L"apn\n", false}, {L"日本", false}};
    for (const auto& [text, ok] : apns)
        EXPECT_EQ(IsApnTextAllowed(text), ok) << std::wstring(text).size();
    const std::pair<const wchar_t*, bool> credentials[] = {
        {L"", true}, {L"user name", true}, {L"!#$&()*+,-./%:;=?@[]^_{}~", true}, {L"a<b", false},
        {L"say\"hi", false}, {L"back\\slash", false}, {L"tick'", false}, {L"pipe|", false}, {L"ü", false}};
    for (const auto& [text, ok] : credentials)
        EXPECT_EQ(IsCredentialTextAllowed(text), ok) << std::string(text, text + std::wcslen(text)).size();
}

TEST(NetworkPatterns, DeviceValueMappings)
{
    const std::pair<int, const wchar_t*> acts[] = {{7, L"4G"}, {2, L"WCDMA"}, {0, L"GSM"}, {9, L"GSM"}};
    for (const auto& [act, text] : acts)
        EXPECT_STREQ(NetworkActText(act), text);
    EXPECT_EQ(NetworkActFromText(L"4G"), 7);
    EXPECT_EQ(NetworkActFromText(L"WCDMA"), 2);
    EXPECT_EQ(NetworkActFromText(L"GSM"), 0);
    EXPECT_STREQ(NetworkStatusKey(3), L"NETWORK_LIST_STATUS_UNAVAILABLE");
    EXPECT_STREQ(NetworkStatusKey(2), L"NETWORK_LIST_STATUS_CURRENT");
    const std::pair<int, int> typeToIndex[] = {{1, 1}, {0, 2}, {2, 0}, {5, 0}};
    for (const auto& [type, index] : typeToIndex)
        EXPECT_EQ(AuthIndexFromType(type), index) << type;
    const std::pair<int, int> indexToType[] = {{0, 2}, {1, 1}, {2, 0}, {-1, 0}};
    for (const auto& [index, type] : indexToType)
        EXPECT_EQ(AuthTypeFromIndex(index), type) << index;
}

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, TypedEntriesSetTheRedLabelsAndFlags)
{
    struct Case {
        int edit, label;
        std::wstring typed;
        bool valid;
        const wchar_t* key;
        std::wstring left;
    };
    const std::wstring longName(70, L'u');
    const Case cases[] = {
        {IDC_NET_APN_EDIT, IDC_NET_APN_ERROR, L"internet", true, nullptr, L"internet"},
        {IDC_NET_APN_EDIT, IDC_NET_APN_ERROR, L"my_apn", false, L"APN_Invalid", L"my_apn"},
        {IDC_NET_APN_EDIT, IDC_NET_APN_ERROR, L".lead-", true, nullptr, L".lead-"},
        {IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, L"a<b", false, L"Userid_Invalid", L"a<b"},
        {IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, L"q\"q", false, L"Userid_Invalid", L"q\"q"},
        {IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, longName, true, nullptr, longName.substr(0, 64)},
        {IDC_NET_PASSWORD_EDIT, IDC_NET_PASSWORD_ERROR, L"p@ss word", true, nullptr, L"p@ss word"},
        {IDC_NET_PASSWORD_EDIT, IDC_NET_PASSWORD_ERROR, L"tab\tin", false, L"Password_Invalid", L"tab\tin"},
    };
    OnUi([this] {
        for (int id : kNetworkAuthControls)
            page_->GetDlgItem(id)->ShowWindow(SW_SHOW);
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.size());
        ASSERT_TRUE(TypeText(Item(c.edit), c.typed));
        EXPECT_EQ(ItemText(c.edit), c.left);
        EXPECT_EQ(IsVisible(Item(c.label)), !c.valid);
        if (c.key) {
            EXPECT_EQ(ItemText(c.label), Key(c.key));
        }
        const auto& flag = c.edit == IDC_NET_APN_EDIT    ? page_->m_bApnValid
                           : c.edit == IDC_NET_USER_EDIT ? page_->m_bUserNameValid
                                                         : page_->m_bPasswordValid;
        EXPECT_EQ(flag.load(), c.valid ? 1 : 0);
    }
    for (int label : {IDC_NET_APN_ERROR, IDC_NET_USER_ERROR, IDC_NET_PASSWORD_ERROR})
        EXPECT_EQ(TextColor(Item(label)), RGB(255, 0, 0)) << label;
    EXPECT_NE(TextColor(Item(IDC_NET_APN_LABEL)), RGB(255, 0, 0));
    // the cut user name ends with the caret at its end
    int start = 0, end = 0;
    OnUi([&] { static_cast<CEdit*>(page_->GetDlgItem(IDC_NET_USER_EDIT))->GetSel(start, end); });
    TypeText(Item(IDC_NET_USER_EDIT), longName);
    OnUi([&] { static_cast<CEdit*>(page_->GetDlgItem(IDC_NET_USER_EDIT))->GetSel(start, end); });
    EXPECT_EQ(start, 64);
    EXPECT_EQ(end, 64);
}
#endif

TEST_F(NetworkPageTest, ApnCheckBeforeWriting)
{
    struct Case {
        std::wstring apn;
        bool accepted;
        const wchar_t* key;
        std::wstring left;
        BYTE empty;
    };
    const std::wstring apn62(62, L'a');
    const Case cases[] = {
        {apn62, true, nullptr, apn62, 0},
        {apn62 + L"b", true, nullptr, apn62, 0},
        {L"", false, L"APN_Requried", L"", 1},
        {L".internet", false, L"APN_Invalid", L".internet", 0},
        {L"internet-", false, L"APN_Invalid", L"internet-", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.apn.size());
        ASSERT_TRUE(TypeText(Item(IDC_NET_APN_EDIT), c.apn));
        bool accepted = false;
        OnUi([&] { accepted = page_->CheckApnForApply(); });
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(ItemText(IDC_NET_APN_EDIT), c.left);
        EXPECT_EQ(page_->m_bApnEmpty.load(), c.empty);
        EXPECT_EQ(IsVisible(Item(IDC_NET_APN_ERROR)), !c.accepted);
        if (c.key) {
            EXPECT_EQ(ItemText(IDC_NET_APN_ERROR), Key(c.key));
        }
    }
}

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, NoneEmptiesAndDisablesTheCredentials)
{
    ReadNonCarrier();
    TypeText(Item(IDC_NET_USER_EDIT), L"someone");
    TypeText(Item(IDC_NET_PASSWORD_EDIT), L"secret");
    ASSERT_TRUE(SelectComboItem(Item(IDC_NET_AUTH_COMBO), NET_AUTH_INDEX_NONE));
    for (int id : {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT, IDC_NET_PASSWORD_EDIT})
        EXPECT_FALSE(IsEnabled(Item(id))) << id;
    EXPECT_EQ(ItemText(IDC_NET_USER_EDIT), L"");
    EXPECT_EQ(ItemText(IDC_NET_PASSWORD_EDIT), L"");
    ASSERT_TRUE(SelectComboItem(Item(IDC_NET_AUTH_COMBO), NET_AUTH_INDEX_PAP));
    for (int id : {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT, IDC_NET_PASSWORD_EDIT})
        EXPECT_TRUE(IsEnabled(Item(id))) << id;
    EXPECT_EQ(ItemText(IDC_NET_USER_EDIT), L"");
}
#endif

// ---- reading ------------------------------------------------------------------

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ReadPutsTheDeviceSettingsIntoThePage)
{
    emulator_->SetNetworkSelect(6, 1);
    emulator_->SetPdpContext({1, "IP", "corp.example", "0.0.0.0", 0, 0});
    emulator_->SetRoaming(false);
    emulator_->SetAuthProfile({1, "alice", "pw"});
    ASSERT_TRUE(TypeText(Item(IDC_NET_APN_EDIT), L"bad_apn"));
    ReadNonCarrier();

    EXPECT_TRUE(IsChecked(Item(IDC_NET_MODE_LTE)));
    EXPECT_FALSE(IsChecked(Item(IDC_NET_MODE_ALL)));
    EXPECT_TRUE(IsChecked(Item(IDC_NET_SELECTION_MANUAL)));
    EXPECT_FALSE(IsChecked(Item(IDC_NET_SELECTION_AUTO)));
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_SEARCH)));
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_OPERATOR_LIST)));
    EXPECT_EQ(ItemText(IDC_NET_APN_EDIT), L"corp.example");
    EXPECT_FALSE(IsVisible(Item(IDC_NET_APN_ERROR)));
    // roaming value 0: "Enable"
    EXPECT_TRUE(IsChecked(Item(IDC_NET_ROAMING_ENABLE)));
    EXPECT_EQ(page_->m_bRoamingEnabled.load(), 1);
    // a SIM that is not the carrier's: authentication shown and read
    for (int id : {IDC_NET_AUTH_LABEL, IDC_NET_AUTH_COMBO, IDC_NET_USER_EDIT, IDC_NET_PASSWORD_EDIT})
        EXPECT_TRUE(IsVisible(Item(id))) << id;
    EXPECT_EQ(Selection(Item(IDC_NET_AUTH_COMBO)), NET_AUTH_INDEX_PAP);
    EXPECT_TRUE(WaitUntil([&] { return ItemText(IDC_NET_USER_EDIT) == L"alice"; }));
    EXPECT_EQ(ItemText(IDC_NET_PASSWORD_EDIT), L"");

    // the other way round
    emulator_->SetNetworkSelect(0, 0);
    emulator_->SetRoaming(true);
    emulator_->SetAuthProfile({0, "", ""});
    ReadNonCarrier();
    EXPECT_TRUE(IsChecked(Item(IDC_NET_MODE_ALL)));
    EXPECT_TRUE(IsChecked(Item(IDC_NET_SELECTION_AUTO)));
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_SEARCH)));
    EXPECT_TRUE(IsChecked(Item(IDC_NET_ROAMING_DISABLE)));
    EXPECT_EQ(page_->m_bRoamingEnabled.load(), 0);
    EXPECT_EQ(Selection(Item(IDC_NET_AUTH_COMBO)), NET_AUTH_INDEX_NONE);
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_USER_EDIT)));
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ReadHidesAuthenticationForTheCarrierSim)
{
    emulator_->SetImsi(kCarrierImsi);
    OnUi([this] {
        for (int id : kNetworkAuthControls)
            page_->GetDlgItem(id)->ShowWindow(SW_SHOW);
    });
    std::vector<std::wstring> prompts;
    EXPECT_EQ(Read(false, prompts), 0);
    for (int id : kNetworkAuthControls)
        EXPECT_FALSE(IsVisible(Item(id))) << id;
    EXPECT_EQ(CountAt("AT$QCPDPP?"), 0u);
}
#endif

TEST_F(NetworkPageTest, FirstContextOutsideOneToTenShowsNoApn)
{
    struct Case {
        int cid;
        size_t traces;
    };
    for (const Case& c : {Case{0, 1}, Case{11, 0}}) {
        for (int cid = 0; cid <= 16; ++cid)
            emulator_->DeletePdpContext(cid);
        emulator_->SetPdpContext({c.cid, "IP", "hidden", "0.0.0.0", 0, 0});
        DebugCapture capture;
        std::vector<std::wstring> prompts;
        Read(true, prompts);
        EXPECT_EQ(ItemText(IDC_NET_APN_EDIT), L"") << c.cid;
        EXPECT_EQ(capture.Count("DisplayAPNAT:: nLine<0"), c.traces) << c.cid;
    }
}

TEST_F(NetworkPageTest, LocksDisableTheirControlsAndTheNoticeShowsOncePerConnection)
{
    struct Case {
        bool apn, mode, roam;
    };
    const Case cases[] = {{true, true, true},  {true, false, false}, {false, true, false},
                          {false, false, true}, {true, true, false},  {false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.apn << c.mode << c.roam);
        page_->m_bLockNoticeShown = 0;  // as the watch thread does on a new connection
        emulator_->SetLocks(c.apn, c.mode, c.roam);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<std::wstring> prompts;
            Read(false, prompts);
            std::vector<std::wstring> expected;
            if (pass == 0)
                expected.push_back(Key(L"Network_Settings_Parameters_CAN_NOT_SET"));
            EXPECT_EQ(prompts, expected) << pass;
        }
        EXPECT_EQ(IsEnabled(Item(IDC_NET_MODE_ALL)), !c.mode);
        EXPECT_EQ(IsEnabled(Item(IDC_NET_MODE_LTE)), !c.mode);
        EXPECT_EQ(IsEnabled(Item(IDC_NET_APN_EDIT)), !c.apn);
        EXPECT_EQ(IsEnabled(Item(IDC_NET_ROAMING_ENABLE)), !c.roam);
        EXPECT_EQ(IsEnabled(Item(IDC_NET_ROAMING_DISABLE)), !c.roam);
        EXPECT_EQ(page_->m_bApnLocked.load(), c.apn ? 1 : 0);
    }
    // nothing locked: the enabling stays as the last lock left it
    emulator_->SetLocks(false, false, false);
    std::vector<std::wstring> prompts;
    Read(false, prompts);
    EXPECT_TRUE(prompts.empty());
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_MODE_ALL)));
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_APN_EDIT)));
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_ROAMING_ENABLE)));
}

TEST_F(NetworkPageTest, ReadClearsTheOperatorRowsOnlyWhenAsked)
{
    emulator_->SetOperators({{1, "Alpha", "A", "44010", 7}});
    emulator_->SetScanTimes(10, 10);
    Sleep(1100);
    ASSERT_TRUE(Click(Item(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] { return Rows(Item(IDC_NET_OPERATOR_LIST)).size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return page_->m_bSearchRunning.load() == 0; }));
    std::vector<std::wstring> prompts;
    Read(false, prompts);
    EXPECT_EQ(Rows(Item(IDC_NET_OPERATOR_LIST)).size(), 1u);
    Read(true, prompts);
    EXPECT_EQ(Rows(Item(IDC_NET_OPERATOR_LIST)).size(), 0u);
}

// ---- the carrier SIM ---------------------------------------------------------

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, CarrierSimByImsiAndGroupIdentifier)
{
    struct Case {
        const char* imsi;
        const char* gid1;
        bool carrier;
    };
    const Case cases[] = {
        {"440202000000000", "", true},    {"440202999999999", "", true},
        {"440201999999999", "", false},   {"440210000000000", "", false},
        {"440209200000000", "", true},    {"440209300000000", "31FF", true},
        {"440209300000000", "32FF", false}, {"440209300000000", "", false},
        // fewer than seven digits is no IMSI: a failed read
        {"44020", "", true}, {"10", "", true},
        {"440101234567890", "31FF", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.imsi) + "/" + c.gid1);
        emulator_->SetImsi(c.imsi);
        emulator_->SetGid1(c.gid1);
        EXPECT_EQ(page_->IsCarrierSim(), c.carrier);
    }
    // no AT port counts as the carrier's
    emulator_->SetImsi("440101234567890");
    emulator_->Unplug();
    EXPECT_TRUE(page_->IsCarrierSim());
}
#endif

TEST_F(NetworkPageTest, ImsiReadAnsweredWithAnErrorCountsAsCarrier)
{
    for (const char* reply : {"\r\nERROR\r\n", "\r\n+CME ERROR: 10\r\n"}) {
        SCOPED_TRACE(reply);
        emulator_->ClearFaults();
        emulator_->SetImsi("440101234567890");  // not the carrier's when it can be read
        emulator_->InjectAtFault("AT+CIMI", {modemsim::FaultKind::Garbage, reply, 0, 500, -1});
        EXPECT_TRUE(page_->IsCarrierSim());

        std::vector<std::wstring> prompts;
        Read(true, prompts);
        EXPECT_FALSE(IsVisible(Item(IDC_NET_AUTH_COMBO)));
        TypeText(Item(IDC_NET_APN_EDIT), L"err.apn");
        emulator_->ClearReceived();
        EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_SUCCESS_INFO")});
        EXPECT_EQ(ContextApn(1), "err.apn");
        EXPECT_EQ(CountAt("AT+CGDCONT=9"), 0u);
        EXPECT_EQ(CountAt("AT$QCPDPP="), 0u);
    }
}

// ---- applying -------------------------------------------------------------------

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ApplyWritesAuthenticationApnSelectionInThatOrder)
{
    ReadNonCarrier();
    emulator_->ClearReceived();
    SelectComboItem(Item(IDC_NET_AUTH_COMBO), NET_AUTH_INDEX_CHAP);
    TypeText(Item(IDC_NET_USER_EDIT), L"bob");
    TypeText(Item(IDC_NET_PASSWORD_EDIT), L"pw!1");
    TypeText(Item(IDC_NET_APN_EDIT), L"new.apn");
    Click(Item(IDC_NET_MODE_LTE));
    Click(Item(IDC_NET_SELECTION_MANUAL));

    EXPECT_EQ(Apply(), (std::vector<std::wstring>{Key(L"SET_SUCCESS_INFO"), Key(L"ID_USRINFO_ALERTINFO1")}));
    const auto sets = SetLines();
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(sets[0], "AT$QCPDPP=9,2,\"pw!1\",\"bob\"");
    EXPECT_EQ(sets[1], "AT+CGDCONT=1,\"IP\",\"new.apn\",\"0.0.0.0\",0,0");
    EXPECT_EQ(sets[2], "AT+CGDCONT=9,\"IP\",\"new.apn\",\"0.0.0.0\",0,0");
    EXPECT_EQ(sets[3].rfind("AT+ZSNT=6,1", 0), 0u) << sets[3];
    EXPECT_EQ(ContextApn(9), "new.apn");
    EXPECT_EQ(emulator_->GetAuthProfile().user, "bob");
    // no operator row chosen: only the selection is sent; roaming unchanged: nothing sent
    EXPECT_EQ(CountAt("AT+COPS="), 0u);
    EXPECT_EQ(CountAt("AT+ZDATAROAM="), 0u);
}
#endif

TEST_F(NetworkPageTest, ApplyForTheCarrierSimWritesOnlyTheApnAndWarnsAboutRoaming)
{
    emulator_->SetImsi(kCarrierImsi);
    emulator_->SetRoaming(true);  // "Disable"
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    emulator_->ClearReceived();
    TypeText(Item(IDC_NET_APN_EDIT), L"carrier.apn");
    Click(Item(IDC_NET_ROAMING_ENABLE));

    EXPECT_EQ(Apply(), (std::vector<std::wstring>{Key(L"ID_ROAMING_ALERTINFO1"), Key(L"SET_SUCCESS_INFO")}));
    EXPECT_EQ(CountAt("AT$QCPDPP="), 0u);
    EXPECT_EQ(ContextApn(1), "carrier.apn");
    EXPECT_EQ(CountAt("AT+CGDCONT=9"), 0u);
    EXPECT_FALSE(emulator_->Roaming());
    EXPECT_EQ(page_->m_bRoamingEnabled.load(), 1);

    // the radios now match the device: no second roaming command
    emulator_->ClearReceived();
    Apply();
    EXPECT_EQ(CountAt("AT+ZDATAROAM="), 0u);
}

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ApplyRefusesEntriesWithoutSendingThemButRunsTheOtherSteps)
{
    struct Case {
        const wchar_t* apn;
        int authIndex;
        const wchar_t* user;
        const wchar_t* password;
        int label;
        const wchar_t* key;
        size_t authSent;  // authentication goes before the APN check
    };
    const Case cases[] = {
        {L"bad_apn", NET_AUTH_INDEX_PAP, L"u", L"p", IDC_NET_APN_ERROR, L"APN_Invalid", 0},
        {L"", NET_AUTH_INDEX_NONE, L"", L"", IDC_NET_APN_ERROR, L"APN_Requried", 1},
        {L"ok.apn", NET_AUTH_INDEX_PAP, L"", L"p", IDC_NET_USER_ERROR, L"Userid_Requried", 0},
        {L"ok.apn", NET_AUTH_INDEX_CHAP, L"u", L"", IDC_NET_PASSWORD_ERROR, L"Password_Requried", 0},
        {L"ok.apn", NET_AUTH_INDEX_PAP, L"u<", L"p", IDC_NET_USER_ERROR, L"Userid_Invalid", 0},
        // 64 characters fit the edit but not the device's 63
        {L"ok.apn", NET_AUTH_INDEX_PAP, L"uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu", L"p",
         IDC_NET_USER_ERROR, L"Userid_Invalid", 0},
    };
    ReadNonCarrier();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::wstring(c.apn).size() * 100 + std::wstring(c.user).size());
        SelectComboItem(Item(IDC_NET_AUTH_COMBO), c.authIndex);
        TypeText(Item(IDC_NET_USER_EDIT), c.user);
        TypeText(Item(IDC_NET_PASSWORD_EDIT), c.password);
        TypeText(Item(IDC_NET_APN_EDIT), c.apn);
        emulator_->ClearReceived();
        EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
        EXPECT_EQ(CountAt("AT$QCPDPP="), c.authSent);
        EXPECT_EQ(CountAt("AT+CGDCONT="), 0u);
        EXPECT_EQ(CountAt("AT+ZSNT="), 1u);
        EXPECT_TRUE(IsVisible(Item(c.label)));
        EXPECT_EQ(ItemText(c.label), Key(c.key));
        EXPECT_EQ(ContextApn(1), "internet");
    }
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ApnStepFailsWhenTheContextLineCannotBeRebuiltOrReadsBackOtherwise)
{
    emulator_->SetImsi(kCarrierImsi);
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    TypeText(Item(IDC_NET_APN_EDIT), L"next.apn");

    // a first context line with two fields only
    emulator_->InjectAtFault("AT+CGDCONT?", {modemsim::FaultKind::Garbage, "\r\n+CGDCONT: 1,\"IP\"\r\n\r\nOK\r\n", 0, 500, 1});
    emulator_->ClearReceived();
    EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
    EXPECT_EQ(CountAt("AT+CGDCONT="), 0u);

    // the device answers OK but keeps its APN: the read-back decides
    emulator_->ClearFaults();
    emulator_->InjectAtFault("AT+CGDCONT=", {modemsim::FaultKind::Garbage, "\r\nOK\r\n", 0, 500, 1});
    EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
    EXPECT_EQ(ContextApn(1), "internet");
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, NoneAuthenticationIsConfirmedByTheTypeAlone)
{
    emulator_->SetAuthProfile({1, "old", "pw"});
    ReadNonCarrier();
    SelectComboItem(Item(IDC_NET_AUTH_COMBO), NET_AUTH_INDEX_NONE);
    TypeText(Item(IDC_NET_APN_EDIT), L"internet");
    EXPECT_EQ(Apply()[0], Key(L"SET_SUCCESS_INFO"));
    EXPECT_EQ(emulator_->GetAuthProfile().type, 0);
    EXPECT_EQ(emulator_->GetAuthProfile().user, "");
}
#endif

TEST_F(NetworkPageTest, ManualSelectionSendsTheChosenOperator)
{
    emulator_->SetOperators({{2, "Alpha", "A", "44010", 7}, {1, "Beta", "B", "44020", 2},
                             {3, "Gamma", "G", "44030", 9}});
    emulator_->SetScanTimes(10, 10);
    emulator_->SetImsi(kCarrierImsi);
    emulator_->SetNetworkSelect(0, 1);
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    ASSERT_TRUE(IsEnabled(Item(IDC_NET_SEARCH)));
    Sleep(1100);
    ASSERT_TRUE(Click(Item(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] { return Rows(Item(IDC_NET_OPERATOR_LIST)).size() == 3; }));
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_NET_SEARCH)); }));
    const auto rows = Rows(Item(IDC_NET_OPERATOR_LIST));
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"Alpha", L"4G", L"44010", L"Current"}));
    EXPECT_EQ(rows[1], (std::vector<std::wstring>{L"Beta", L"WCDMA", L"44020", L"Avaiable"}));
    EXPECT_EQ(rows[2], (std::vector<std::wstring>{L"Gamma", L"GSM", L"44030", L"Unavaiable"}));
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_OPERATOR_LIST)));

    ASSERT_TRUE(SelectListRow(Item(IDC_NET_OPERATOR_LIST), 1));
    TypeText(Item(IDC_NET_APN_EDIT), L"internet");
    EXPECT_EQ(Apply()[0], Key(L"SET_SUCCESS_INFO"));
    EXPECT_EQ(emulator_->SelectedOperator(), (std::pair<std::string, int>{"44020", 2}));

    // language switch: status texts follow
    UseLanguage(LANGUAGE_JAPANESE);
    OnUi([this] { page_->SetNetworkPageTexts(); });
    EXPECT_EQ(Rows(Item(IDC_NET_OPERATOR_LIST))[1][3], Key(L"NETWORK_LIST_STATUS_AVAILABLE"));
}

TEST_F(NetworkPageTest, SearchWithinASecondOfTheLastIsDroppedAndAFailedSearchKeepsTheRows)
{
    emulator_->SetOperators({{1, "Alpha", "A", "44010", 7}});
    emulator_->SetScanTimes(10, 10);
    emulator_->SetNetworkSelect(0, 1);
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    Sleep(1100);
    emulator_->ClearReceived();
    ASSERT_TRUE(Click(Item(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] { return Rows(Item(IDC_NET_OPERATOR_LIST)).size() == 1 &&
                                       page_->m_bSearchRunning.load() == 0; }));
    EXPECT_EQ(CountAt("AT+COPS=?"), 1u);

    // a search accepted just now: the next one returns at once, nothing changed
    g_dwLastOperatorSearchTick = GetTickCount() - 500;
    const DWORD accepted = g_dwLastOperatorSearchTick.load();
    EXPECT_EQ(CVX520ModemSettingNetworkSettingPage::SearchOperatorsThread(page_.get()), 0u);
    EXPECT_EQ(g_dwLastOperatorSearchTick.load(), accepted);
    EXPECT_EQ(CountAt("AT+COPS=?"), 1u);
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_SEARCH)));

    Sleep(1100);
    tooltest::ScopedTimeoutScale shortTimeouts;
    emulator_->InjectAtFault("AT+COPS=?", {modemsim::FaultKind::NoAnswer, "", 0, 500, -1});
    ASSERT_TRUE(Click(Item(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] { return CountAt("AT+COPS=?") == 2 && page_->m_bSearchRunning.load() == 0 &&
                                       IsEnabled(Item(IDC_NET_SEARCH)); }));
    EXPECT_EQ(Rows(Item(IDC_NET_OPERATOR_LIST)).size(), 1u);
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_OPERATOR_LIST)));
}

TEST_F(NetworkPageTest, WithoutAnAtPortEveryStepFails)
{
    emulator_->Unplug();
    std::vector<std::wstring> prompts;
    EXPECT_NE(Read(true, prompts), 0);
    EXPECT_EQ(ItemText(IDC_NET_APN_EDIT), L"");
    EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
}

// ---- what an apply decides on --------------------------------------------------------

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ApnWriteWaitsThreeSecondsBeforeItsReadBack)
{
    emulator_->SetImsi(kCarrierImsi);
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    TypeText(Item(IDC_NET_APN_EDIT), L"paused.apn");
    emulator_->ClearReceived();
    auto written = std::async(std::launch::async, [this] {
        const DWORD start = GetTickCount();
        const int status = page_->WriteApnFromPage();
        return std::make_pair(status, GetTickCount() - start);
    }).get();
    EXPECT_EQ(written.first, 0);
    EXPECT_GE(written.second, tooltest::AtLeastMs(3000));
    EXPECT_EQ(CountAt("AT+CGDCONT?"), 2u);  // the line to rebuild, then the read-back
    EXPECT_EQ(ContextApn(1), "paused.apn");
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, UserNameReadBackOtherThanWrittenFailsTheApnStep)
{
    ReadNonCarrier();
    SelectComboItem(Item(IDC_NET_AUTH_COMBO), NET_AUTH_INDEX_PAP);
    TypeText(Item(IDC_NET_USER_EDIT), L"bob");
    TypeText(Item(IDC_NET_PASSWORD_EDIT), L"pw");
    TypeText(Item(IDC_NET_APN_EDIT), L"auth.apn");
    // the type reads back as written, the name does not
    emulator_->InjectAtFault("AT$QCPDPP?",
                             {modemsim::FaultKind::Garbage, "\r\n$QCPDPP: 9,1,\"mallory\"\r\n\r\nOK\r\n", 0, 500, -1});
    emulator_->ClearReceived();
    EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
    EXPECT_EQ(CountAt("AT$QCPDPP="), 1u);
    EXPECT_EQ(CountAt("AT+CGDCONT="), 0u);
    EXPECT_EQ(ContextApn(1), "internet");
}
#endif

TEST_F(NetworkPageTest, FailedRoamingChangeKeepsTheOldFlagSoTheNextApplyTriesAgain)
{
    emulator_->SetImsi(kCarrierImsi);
    emulator_->SetRoaming(true);  // "Disable"
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    const BYTE before = page_->m_bRoamingEnabled.load();
    Click(Item(IDC_NET_ROAMING_ENABLE));
    {
        tooltest::ScopedTimeoutScale guard;  // the refused change is a timeout
        emulator_->InjectAtFault("AT+ZDATAROAM=", {modemsim::FaultKind::NoAnswer, "", 0, 500, -1});
        emulator_->ClearReceived();
        EXPECT_EQ(Apply(), std::vector<std::wstring>{Key(L"SET_FAILED_INFO")});
    }
    EXPECT_EQ(page_->m_bRoamingEnabled.load(), before);
    EXPECT_TRUE(emulator_->Roaming());

    emulator_->ClearFaults();
    emulator_->ClearReceived();
    EXPECT_EQ(Apply(), (std::vector<std::wstring>{Key(L"ID_ROAMING_ALERTINFO1"), Key(L"SET_SUCCESS_INFO")}));
    EXPECT_EQ(CountAt("AT+ZDATAROAM="), 1u);
    EXPECT_FALSE(emulator_->Roaming());
}

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, RoamingPromptIsOnlyForTheCarrierSim)
{
    emulator_->SetRoaming(true);
    ReadNonCarrier();
    Click(Item(IDC_NET_ROAMING_ENABLE));
    emulator_->ClearReceived();
    EXPECT_EQ(Apply(), (std::vector<std::wstring>{Key(L"SET_SUCCESS_INFO"), Key(L"ID_USRINFO_ALERTINFO1")}));
    EXPECT_EQ(CountAt("AT+ZDATAROAM="), 1u);
    EXPECT_FALSE(emulator_->Roaming());
}
#endif

#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, GroupIdentifierReadFailingCountsAsCarrier)
{
    emulator_->SetImsi("440209300000000");
    emulator_->SetGid1("32FF");  // not the carrier's when it can be read
    EXPECT_FALSE(page_->IsCarrierSim());
    tooltest::ScopedTimeoutScale guard;  // one case is a timeout
    for (const modemsim::Fault& fault : {modemsim::Fault{modemsim::FaultKind::Vanish, "vanish", 0, 500, 1},
                                         modemsim::Fault{modemsim::FaultKind::NoAnswer, "", 0, 500, -1},
                                         modemsim::Fault{modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1}}) {
        SCOPED_TRACE(fault.text);
        emulator_->ClearFaults();
        emulator_->InjectAtFault("AT+CRSM", fault);
        EXPECT_TRUE(page_->IsCarrierSim());
        emulator_->Replug();
    }
}
#endif

}  // namespace

namespace {

// Unsolicited lines before and inside every answer: the read shows the
// device's values and the APN splice sends one whole command per context.
#if defined(SETWELL_USER_AUTH)  // user authentication and the carrier SIM check
TEST_F(NetworkPageTest, ReadAndApplyKeepTheDeviceValuesAmidUnsolicitedLines)
{
    const std::pair<modemsim::FaultKind, const char*> traffic[] = {
        {modemsim::FaultKind::UnsolicitedBefore, ""},  // "+CREG: 1"
        {modemsim::FaultKind::UnsolicitedBefore, "\r\nRING\r\n"},
        {modemsim::FaultKind::UnsolicitedInside, ""},  // "RING"
        {modemsim::FaultKind::UnsolicitedInside, "\r\n+CREG: 1,\"00C3\",\"0010\"\r\n"},
    };
    for (const auto& [kind, text] : traffic) {
        SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + text);
        emulator_->ClearFaults();
        emulator_->SetNetworkSelect(6, 1);
        for (const auto& c : emulator_->PdpContexts())
            emulator_->DeletePdpContext(c.cid);
        emulator_->SetPdpContext({1, "IP", "corp.example", "0.0.0.0", 0, 0});
        emulator_->SetPdpContext({2, "IPV6", "ims", "::", 0, 0});
        emulator_->SetRoaming(true);
        emulator_->SetAuthProfile({1, "alice", "pw"});
        emulator_->InjectAtFault("", modemsim::Fault{kind, text, 0, 500, -1});
        ReadNonCarrier();
        EXPECT_TRUE(IsChecked(Item(IDC_NET_MODE_LTE)));
        EXPECT_TRUE(IsChecked(Item(IDC_NET_SELECTION_MANUAL)));
        EXPECT_EQ(ItemText(IDC_NET_APN_EDIT), L"corp.example");
        EXPECT_TRUE(IsChecked(Item(IDC_NET_ROAMING_DISABLE)));
        EXPECT_EQ(Selection(Item(IDC_NET_AUTH_COMBO)), NET_AUTH_INDEX_PAP);
        EXPECT_TRUE(WaitUntil([&] { return ItemText(IDC_NET_USER_EDIT) == L"alice"; }));

        emulator_->ClearReceived();
        TypeText(Item(IDC_NET_PASSWORD_EDIT), L"pw");
        TypeText(Item(IDC_NET_APN_EDIT), L"new.apn");
        EXPECT_EQ(Apply().front(), Key(L"SET_SUCCESS_INFO"));
        for (const auto& line : emulator_->AtLines())
            EXPECT_EQ(line.rfind("AT", 0), 0u) << line;
        EXPECT_EQ(CountAt("AT+CGDCONT=1,\"IP\",\"new.apn\",\"0.0.0.0\",0,0"), 1u);
        EXPECT_EQ(CountAt("AT+CGDCONT=9,\"IP\",\"new.apn\",\"0.0.0.0\",0,0"), 1u);
        EXPECT_EQ(ContextApn(1), "new.apn");
        EXPECT_EQ(ContextApn(2), "ims");
    }
}
#endif

// ---- tries and pauses ------------------------------------------------------

// Each wrapper opens the port and makes one try; a refused try costs a second
// of program time (the first-context read a second more), a good one none.
TEST_F(NetworkPageTest, EachWrapperMakesOneTryAndPausesAfterARefusal)
{
    using Page = CVX520ModemSettingNetworkSettingPage;
    const struct {
        const char* name;
        const char* command;  // the line the try sends
        std::function<int(Page&)> call;
        uint32_t pauseMs;
    } cases[] = {
        {"selection read", "AT+ZSNT?", [](Page& p) { int m = 1, s = 0; return p.QueryNetworkSelection(m, s); }, 1000},
        {"contexts read", "AT+CGDCONT?", [](Page& p) { PdpContextList l{}; return p.QueryContexts(l); }, 1000},
        {"first context line", "AT+CGDCONT?", [](Page& p) { std::vector<char> t(1024); return p.QueryFirstContextLine(t.data()); }, 1000},
        {"first context split", "AT+CGDCONT?",
         [](Page& p) { char h[256] = {}, t[300] = {}; return p.SplitFirstContextLine(h, sizeof h, t, sizeof t); }, 2000},
        {"roaming read", "AT+ZDATAROAM?", [](Page& p) { int v = 1; return p.QueryRoaming(v); }, 1000},
        {"selection write", "AT+ZSNT=", [](Page& p) { return p.SetNetworkSelection(0, 0); }, 1000},
        {"operator write", "AT+COPS=", [](Page& p) {
             OperatorList l{};
             l.count = 1;
             std::strcpy(l.entries[0].numeric, "44010");
             l.entries[0].accessTechnology = 7;
             return p.SelectOperator(l); }, 1000},
        {"roaming write", "AT+ZDATAROAM=", [](Page& p) { return p.SetRoamingSwitch(1); }, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->ClearFaults();
        emulator_->ClearReceived();
        emulator_->InjectAtFault("", {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1});
        const DWORD start = GetTickCount();
        EXPECT_NE(c.call(*page_), 0);
        const DWORD spent = GetTickCount() - start;
        EXPECT_GE(spent, tooltest::AtLeastMs(c.pauseMs));
        ASSERT_EQ(emulator_->AtLines().size(), 1u);
        EXPECT_EQ(emulator_->AtLines()[0].rfind(c.command, 0), 0u) << emulator_->AtLines()[0];
    }
    emulator_->ClearFaults();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " answered");
        emulator_->ClearReceived();
        c.call(*page_);
        EXPECT_EQ(CountAt(c.command), 1u);
    }
    // a lock query refused counts as unlocked, after the same pause
    for (const auto& query : {&Page::IsApnLocked, &Page::IsModeLocked, &Page::IsRoamingLocked}) {
        emulator_->ClearReceived();
        emulator_->InjectAtFault("", {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1});
        const DWORD start = GetTickCount();
        EXPECT_FALSE(((*page_).*query)());
        EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(1000));
        EXPECT_EQ(emulator_->AtLines().size(), 1u);
        emulator_->ClearFaults();
    }
}

// While a search runs its button is disabled (the watch thread keeps Read and
// Apply off by the running flag); both come back when it ends.
TEST_F(NetworkPageTest, SearchButtonIsDisabledWhileTheSearchRuns)
{
    emulator_->SetOperators({{1, "Alpha", "A", "44010", 7}});
    emulator_->SetNetworkSelect(0, 1);
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    Sleep(1100);  // past the debounce of an earlier search
    ASSERT_TRUE(IsEnabled(Item(IDC_NET_SEARCH)));
    // the scan answers after three real seconds
    emulator_->SetScanTimes(static_cast<uint32_t>(3000 / TimeScale()), 10);
    emulator_->ClearReceived();
    ASSERT_TRUE(Click(Item(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] { return CountAt("AT+COPS=?") == 1; }));
    EXPECT_FALSE(IsEnabled(Item(IDC_NET_SEARCH)));
    EXPECT_EQ(page_->m_bSearchRunning.load(), 1);
    ASSERT_TRUE(WaitUntil([&] { return page_->m_bSearchRunning.load() == 0; }, 30000));
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_SEARCH)));
    EXPECT_TRUE(IsEnabled(Item(IDC_NET_OPERATOR_LIST)));
    EXPECT_EQ(Rows(Item(IDC_NET_OPERATOR_LIST)).size(), 1u);
}

#if !defined(SETWELL_USER_AUTH)
// Without user authentication every SIM counts as the carrier's: the APN is
// one rebuilt first-context line, with no pause, read-back or context 9 after
// it; a refused line pauses a second and fails the step.
TEST_F(NetworkPageTest, ApnWriteIsOneLineWithoutReadBack)
{
    std::vector<std::wstring> prompts;
    Read(true, prompts);
    EXPECT_TRUE(page_->IsCarrierSim());
    TypeText(Item(IDC_NET_APN_EDIT), L"plain.apn");
    emulator_->ClearReceived();
    EXPECT_EQ(page_->WriteApnFromPage(), 0);
    EXPECT_EQ(CountAt("AT+CGDCONT?"), 1u);  // the line to rebuild
    EXPECT_EQ(CountAt("AT+CGDCONT=1,\"IP\",\"plain.apn\""), 1u);
    EXPECT_EQ(emulator_->AtLines().size(), 2u);
    EXPECT_EQ(ContextApn(1), "plain.apn");

    emulator_->ClearReceived();
    emulator_->InjectAtFault("AT+CGDCONT=", {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1});
    TypeText(Item(IDC_NET_APN_EDIT), L"refused.apn");
    const DWORD start = GetTickCount();
    EXPECT_EQ(page_->WriteApnFromPage(), 1);
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(1000));
    EXPECT_EQ(CountAt("AT+CGDCONT="), 1u);
    EXPECT_EQ(CountAt("AT+CIMI"), 0u);
    EXPECT_EQ(CountAt("AT$QCPDPP"), 0u);
    emulator_->ClearFaults();
}
#endif

}  // namespace
