// The VX520 PIN pages inside a host dialog that records their page-switch
// posts, against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "device/at_ops_sim.h"
#include "device/port_manager.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/own_resources.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/pin_pages.h"

namespace fs = std::filesystem;
using namespace ui::test;
using modemsim::SimState;

namespace {

constexpr UINT IDD_TEST_HOST = 60149;
constexpr UINT WM_RUN_ON_UI = WM_APP + 7;

const ui::DialogTemplate kHost = {IDD_TEST_HOST, L"PIN page host", 320, 380, L"MS Shell Dlg", 8,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, {}};


// Stands in for the tool dialog: hosts one page and records WM_SWITCH_PIN_PAGE.
class CPinPageHost : public CDialog {
public:
    CPinPageHost() : CDialog(IDD_TEST_HOST) {}

    std::vector<std::pair<WPARAM, LPARAM>> Switches()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_switches;
    }

protected:
    LRESULT OnSwitchPinPage(WPARAM w, LPARAM l)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_switches.emplace_back(w, l);
        return 1;
    }
    LRESULT OnRunOnUi(WPARAM, LPARAM l)
    {
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
    }

    std::mutex m_lock;
    std::vector<std::pair<WPARAM, LPARAM>> m_switches;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPinPageHost, CDialog)
    ON_MESSAGE(WM_SWITCH_PIN_PAGE, &CPinPageHost::OnSwitchPinPage)
    ON_MESSAGE(WM_RUN_ON_UI, &CPinPageHost::OnRunOnUi)
END_MESSAGE_MAP()

struct Shown {
    UINT templateId;
    std::wstring text;
};

class PinPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("vx520-pin");
        place_.WriteLanguageFiles();
        UseLanguage(LANGUAGE_ENGLISH);
        emulator_ = place_.StartEmulator();
        ASSERT_EQ(portManager_.OpenATPort(), 0);
        hostWnd_ = hostRun_.Open(IDD_TEST_HOST);
        ASSERT_NE(hostWnd_, nullptr);
        host_ = hostRun_.dialog();
    }

    void TearDown() override
    {
        hostRun_.Close([this] {
            OnUi([this] {
                for (auto& page : pages_)
                    page->DestroyWindow();
            });
        });
        pages_.clear();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    void UseLanguage(BYTE flag) { place_.UseLanguage(flag); }

    // Page objects live until the fixture ends, as the dialog keeps them.
    template <class Page>
    Page& Make()
    {
        pages_.push_back(std::make_unique<Page>());
        return static_cast<Page&>(*pages_.back());
    }

    void OnUi(std::function<void()> fn) { SendMessage(hostWnd_, WM_RUN_ON_UI, 0, reinterpret_cast<LPARAM>(&fn)); }

    // Creates the page's window inside the host, shown, as the tab sheet does.
    void PutIn(CDialog* page, UINT templateId)
    {
        OnUi([&] {
            page->Create(templateId, host_);
            page->ShowWindow(SW_SHOW);
        });
        pageWnd_ = page->GetSafeHwnd();
        ASSERT_NE(pageWnd_, nullptr);
    }

    HWND Item(int id) { return Control(pageWnd_, id); }
    std::wstring ItemText(int id) { return Text(Item(id)); }
    static std::wstring Key(const wchar_t* key) { return std::wstring(ReadVX520String(key)); }

    // Runs an Apply routine as the Apply worker would; answers and returns its prompts.
    std::pair<int, std::vector<Shown>> Apply(std::function<int()> routine)
    {
        std::vector<Shown> shown;
        auto result = std::async(std::launch::async, std::move(routine));
        while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            if (auto popup = WaitForPopup(50)) {
                EXPECT_EQ(popup->caption, L"Attention");
                shown.push_back({popup->templateId, popup->text});
                ClosePopup(*popup);
            }
        }
        return {result.get(), shown};
    }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    CMarlPortManager portManager_;
    tooltest::ModalRun<CPinPageHost> hostRun_;
    CPinPageHost* host_ = nullptr;
    HWND hostWnd_ = nullptr;
    std::vector<std::unique_ptr<CDialog>> pages_;
    HWND pageWnd_ = nullptr;
};

const std::pair<UINT, std::wstring> Normal(const wchar_t* key) { return {IDD_PROMPT_INFO, key}; }
const std::pair<UINT, std::wstring> Tall(const wchar_t* key) { return {IDD_BIG_PROMPT_INFO, key}; }

void ExpectPrompts(const std::vector<Shown>& shown, const std::vector<std::pair<UINT, std::wstring>>& keys)
{
    ASSERT_EQ(shown.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(shown[i].templateId, keys[i].first) << i;
        EXPECT_EQ(shown[i].text, std::wstring(ReadVX520String(keys[i].second.c_str()))) << i;
    }
}

// ---- digit validators ----------------------------------------------------------

struct ValidatorCase {
    UINT page;
    int edit;
    std::wstring typed;
    std::vector<const wchar_t*> prompts;
    std::wstring left;
};

TEST_F(PinPagesTest, ValidatorsCutLongTextAndDropNonDigits)
{
    const ValidatorCase cases[] = {
        {IDD_VX520_PIN_ENTRY_PAGE, IDC_PIN_EDIT, L"12345", {L"PIN_LEN_ERROR"}, L"1234"},
        {IDD_VX520_PIN_ENTRY_PAGE, IDC_PIN_EDIT, L"12a4", {L"INVALID_CHARACTER"}, L"124"},
        {IDD_VX520_PIN_ENTRY_PAGE, IDC_PIN_EDIT, L"4321", {}, L"4321"},
        // cut to four first, then the letter goes
        {IDD_VX520_PIN_ENTRY_PAGE, IDC_PIN_EDIT, L"1a345", {L"PIN_LEN_ERROR", L"INVALID_CHARACTER"}, L"134"},
        {IDD_VX520_PUK_ENTRY_PAGE, IDC_PUK_EDIT, L"123456789", {L"PUK_LEN_ERROR"}, L"12345678"},
        {IDD_VX520_PUK_ENTRY_PAGE, IDC_PUK_EDIT, L"1234x678", {L"INVALID_CHARACTER"}, L"1234678"},
        {IDD_VX520_PUK_ENTRY_PAGE, IDC_PIN_EDIT, L"99999", {L"PIN_LEN_ERROR"}, L"9999"},
        {IDD_VX520_PUK_ENTRY_PAGE, IDC_PIN_CONFIRM_EDIT, L"1-", {L"INVALID_CHARACTER"}, L"1"},
        {IDD_VX520_MODIFY_PIN_PAGE, IDC_CURRENT_PIN_EDIT, L"9x", {L"INVALID_CHARACTER"}, L"9"},
        {IDD_VX520_MODIFY_PIN_PAGE, IDC_PIN_EDIT, L"123456", {L"PIN_LEN_ERROR"}, L"1234"},
        {IDD_VX520_MODIFY_PIN_PAGE, IDC_PIN_CONFIRM_EDIT, L"55555", {L"PIN_LEN_ERROR"}, L"5555"},
        {IDD_VX520_PIN_SETTING_PAGE, IDC_PIN_EDIT, L"x", {L"INVALID_CHARACTER"}, L""},
    };
    auto& pinPage = Make<CVX520ModemSettingToolPinPage>();
    auto& pukPage = Make<CVX520ModemSettingToolPUKPage>();
    auto& modifyPage = Make<CVX520ModemSettingModifyPinPage>();
    auto& settingPage = Make<CVX520ModemSettingPinSettingPage>();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()));
        CDialog* page = c.page == IDD_VX520_PIN_ENTRY_PAGE   ? static_cast<CDialog*>(&pinPage)
                        : c.page == IDD_VX520_PUK_ENTRY_PAGE ? static_cast<CDialog*>(&pukPage)
                        : c.page == IDD_VX520_MODIFY_PIN_PAGE ? static_cast<CDialog*>(&modifyPage)
                                                              : static_cast<CDialog*>(&settingPage);
        PutIn(page, c.page);
        HWND edit = Item(c.edit);
        // the PIN setting page's PIN edit is hidden and disabled: give it input as the program would
        if (c.page == IDD_VX520_PIN_SETTING_PAGE)
            OnUi([&] {
                page->GetDlgItem(c.edit)->ShowWindow(SW_SHOW);
                page->GetDlgItem(c.edit)->EnableWindow(TRUE);
            });
        ASSERT_TRUE(TypeText(edit, c.typed));
        for (const wchar_t* key : c.prompts) {
            auto popup = AnswerPopup();
            ASSERT_TRUE(popup.has_value()) << std::string(key, key + wcslen(key));
            EXPECT_EQ(popup->text, Key(key));
            EXPECT_EQ(popup->caption, Key(L"ATTENTION"));
        }
        ASSERT_TRUE(WaitIdle(edit));
        EXPECT_FALSE(WaitForPopup(200).has_value());
        EXPECT_EQ(Text(edit), c.left);
        OnUi([&] { page->DestroyWindow(); });
    }
}

// ---- PIN setting page ------------------------------------------------------------

TEST_F(PinPagesTest, PinSettingPageWithoutPortIsDisabledWithFixedThree)
{
    UseLanguage(LANGUAGE_JAPANESE);
    emulator_->Unplug();
    auto& page = Make<CVX520ModemSettingPinSettingPage>();
    page.m_nPinAttempts = 1;
    PutIn(&page, IDD_VX520_PIN_SETTING_PAGE);
    int result = -1;
    OnUi([&] { result = page.FillPinSettingPage(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"DISABLE"));
    EXPECT_EQ(Items(Item(IDC_PIN_CHOICE)), std::vector<std::wstring>{Key(L"ENABLE")});
    EXPECT_EQ(Selection(Item(IDC_PIN_CHOICE)), 0);
    EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"3回");
    EXPECT_EQ(ItemText(IDC_PIN_NOTICE), Key(L"NOTICE"));
    for (int id : {1412, 1413, 1414, 1420, 1416, 1421, 1417, 1419, 1415})
        EXPECT_FALSE(IsEnabled(Item(id))) << id;
    OnUi([&] { result = page.RefreshPinSettingPage(); });
    EXPECT_EQ(result, 1);
}

TEST_F(PinPagesTest, PinSettingPageShowsVerificationStateAndAttempts)
{
    struct Case {
        bool verification;
        const wchar_t* status;
        std::vector<const wchar_t*> items;
    };
    for (const Case& c : {Case{true, L"ENABLE", {L"DISABLE", L"MODIFY"}}, Case{false, L"DISABLE", {L"ENABLE"}}}) {
        SCOPED_TRACE(c.verification);
        emulator_->SetPinVerification(c.verification);
        auto& page = Make<CVX520ModemSettingPinSettingPage>();
        page.m_nPinAttempts = 2;
        PutIn(&page, IDD_VX520_PIN_SETTING_PAGE);
        int result = -1;
        OnUi([&] { result = page.FillPinSettingPage(); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(page.m_nPinVerificationState.load(), c.verification ? 1 : 0);
        EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(c.status));
        std::vector<std::wstring> items;
        for (const wchar_t* k : c.items)
            items.push_back(Key(k));
        EXPECT_EQ(Items(Item(IDC_PIN_CHOICE)), items);
        EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"2");  // the English file has no TIMES
        EXPECT_TRUE(IsEnabled(Item(IDC_PIN_STATUS)));
        // only the notice, the status label and the status edit are ever shown
        for (int id : {1412, 1413, 1414})
            EXPECT_TRUE(IsVisible(Item(id))) << id;
        for (int id : {1420, 1416, 1421, 1417, 1419, 1415})
            EXPECT_FALSE(IsVisible(Item(id))) << id;

        // refresh uses what was read and sends nothing
        emulator_->ClearReceived();
        page.m_nPinAttempts = 1;
        OnUi([&] { result = page.RefreshPinSettingPage(); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"1");
        EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(c.status));
        EXPECT_TRUE(emulator_->AtLines().empty());
        OnUi([&] { page.DestroyWindow(); });
    }
}

TEST_F(PinPagesTest, PinSettingPageWithoutSimIsDisabled)
{
    emulator_->SetSim(SimState::None);
    auto& page = Make<CVX520ModemSettingPinSettingPage>();
    PutIn(&page, IDD_VX520_PIN_SETTING_PAGE);
    int result = -1;
    OnUi([&] { result = page.FillPinSettingPage(); });
    char answer[SIM_ANSWER_ROOM];
    page.GetSimAnswer(answer, sizeof answer);
    ASSERT_NE(std::string(answer).find("sim not insert"), std::string::npos) << answer;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"DISABLE"));
    EXPECT_FALSE(IsEnabled(Item(IDC_PIN_STATUS)));
    OnUi([&] { result = page.RefreshPinSettingPage(); });
    EXPECT_EQ(result, 1);
}

TEST_F(PinPagesTest, PinSettingPageKeepsStatusWhenVerificationReadFails)
{
    // a busy SIM answers AT+CPIN? and refuses AT+CLCK
    emulator_->SetSim(SimState::Busy);
    auto& page = Make<CVX520ModemSettingPinSettingPage>();
    page.m_nPinAttempts = 2;
    PutIn(&page, IDD_VX520_PIN_SETTING_PAGE);
    int result = 0;
    OnUi([&] { result = page.FillPinSettingPage(); });
    EXPECT_EQ(CountAt("AT+CPIN?"), 1u);
    EXPECT_EQ(CountAt("AT+CLCK"), 1u);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(IsEnabled(Item(IDC_PIN_STATUS)));
    EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"2");
    // status and combo stay as the page's start left them
    EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"DISABLE"));
    EXPECT_EQ(Items(Item(IDC_PIN_CHOICE)), std::vector<std::wstring>{Key(L"ENABLE")});
}

TEST_F(PinPagesTest, PinSettingPageModifyChoiceAsksForTheChangePinPage)
{
    emulator_->SetPinVerification(true);
    auto& page = Make<CVX520ModemSettingPinSettingPage>();
    PutIn(&page, IDD_VX520_PIN_SETTING_PAGE);
    page.m_pDialogWnd = host_;
    OnUi([&] { page.FillPinSettingPage(); });
    // the combo is hidden in the template; the user reaches it in a dialog that shows it
    OnUi([&] { page.GetDlgItem(IDC_PIN_CHOICE)->ShowWindow(SW_SHOW); });
    ASSERT_TRUE(SelectComboItem(Item(IDC_PIN_CHOICE), 0));
    ASSERT_TRUE(SelectComboItem(Item(IDC_PIN_CHOICE), 1));
    ASSERT_TRUE(WaitIdle(hostWnd_));
    EXPECT_EQ(host_->Switches(), (std::vector<std::pair<WPARAM, LPARAM>>{{1, 1}}));
    EXPECT_EQ(CountAt("AT+CLCK=\"SC\",0") + CountAt("AT+CLCK=\"SC\",1"), 0u);
}

// ---- change-PIN page -------------------------------------------------------------

TEST_F(PinPagesTest, ChangePinPageFillsAndGoesBackOnDisable)
{
    UseLanguage(LANGUAGE_JAPANESE);
    auto& page = Make<CVX520ModemSettingModifyPinPage>();
    page.m_nPinAttempts = 2;
    PutIn(&page, IDD_VX520_MODIFY_PIN_PAGE);
    page.m_pDialogWnd = host_;
    int result = -1;
    OnUi([&] { result = page.FillModifyPinPage(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Items(Item(IDC_PIN_CHOICE)), (std::vector<std::wstring>{Key(L"DISABLE"), Key(L"MODIFY")}));
    EXPECT_EQ(Selection(Item(IDC_PIN_CHOICE)), 1);
    EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"PIN_REQUIRED"));
    EXPECT_EQ(ItemText(IDC_CURRENT_PIN_LABEL), Key(L"PIN_CODE"));
    EXPECT_EQ(ItemText(IDC_PIN_CODE_LABEL), Key(L"NEW_PIN"));
    EXPECT_EQ(ItemText(IDC_PIN_CONFIRM_LABEL), Key(L"CONFORM_PIN"));
    EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"2回");

    ASSERT_TRUE(SelectComboItem(Item(IDC_PIN_CHOICE), 1));
    ASSERT_TRUE(SelectComboItem(Item(IDC_PIN_CHOICE), 0));
    ASSERT_TRUE(WaitIdle(hostWnd_));
    EXPECT_EQ(host_->Switches(), (std::vector<std::pair<WPARAM, LPARAM>>{{1, 2}}));
    OnUi([&] { result = page.RefreshModifyPinPage(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Selection(Item(IDC_PIN_CHOICE)), 0);  // the user's choice stays
}

TEST_F(PinPagesTest, ChangePinOutcomes)
{
    struct Case {
        const char* name;
        std::wstring current, fresh, confirm;
        int pinLeftBefore;
        std::vector<std::pair<UINT, std::wstring>> prompts;
        int result;
        bool sent;
        std::string pinAfter;
        int pinLeftAfter;
        bool posted;
    };
    const Case cases[] = {
        {"short current", L"123", L"5678", L"5678", 3, {Normal(L"PIN_LEN_ERROR")}, 1, false, "1234", 3, true},
        {"short new", L"1234", L"56", L"56", 3, {Normal(L"PIN_LEN_ERROR")}, 1, false, "1234", 3, true},
        {"mismatch", L"1234", L"5678", L"5679", 3, {Normal(L"PIN_NOT_MATCH")}, 1, false, "1234", 3, true},
        {"wrong current", L"9999", L"5678", L"5678", 3, {Normal(L"WRONG_PIN")}, 1, true, "1234", 2, true},
        {"right", L"1234", L"5678", L"5678", 3, {Normal(L"OPERATE_SUCCESS")}, 0, true, "5678", 3, true},
        {"right after a miss", L"1234", L"5678", L"5678", 2, {Normal(L"OPERATE_SUCCESS")}, 0, true, "5678", 3, true},
        {"last try wrong", L"9999", L"5678", L"5678", 1, {Tall(L"WRONG_PIN_THREE_TIMES")}, 1, true, "1234", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->SetSim(SimState::Ready);
        emulator_->SetPinCodes("1234", "12345678");
        emulator_->SetPinCounters(c.pinLeftBefore, 10);
        emulator_->ClearReceived();
        auto& page = Make<CVX520ModemSettingModifyPinPage>();
        page.m_nPinAttempts = c.pinLeftBefore;
        PutIn(&page, IDD_VX520_MODIFY_PIN_PAGE);
        page.m_pDialogWnd = host_;
        OnUi([&] { page.FillModifyPinPage(); });
        size_t switchesBefore = host_->Switches().size();
        ASSERT_TRUE(TypeText(Item(IDC_CURRENT_PIN_EDIT), c.current));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), c.fresh));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_CONFIRM_EDIT), c.confirm));
        auto [result, shown] = Apply([&] { return page.ApplyModifyPin(); });
        EXPECT_EQ(result, c.result);
        ExpectPrompts(shown, c.prompts);
        EXPECT_EQ(CountAt("AT+CPWD"), c.sent ? 1u : 0u);
        EXPECT_EQ(emulator_->PinCode(), c.pinAfter);
        EXPECT_EQ(emulator_->PinCounters().first, c.pinLeftAfter);
        ASSERT_TRUE(WaitIdle(hostWnd_));
        auto switches = host_->Switches();
        std::vector<std::pair<WPARAM, LPARAM>> added(switches.begin() + static_cast<long>(switchesBefore),
                                                     switches.end());
        using Posts = std::vector<std::pair<WPARAM, LPARAM>>;
        const Posts expectedPosts = c.posted ? Posts{{0, 3}} : Posts{};
        EXPECT_EQ(added, expectedPosts);
        OnUi([&] { page.DestroyWindow(); });
    }
}

// ---- PIN entry page --------------------------------------------------------------

TEST_F(PinPagesTest, PinEntryPageFillsAttemptsWithTimes)
{
    for (BYTE language : {LANGUAGE_JAPANESE, LANGUAGE_ENGLISH}) {
        UseLanguage(language);
        auto& page = Make<CVX520ModemSettingToolPinPage>();
        page.m_nPinAttempts = 2;
        PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
        int fill = -1, refresh = -1;
        OnUi([&] { fill = page.FillPinEntryPage(); });
        EXPECT_EQ(fill, 1);
        EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"PIN_REQUIRED"));
        EXPECT_EQ(ItemText(IDC_PIN_CODE_LABEL), Key(L"PIN_CODE"));
        EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS_LABEL), Key(L"PIN_ATTEMPTS"));
        EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), language == LANGUAGE_JAPANESE ? L"2回" : L"2");
        page.m_nPinAttempts = 1;
        OnUi([&] { refresh = page.RefreshPinEntryPage(); });
        EXPECT_EQ(refresh, 0);
        EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), language == LANGUAGE_JAPANESE ? L"1回" : L"1");
        OnUi([&] { page.DestroyWindow(); });
    }
}

TEST_F(PinPagesTest, PinEntryShortPinSendsNothing)
{
    emulator_->SetSim(SimState::Pin);
    auto& page = Make<CVX520ModemSettingToolPinPage>();
    PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
    ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"123"));
    emulator_->ClearReceived();
    auto [result, shown] = Apply([&] { return page.ApplyPinEntry(); });
    EXPECT_EQ(result, 1);
    ExpectPrompts(shown, {Normal(L"PIN_LEN_ERROR")});
    EXPECT_TRUE(emulator_->AtLines().empty());
}

TEST_F(PinPagesTest, PinEntryRightPinUnlocksWithoutPrompt)
{
    emulator_->SetSim(SimState::Pin);
    auto& page = Make<CVX520ModemSettingToolPinPage>();
    PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
    ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"1234"));
    auto [result, shown] = Apply([&] { return page.ApplyPinEntry(); });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(emulator_->Sim(), SimState::Ready);
}

TEST_F(PinPagesTest, ThreeWrongPinsCountDownThenAskForPuk)
{
    emulator_->SetSim(SimState::Pin);
    auto& page = Make<CVX520ModemSettingToolPinPage>();
    PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
    const std::vector<std::pair<UINT, std::wstring>> expected[] = {
        {Normal(L"WRONG_PIN")}, {Normal(L"WRONG_PIN")}, {Tall(L"WRONG_PIN_THREE_TIMES")}};
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        page.m_nPinAttempts = emulator_->PinCounters().first;  // as the dialog's last read left it
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"0000"));
        auto [result, shown] = Apply([&] { return page.ApplyPinEntry(); });
        EXPECT_EQ(result, 1);
        ExpectPrompts(shown, expected[attempt]);
        EXPECT_EQ(emulator_->PinCounters().first, 2 - attempt);
    }
    EXPECT_EQ(emulator_->Sim(), SimState::Puk);
}

TEST_F(PinPagesTest, PinEntryWithUnreadableAttemptsTakesTheBlockedPrompt)
{
    emulator_->SetSim(SimState::Pin);
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = "\r\nERROR\r\n";
    fault.times = 3;
    emulator_->InjectAtFault("AT+ZPINPUK", fault);
    auto& page = Make<CVX520ModemSettingToolPinPage>();
    PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
    ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"0000"));
    auto [result, shown] = Apply([&] { return page.ApplyPinEntry(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(CountAt("AT+ZPINPUK"), 3u);
    ExpectPrompts(shown, {Tall(L"WRONG_PIN_THREE_TIMES")});
}

// ---- PUK entry page --------------------------------------------------------------

TEST_F(PinPagesTest, PukEntryPageFillsPukAttempts)
{
    UseLanguage(LANGUAGE_JAPANESE);
    auto& page = Make<CVX520ModemSettingToolPUKPage>();
    page.m_nPinAttempts = 0;
    page.m_nPukAttempts = 7;
    PutIn(&page, IDD_VX520_PUK_ENTRY_PAGE);
    int fill = -1;
    OnUi([&] { fill = page.FillPukEntryPage(); });
    EXPECT_EQ(fill, 1);
    EXPECT_EQ(ItemText(IDC_PIN_STATUS), Key(L"PUK_REQUIRED"));
    EXPECT_EQ(ItemText(IDC_PUK_CODE_LABEL), Key(L"PUK_CODE"));
    EXPECT_EQ(ItemText(IDC_PIN_CODE_LABEL), Key(L"NEW_PIN"));
    EXPECT_EQ(ItemText(IDC_PIN_ATTEMPTS), L"7回");
}

TEST_F(PinPagesTest, PukEntryOutcomes)
{
    struct Case {
        const char* name;
        std::wstring puk, fresh, confirm;
        std::vector<std::pair<UINT, std::wstring>> prompts;
        int result;
        bool sent;
        SimState simAfter;
        int pukLeftAfter;
    };
    const Case cases[] = {
        {"seven digits", L"1234567", L"4321", L"4321", {Normal(L"PUK_LEN_ERROR")}, 1, false, SimState::Puk, 10},
        {"short new PIN", L"12345678", L"432", L"432", {Normal(L"PIN_LEN_ERROR")}, 1, false, SimState::Puk, 10},
        {"mismatch", L"12345678", L"4321", L"4322", {Normal(L"PIN_NOT_MATCH")}, 1, false, SimState::Puk, 10},
        {"wrong PUK", L"87654321", L"4321", L"4321", {Normal(L"WRONG_PUK")}, 1, true, SimState::Puk, 9},
        {"right PUK", L"12345678", L"4321", L"4321", {}, 0, true, SimState::Ready, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->SetSim(SimState::Puk);
        emulator_->SetPinCodes("1234", "12345678");
        emulator_->SetPinCounters(0, 10);
        emulator_->ClearReceived();
        auto& page = Make<CVX520ModemSettingToolPUKPage>();
        page.m_nPinAttempts = 0;
        page.m_nPukAttempts = 10;
        PutIn(&page, IDD_VX520_PUK_ENTRY_PAGE);
        ASSERT_TRUE(TypeText(Item(IDC_PUK_EDIT), c.puk));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), c.fresh));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_CONFIRM_EDIT), c.confirm));
        auto [result, shown] = Apply([&] { return page.ApplyPukEntry(); });
        EXPECT_EQ(result, c.result);
        ExpectPrompts(shown, c.prompts);
        EXPECT_EQ(CountAt("AT+CPIN="), c.sent ? 1u : 0u);
        EXPECT_EQ(emulator_->Sim(), c.simAfter);
        EXPECT_EQ(emulator_->PinCounters().second, c.pukLeftAfter);
        if (c.simAfter == SimState::Ready) {
            EXPECT_EQ(emulator_->PinCode(), "4321");
        }
        OnUi([&] { page.DestroyWindow(); });
    }
}

// ---- refusals that used no try ------------------------------------------------------

TEST_F(PinPagesTest, RefusalThatUsedNoTryIsAFailedSettingNotAWrongCode)
{
    enum class Page { ModifyPin, PinEntry, PukEntry };
    struct Case {
        const char* name;
        Page page;
        SimState sim;
        const char* refused;  // command answered with the reply, or unplugged when empty
        const char* reply;
    };
    const Case cases[] = {
        {"change PIN not allowed", Page::ModifyPin, SimState::Ready, "AT+CPWD", "\r\n+CME ERROR: 3\r\n"},
        {"PIN entry not allowed", Page::PinEntry, SimState::Pin, "AT+CPIN=", "\r\n+CME ERROR: 3\r\n"},
        {"PUK entry not allowed", Page::PukEntry, SimState::Puk, "AT+CPIN=", "\r\n+CME ERROR: 3\r\n"},
        {"PUK entry without a port", Page::PukEntry, SimState::Puk, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->ClearFaults();
        emulator_->Replug();
        emulator_->SetSim(c.sim);
        emulator_->SetPinCodes("1234", "12345678");
        emulator_->SetPinCounters(c.sim == SimState::Puk ? 0 : 3, 10);
        std::function<int()> apply;
        switch (c.page) {
        case Page::ModifyPin: {
            auto& page = Make<CVX520ModemSettingModifyPinPage>();
            page.m_nPinAttempts = 3;
            PutIn(&page, IDD_VX520_MODIFY_PIN_PAGE);
            page.m_pDialogWnd = host_;
            ASSERT_TRUE(TypeText(Item(IDC_CURRENT_PIN_EDIT), L"1234"));
            apply = [&page] { return page.ApplyModifyPin(); };
            break;
        }
        case Page::PinEntry: {
            auto& page = Make<CVX520ModemSettingToolPinPage>();
            page.m_nPinAttempts = 3;
            PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
            apply = [&page] { return page.ApplyPinEntry(); };
            break;
        }
        case Page::PukEntry: {
            auto& page = Make<CVX520ModemSettingToolPUKPage>();
            page.m_nPinAttempts = 0;
            page.m_nPukAttempts = 10;
            PutIn(&page, IDD_VX520_PUK_ENTRY_PAGE);
            ASSERT_TRUE(TypeText(Item(IDC_PUK_EDIT), L"12345678"));
            apply = [&page] { return page.ApplyPukEntry(); };
            break;
        }
        }
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), c.page == Page::PinEntry ? L"1234" : L"5678"));
        if (c.page != Page::PinEntry) {
            ASSERT_TRUE(TypeText(Item(IDC_PIN_CONFIRM_EDIT), L"5678"));
        }
        if (*c.refused)
            emulator_->InjectAtFault(c.refused, {modemsim::FaultKind::Garbage, c.reply, 0, 500, -1});
        else
            emulator_->Unplug();
        auto [result, shown] = Apply(apply);
        EXPECT_EQ(result, 1);
        ExpectPrompts(shown, {Normal(L"SET_FAILED_INFO")});
        EXPECT_EQ(emulator_->PinCounters(), (std::pair<int, int>{c.sim == SimState::Puk ? 0 : 3, 10}));
    }
}

// ---- SIM failure page ------------------------------------------------------------

TEST_F(PinPagesTest, SimFailurePageInBothLanguages)
{
    for (BYTE language : {LANGUAGE_JAPANESE, LANGUAGE_ENGLISH}) {
        UseLanguage(language);
        auto& page = Make<CVX520ModemSettingToolPinFail>();
        PutIn(&page, IDD_VX520_SIM_FAIL_PAGE);
        OnUi([&] { page.FillSimFailurePage(); });
        EXPECT_EQ(ItemText(IDC_SIM_FAIL1), Key(L"SIM_FAIL1"));
        EXPECT_EQ(ItemText(IDC_SIM_FAIL2), Key(L"SIM_FAIL2"));
        EXPECT_FALSE(ItemText(IDC_SIM_FAIL1).empty());
        OnUi([&] { page.DestroyWindow(); });
    }
    UseLanguage(LANGUAGE_ENGLISH);
    EXPECT_EQ(Key(L"SIM_FAIL1"), L"No USIM or USIM card invalid!");
}

// ---- the pause before the attempts are read -----------------------------------

// A refused code is judged by the attempts the device reports a second after
// it: the prompt comes no sooner.
TEST_F(PinPagesTest, AttemptsAreReadASecondAfterARefusedCode)
{
    // program time from the start of routine to its prompt, which it answers
    auto untilPrompt = [&](std::function<int()> routine, const wchar_t* key) {
        const DWORD start = GetTickCount();
        auto result = std::async(std::launch::async, std::move(routine));
        auto popup = WaitForPopup(60000);
        const DWORD spent = GetTickCount() - start;
        EXPECT_TRUE(popup) << "no prompt";
        if (popup) {
            EXPECT_EQ(popup->text, Key(key));
            EXPECT_EQ(popup->caption, L"Attention");
            ClosePopup(*popup);
        }
        EXPECT_EQ(result.get(), 1);
        return spent;
    };
    {
        SCOPED_TRACE("PIN entry");
        emulator_->SetSim(SimState::Pin);
        auto& page = Make<CVX520ModemSettingToolPinPage>();
        PutIn(&page, IDD_VX520_PIN_ENTRY_PAGE);
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"0000"));
        emulator_->ClearReceived();
        EXPECT_GE(untilPrompt([&] { return page.ApplyPinEntry(); }, L"WRONG_PIN"), tooltest::AtLeastMs(1000));
        EXPECT_EQ(CountAt("AT+ZPINPUK"), 1u);
        OnUi([&] { page.DestroyWindow(); });
    }
    {
        SCOPED_TRACE("PUK entry");
        emulator_->SetSim(SimState::Puk);
        emulator_->SetPinCodes("1234", "12345678");
        emulator_->SetPinCounters(0, 10);
        auto& page = Make<CVX520ModemSettingToolPUKPage>();
        page.m_nPinAttempts = 0;
        page.m_nPukAttempts = 10;
        PutIn(&page, IDD_VX520_PUK_ENTRY_PAGE);
        ASSERT_TRUE(TypeText(Item(IDC_PUK_EDIT), L"87654321"));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_EDIT), L"4321"));
        ASSERT_TRUE(TypeText(Item(IDC_PIN_CONFIRM_EDIT), L"4321"));
        emulator_->ClearReceived();
        EXPECT_GE(untilPrompt([&] { return page.ApplyPukEntry(); }, L"WRONG_PUK"), tooltest::AtLeastMs(1000));
        EXPECT_EQ(CountAt("AT+ZPINPUK"), 1u);
        OnUi([&] { page.DestroyWindow(); });
    }
}

}  // namespace

UI_TEMPLATE_FILE(vx520_pin_test_host, {&kHost}, {});
