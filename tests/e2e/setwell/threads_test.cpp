// The VX520 tool's threads against the user: the language menu keeps what was
// typed, the inputs a worker reads are off while it runs, an unplugged modem
// ends a Read at its first port search, and the PIN tab's workers.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "device/device_lock.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "tests/e2e/setwell/setwell_fixture.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/pin_pages.h"
#include "tools/vx520/vx520_dialog.h"

using namespace ui::test;
using modemsim::SimState;

namespace {

constexpr const char* kWatchFound = "Search NMEA Port SUCCESS!";
constexpr const char* kPortSearchFailed = "KESTLE: OpenATPort Search ATPort Fail!";

class SetwellThreadsTest : public setwelltest::SetwellToolTest {
protected:
    // Opens the tool and waits until the watch thread's first pass has ended.
    void OpenToolPastFirstPass()
    {
        hwnd_ = tool_.Open(IDD_VX520_MODEM_SETTING);
        ASSERT_NE(hwnd_, nullptr);
        dialog_ = tool_.dialog();
        ASSERT_TRUE(WatchCycles(2));
    }

    // Waits until the watch thread has found the port n more times.
    bool WatchCycles(size_t n)
    {
        const size_t seen = capture_.Count(kWatchFound);
        return WaitUntil([&] { return capture_.Count(kWatchFound) >= seen + n; });
    }

    // Presses Read or Apply once no worker runs and a watch pass has enabled it
    // since (this tool's watch keeps its own loop, without the pass count).
    bool Press(int id)
    {
        if (!WaitUntil([&] { return !dialog_->WorkerRunning(); }, 60000) || !WatchCycles(1))
            return false;
        return WaitUntil([&] { return IsEnabled(Item(id)); }) && Click(Item(id));
    }

    // The PIN tab selected, its page shown and the watch's PIN refresh done.
    // Manual selection with a short scan of these operators, the tool open
    // past its first read and the Search button on.
    void OpenToolReadyToSearch(const std::vector<modemsim::Operator>& operators)
    {
        emulator_->SetOperators(operators);
        emulator_->SetScanTimes(10, 10);
        emulator_->SetNetworkSelect(0, 1);
        ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
        ASSERT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"internet"; }));
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(NetItem(IDC_NET_SEARCH)) && IsEnabled(Item(IDC_VX520_READ)); }));
    }

    void OpenPinTab(UINT page)
    {
        ASSERT_TRUE(SelectTab(Tab(), 1));
        ASSERT_TRUE(PinPageShown(page));
        ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinRefreshFlag.load() == 0; }));
        ASSERT_TRUE(PageReadsOver());
    }

    // The PIN tab showing that page; the change-PIN page is reached from the
    // PIN setting page, as MODIFY in its combo does.
    void ShowPinPage(UINT page)
    {
        if (page != IDD_VX520_MODIFY_PIN_PAGE) {
            ASSERT_NO_FATAL_FAILURE(OpenPinTab(page));
            return;
        }
        ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_SETTING_PAGE));
        ASSERT_TRUE(PostMessage(hwnd_, WM_SWITCH_PIN_PAGE, 1, 1));
        ASSERT_TRUE(PageReadsOver());
        ASSERT_TRUE(PinPageShown(page));
    }

    // before the tool opens, so that it sees every line of the watch
    DebugCapture capture_;
};

}  // namespace

// The language menu refreshes the texts of the PIN page on display and nothing
// else: the digits typed stay, and so does the page.
TEST_F(SetwellThreadsTest, LanguageMenuOnAPinPageKeepsTheTypedDigitsAndThePage)
{
    struct Case {
        const char* name;
        SimState sim;
        UINT page;
        int edit;
        const wchar_t* typed;
    } cases[] = {
        {"PUK page", SimState::Puk, IDD_VX520_PUK_ENTRY_PAGE, IDC_PUK_EDIT, L"1234567"},
        {"change-PIN page", SimState::Ready, IDD_VX520_MODIFY_PIN_PAGE, IDC_CURRENT_PIN_EDIT, L"12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!emulator_)
            StartEmulator(c.sim);
        emulator_->SetSim(c.sim);
        ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
        ASSERT_NO_FATAL_FAILURE(ShowPinPage(c.page));
        ASSERT_TRUE(TypeText(FindControl(c.page, c.edit), c.typed));
        ASSERT_TRUE(WaitIdle(hwnd_));
        const std::wstring notice = Text(FindControl(c.page, IDC_PIN_NOTICE));

        ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
        EXPECT_TRUE(WaitUntil([&] {
            std::wstring now = Text(FindControl(c.page, IDC_PIN_NOTICE));
            return !now.empty() && now != notice;
        }));
        // a few watch passes later nothing has re-read the SIM or put the page in again
        ASSERT_TRUE(WatchCycles(3));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_TRUE(PinPageShown(c.page));
        EXPECT_EQ(Text(FindControl(c.page, c.edit)), c.typed);
        EXPECT_EQ(Selection(Tab()), 1);
        EXPECT_EQ(Text(hwnd_), L"Modem Setting Tool for K415NQ");
        tool_.Close();
    }
}

// The language menu does not wait for a worker: the window answers while an
// Apply is held on its prompt.
TEST_F(SetwellThreadsTest, LanguageMenuDuringAnApplyDoesNotWaitForTheWorker)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"internet"; }));
    ASSERT_TRUE(Press(IDC_VX520_APPLY));
    auto popup = WaitForPopup(60000);
    ASSERT_TRUE(popup.has_value());
    // the worker waits on its prompt; the menu is handled all the same
    ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
    EXPECT_TRUE(WaitUntil([&] { return Text(hwnd_) == L"Modem Setting Tool for K415NQ"; }, 5000));
    EXPECT_TRUE(dialog_->WorkerRunning());
    ClosePopup(*popup);
    while (AnswerPopup(1000)) {
    }
}

// Search pressed while an Apply runs finds the button off: the list and the
// chosen operator stay, and the operator is sent.
TEST_F(SetwellThreadsTest, SearchDuringApplyIsRefusedAndTheOperatorIsStillSent)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolReadyToSearch({{1, "Alpha", "A", "44010", 7}, {1, "Beta", "B", "44020", 2}}));
    ASSERT_TRUE(Click(NetItem(IDC_NET_SEARCH)));
    ASSERT_TRUE(WaitUntil([&] {
        // the search's thread has ended, not only its work: an Apply is refused while it runs
        return Rows(NetItem(IDC_NET_OPERATOR_LIST)).size() == 2 && dialog_->m_pNetworkPage->m_nSearchThreads == 0;
    }));
    ASSERT_TRUE(SelectListRow(NetItem(IDC_NET_OPERATOR_LIST), 1));
    ASSERT_TRUE(WaitIdle(hwnd_));
    Sleep(1100);  // past the search's one-second guard
    // the Apply's first exchange answers a real second late, so that it is still at work
    emulator_->InjectAtFault("AT+CIMI", {modemsim::FaultKind::Slow, "", static_cast<uint32_t>(1000 / TimeScale()), 500, 1});
    emulator_->ClearReceived();
    ASSERT_TRUE(Press(IDC_VX520_APPLY));
    ASSERT_TRUE(WaitIdle(hwnd_));
    EXPECT_FALSE(Click(NetItem(IDC_NET_SEARCH)));
    EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_APN_EDIT)));
    EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_SELECTION_AUTO)));
    EXPECT_TRUE(AnswerUntil(L"設定に成功しました。"));
    while (AnswerPopup(1000)) {
    }
    EXPECT_EQ(CountAt("AT+COPS=?"), 0u);
    EXPECT_EQ(emulator_->SelectedOperator().first, "44020");
    // the inputs come back once the worker has ended
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(NetItem(IDC_NET_SEARCH)) && IsEnabled(NetItem(IDC_NET_APN_EDIT)); }));
}

// The tab change to the network tab while a search holds the device: the
// handler returns without waiting for the device and the page's read comes
// once the search has let go, showing what the device holds by then.
TEST_F(SetwellThreadsTest, NetworkTabReadWaitsForASearchThatHoldsTheDevice)
{
    StartEmulator();
    emulator_->SetOperators({{1, "Alpha", "A", "44010", 7}});
    emulator_->SetScanTimes(10, 10);
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"internet"; }));
    // the PIN page's own refresh (which reads the device on the UI thread) is over
    ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_SETTING_PAGE));
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinPageReady.load() == 1; }));
    CVX520ModemSettingNetworkSettingPage* page = dialog_->m_pNetworkPage;
    {
        // this thread holds the device, so the search's exchange waits for it
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        // the network page is hidden behind the PIN tab: its button as a message
        ASSERT_TRUE(page->PostMessage(WM_COMMAND, MAKEWPARAM(IDC_NET_SEARCH, BN_CLICKED), 0));
        ASSERT_TRUE(WaitUntil([&] { return page->m_nSearchThreads.load() > 0; }));
        emulator_->ClearReceived();
        modemsim::PdpContext later;
        later.cid = 1;
        later.type = "IP";
        later.apn = "later.apn";
        emulator_->SetPdpContext(later);
        // handled while the device stays held: the read was put off
        ASSERT_TRUE(SelectTab(Tab(), 0));
        EXPECT_EQ(Selection(Tab()), 0);
        EXPECT_TRUE(IsVisible(FindDialog(IDD_VX520_NETWORK_PAGE)));
        EXPECT_EQ(CountAt("AT+ZSNT?"), 0u);
        EXPECT_GT(page->m_nSearchThreads.load(), 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return page->m_nSearchThreads.load() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"later.apn"; }));
    EXPECT_GE(CountAt("AT+COPS=?"), 1u);
    EXPECT_GE(CountAt("AT+ZSNT?"), 1u);
    while (AnswerPopup(300)) {
    }
}

// Read and Apply go off at the press of Search and stay off through a round
// trip to the PIN tab and back (the watch would enable them on the PIN tab),
// so a click on them meanwhile is refused where the user sees it; they come
// back once the search has ended.
TEST_F(SetwellThreadsTest, ReadAndApplyStayOffThroughATabRoundTripDuringASearch)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolReadyToSearch({{1, "Alpha", "A", "44010", 7}}));
    CVX520ModemSettingNetworkSettingPage* page = dialog_->m_pNetworkPage;
    {
        // the search's exchange waits for this thread to let the device go
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        ASSERT_TRUE(Click(NetItem(IDC_NET_SEARCH)));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
        ASSERT_TRUE(SelectTab(Tab(), 1));
        ASSERT_TRUE(WaitIdle(hwnd_));
        // a watch pass on the PIN tab, as far as it gets: it may as well be
        // waiting for the device this thread holds
        WatchCycles(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
        EXPECT_FALSE(Click(Item(IDC_VX520_APPLY)));
        ASSERT_TRUE(SelectTab(Tab(), 0));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
        EXPECT_FALSE(Click(Item(IDC_VX520_READ)));
        EXPECT_GT(page->m_nSearchThreads.load(), 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return page->m_nSearchThreads.load() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_VX520_READ)) && IsEnabled(Item(IDC_VX520_APPLY)); }));
    EXPECT_FALSE(dialog_->WorkerRunning());
    while (AnswerPopup(300)) {
    }
}

// English from the menu while a search holds the device: the menu returns at
// once with the captions in English; the authentication texts, which ask the
// SIM, come once the search has let go.
TEST_F(SetwellThreadsTest, LanguageSwitchDuringASearchDoesNotWaitForTheDevice)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolReadyToSearch({{1, "Alpha", "A", "44010", 7}}));
    CVX520ModemSettingNetworkSettingPage* page = dialog_->m_pNetworkPage;
    const std::wstring english = g_strWorkFolder + L"/" + kEnglishLanguageFile;
    {
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        ASSERT_TRUE(Click(NetItem(IDC_NET_SEARCH)));
        ASSERT_TRUE(WaitIdle(hwnd_));
        emulator_->ClearReceived();
        ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
        // handled while the device stays held
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_EQ(Text(NetItem(IDC_NET_SEARCH)),
                  std::wstring(ReadLanguageString(kVX520Section, L"NETWORK_SELECTION_SEARCH", english)));
        EXPECT_EQ(CountAt("AT+CIMI"), 0u);
        EXPECT_GT(page->m_nSearchThreads.load(), 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return page->m_nSearchThreads.load() == 0; }));
    // the SIM is asked whose it is for the texts
    EXPECT_TRUE(WaitUntil([&] { return CountAt("AT+CIMI") >= 1; }));
    while (AnswerPopup(300)) {
    }
}

// A PIN page switch (as the watch or a PIN worker asks for) swaps the page
// at once and fills it from the device beside the UI thread: the window
// answers while the device is busy elsewhere, the tabs are off meanwhile,
// and the fill comes once the device is free.
TEST_F(SetwellThreadsTest, PinPageSwitchFillsThePageOffTheUiThread)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_SETTING_PAGE));
    {
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        emulator_->ClearReceived();
        ASSERT_TRUE(PostMessage(hwnd_, WM_SWITCH_PIN_PAGE, 1, 2));
        // handled while the device stays held
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_TRUE(dialog_->PageReadRunning());
        EXPECT_FALSE(IsEnabled(Tab()));
        EXPECT_EQ(CountAt("AT+CPIN?"), 0u);
    }
    EXPECT_TRUE(PageReadsOver());
    EXPECT_GE(CountAt("AT+CPIN?"), 1u);
    EXPECT_TRUE(IsEnabled(Tab()));
    EXPECT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
}

// A Read pressed just before a page read held the buttons (its click already
// queued) is carried out once the read is over, not dropped.
TEST_F(SetwellThreadsTest, ReadPressedAsAPageReadStartsComesAfterIt)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_SETTING_PAGE));
    {
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        emulator_->ClearReceived();
        ASSERT_TRUE(SelectTab(Tab(), 0));
        ASSERT_TRUE(WaitIdle(hwnd_));
        ASSERT_TRUE(dialog_->PageReadRunning());
        // the click as it comes from the queue, past the disabled button
        ASSERT_TRUE(PostMessage(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_VX520_READ, BN_CLICKED), 0));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_FALSE(dialog_->WorkerRunning());
    }
    // the page's read, then the Read's own
    EXPECT_TRUE(WaitUntil([&] { return CountAt("AT+CGDCONT?") >= 2; }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return !dialog_->WorkerRunning() && !dialog_->PageReadRunning(); }, 30000));
    while (AnswerPopup(300)) {
    }
}

// An APN changed to a refused text after the last check still meets the
// check when the worker reads it, and nothing of it is sent.
TEST_F(SetwellThreadsTest, ApplyChecksTheApnItReadsWhole)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"internet"; }));
    CVX520ModemSettingNetworkSettingPage* page = dialog_->m_pNetworkPage;
    PdpContextEntry entry{};
    ASSERT_TRUE(WaitIdle(hwnd_));
    // as a change whose notification has not been handled yet
    page->SetDlgItemText(IDC_NET_APN_EDIT, L"bad\"apn");
    page->m_bApnValid = 1;
    EXPECT_EQ(page->ReadApnFromPage(entry), NET_APN_REFUSED);
    EXPECT_EQ(CountAt("AT+CGDCONT=1"), 0u);
    EXPECT_EQ(page->m_bApnValid.load(), 0);
    while (AnswerPopup(300)) {
    }
}

// The modem goes at the start of a Read: the worker searches for the port once
// and skips the remaining steps instead of searching again for each.
TEST_F(SetwellThreadsTest, UnplugAtTheStartOfAReadEndsAfterOnePortSearch)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    emulator_->SetRestartMs(100000000);
    modemsim::Fault vanish;
    vanish.kind = modemsim::FaultKind::Vanish;
    emulator_->InjectAtFault("AT+ZSNT?", vanish);
    const size_t before = capture_.Count(kPortSearchFailed);
    ASSERT_TRUE(Press(IDC_VX520_READ));
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->WorkerRunning(); }, 120000));
    const size_t searches = capture_.Count(kPortSearchFailed) - before;
    // one search is 300 listings
    EXPECT_GE(searches, 1u);
    EXPECT_LE(searches, 300u);
    // the next press searches again
    emulator_->Replug();
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_VX520_READ)); }, 60000));
}

// Read while the SIM asks for its PIN: the worker leaves the SIM alone; only
// the watch thread it restarts asks for the state, once.
TEST_F(SetwellThreadsTest, ReadWhileTheSimAsksForItsPinSendsNoPinQueryFromTheWorker)
{
    StartEmulator(SimState::Pin);
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_ENTRY_PAGE));
    ASSERT_TRUE(WatchCycles(1));
    emulator_->ClearReceived();
    ASSERT_TRUE(Press(IDC_VX520_READ));
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->WorkerRunning(); }));
    ASSERT_TRUE(WatchCycles(3));
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinRefreshFlag.load() == 0; }));
    EXPECT_EQ(CountAt("AT+CPIN?"), 1u);
    EXPECT_FALSE(WaitForPopup(300).has_value());
}

// Apply on the PIN tab through the dialog: the SIM takes the codes and the page
// of its new state comes after the watch thread starts again.
TEST_F(SetwellThreadsTest, ApplyOnThePinTabChangesTheSimAndThePage)
{
    struct Case {
        const char* name;
        SimState sim;
        UINT page;
        std::vector<std::pair<int, std::wstring>> typed;
        const wchar_t* prompt;  // nullptr: none
        std::string pinAfter;
        UINT pageAfter;
    } cases[] = {
        {"PIN entry", SimState::Pin, IDD_VX520_PIN_ENTRY_PAGE, {{IDC_PIN_EDIT, L"1234"}}, nullptr, "1234",
         IDD_VX520_PIN_SETTING_PAGE},
        {"PUK entry", SimState::Puk, IDD_VX520_PUK_ENTRY_PAGE,
         {{IDC_PUK_EDIT, L"12345678"}, {IDC_PIN_EDIT, L"4321"}, {IDC_PIN_CONFIRM_EDIT, L"4321"}}, nullptr, "4321",
         IDD_VX520_PIN_SETTING_PAGE},
        {"change PIN", SimState::Ready, IDD_VX520_MODIFY_PIN_PAGE,
         {{IDC_CURRENT_PIN_EDIT, L"1234"}, {IDC_PIN_EDIT, L"5678"}, {IDC_PIN_CONFIRM_EDIT, L"5678"}},
         L"", "5678", IDD_VX520_MODIFY_PIN_PAGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!emulator_)
            StartEmulator(c.sim);
        emulator_->SetSim(c.sim);
        emulator_->SetPinCodes("1234", "12345678");
        emulator_->SetPinCounters(c.sim == SimState::Puk ? 0 : 3, 10);
        ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
        ASSERT_NO_FATAL_FAILURE(ShowPinPage(c.page));
        for (const auto& [edit, text] : c.typed)
            ASSERT_TRUE(TypeText(FindControl(c.page, edit), text));
        ASSERT_TRUE(WaitIdle(hwnd_));
        ASSERT_TRUE(Press(IDC_VX520_APPLY));
        if (c.prompt) {
            auto popup = WaitForPopup(60000);
            ASSERT_TRUE(popup.has_value());
            EXPECT_EQ(popup->templateId, IDD_PROMPT_INFO);
            EXPECT_FALSE(popup->text.empty());
            ClosePopup(*popup);
        } else {
            EXPECT_FALSE(WaitForPopup(300).has_value());
        }
        ASSERT_TRUE(WaitUntil([&] { return !dialog_->WorkerRunning(); }));
        EXPECT_EQ(emulator_->Sim(), SimState::Ready);
        EXPECT_EQ(emulator_->PinCode(), c.pinAfter);
        EXPECT_TRUE(PinPageShown(c.pageAfter));
        EXPECT_EQ(Selection(Tab()), 1);
        tool_.Close();
    }
}

// The modem goes and comes back while the PIN tab is current: the buttons
// follow it and the page of the SIM's state is put in again.
TEST_F(SetwellThreadsTest, UnplugAndReplugWhileThePinTabIsCurrent)
{
    StartEmulator(SimState::Pin);
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_NO_FATAL_FAILURE(OpenPinTab(IDD_VX520_PIN_ENTRY_PAGE));
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_VX520_READ)); }));
    emulator_->Unplug();
    EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(Item(IDC_VX520_READ)) && !IsEnabled(Item(IDC_VX520_APPLY)); }));
    // without a device the PIN tab shows the PIN setting page
    EXPECT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    emulator_->SetSim(SimState::Puk);
    emulator_->SetPinCounters(0, 10);
    emulator_->Replug();
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_VX520_READ)) && IsEnabled(Item(IDC_VX520_APPLY)); }));
    EXPECT_TRUE(PinPageShown(IDD_VX520_PUK_ENTRY_PAGE));
    EXPECT_EQ(Selection(Tab()), 1);
}
