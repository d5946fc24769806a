// The carrier APN page inside a stand-in parent dialog, against the emulator's
// PDP contexts, in the headless back end.
#include <gtest/gtest.h>
#include <optional>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "platform/win/named_mutex.h"
#include "tests/support/tool_test_env.h"
#include "tests/support/timeout_scale.h"
#include "tools/carriersetting/apn_page.h"

using namespace ui::test;

#if defined(__SANITIZE_THREAD__)
// The refusal ends the process with its threads still running, as the tool
// does; the thread sanitizer would call that a leak and change the exit code.
extern "C" const char* __tsan_default_options() { return "report_thread_leaks=0"; }
#endif

namespace {

constexpr UINT IDD_APN_HOST = 60139;
constexpr UINT WM_HOST_CALL = WM_APP + 23;

const ui::DialogTemplate kHostTemplate = {IDD_APN_HOST, L"apn host", 320, 230, L"MS Shell Dlg", 8,
                                          WS_POPUP | WS_CAPTION | WS_SYSMENU, {}};
const ui::TemplateFile kHostFile({&kHostTemplate}, {});

std::wstring Key(const wchar_t* key) { return std::wstring(ReadModemSettingString(key)); }

// The modem setting dialog's place: holds the page and runs calls on the UI thread.
class CApnHost : public CDialog {
public:
    CApnHost() : CDialog(IDD_APN_HOST) {}

protected:
    LRESULT OnHostCall(WPARAM, LPARAM l)
    {
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CApnHost, CDialog)
    ON_MESSAGE(WM_HOST_CALL, &CApnHost::OnHostCall)
END_MESSAGE_MAP()

struct Row {
    std::wstring apn;
    int ipType;
};

class ApnPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("apn-page");
        place_.WriteResource(IDR_LANGUAGE_ENGLISH, "lan_eng_cfg.ini");
        g_strLanguageFilePath = g_strWorkFolder + L"/" + kEnglishLanguageFile;
        emulator_ = place_.StartEmulator();
        for (const auto& c : emulator_->PdpContexts())
            emulator_->DeletePdpContext(c.cid);

        hostWnd_ = hostRun_.Open(IDD_APN_HOST);
        ASSERT_NE(hostWnd_, nullptr);
        page_ = std::make_unique<CMarlModemSettingAPNPage>();
        OnUi([this] {
            page_->Create(IDD_MARL_APN_PAGE, hostRun_.dialog());
            page_->ShowWindow(SW_SHOW);
            page_->FillIpTypeCombos();
        });
        pageWnd_ = page_->GetSafeHwnd();
        ASSERT_NE(pageWnd_, nullptr);
    }

    void TearDown() override
    {
        hostRun_.Close([this] { OnUi([this] { page_->DestroyWindow(); }); });
        // the page keeps its single-instance handle for the life of the process
        CloseHandle(page_->m_hMutex);
        page_.reset();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    void OnUi(std::function<void()> fn) { SendMessage(hostWnd_, WM_HOST_CALL, 0, reinterpret_cast<LPARAM>(&fn)); }

    // Runs a routine as the dialog's worker would; answers every message box
    // (the routine's and the validation's) and returns their texts.
    int AsWorker(std::function<int()> routine, std::vector<std::wstring>& boxes)
    {
        auto result = std::async(std::launch::async, routine);
        while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            AnswerBox(boxes, 20);
        while (AnswerBox(boxes, 50)) {
        }
        return result.get();
    }
    bool AnswerBox(std::vector<std::wstring>& boxes, DWORD timeoutMs)
    {
        auto popup = WaitForPopup(timeoutMs);
        if (!popup)
            return false;
        EXPECT_TRUE(popup->messageBox);
        EXPECT_EQ(popup->caption, Key(L"TITLE"));
        EXPECT_EQ(popup->type & 0xF0u, static_cast<UINT>(MB_ICONINFORMATION));
        boxes.push_back(popup->text);
        ClosePopup(*popup);
        return true;
    }
    int Read(std::vector<std::wstring>& boxes)
    {
        return AsWorker([this] { return page_->ReadAPNList(); }, boxes);
    }
    int Write(std::vector<std::wstring>& boxes)
    {
        return AsWorker([this] { return page_->WriteAPNList(); }, boxes);
    }

    // Types into a row's edit as a user would; the message boxes it raises.
    std::vector<std::wstring> Type(int row, const std::wstring& text)
    {
        std::vector<std::wstring> boxes;
        // the input counts as handled once its handler ends or a box it shows waits
        EXPECT_TRUE(TypeText(Edit(row), text));
        // a closed box lets the handler go on, perhaps to its next box; the UI
        // thread takes the idle probe only in the loop that follows, so a box
        // is up by then or none comes
        for (int i = 0; i < 2 * APN_MAX_CHARS && WaitIdle(pageWnd_) && AnswerBox(boxes, 0); ++i) {
        }
        return boxes;
    }
    void SetRows(const std::vector<Row>& rows)
    {
        for (size_t i = 0; i < rows.size(); ++i) {
            int row = static_cast<int>(i) + 1;
            EXPECT_TRUE(Type(row, rows[i].apn).empty()) << row;
            EXPECT_TRUE(SelectComboItem(Combo(row), rows[i].ipType)) << row;
        }
    }

    HWND Edit(int row) { return Control(pageWnd_, ApnRowEditId(row)); }
    HWND Combo(int row) { return Control(pageWnd_, ApnRowComboId(row)); }
    std::vector<std::string> SetLines()
    {
        std::vector<std::string> out;
        for (const auto& line : emulator_->AtLines())
            if (line.rfind("AT+CGDCONT=", 0) == 0)
                out.push_back(line);
        return out;
    }
    size_t CountAt(const std::string& line)
    {
        size_t n = 0;
        for (const auto& l : emulator_->AtLines())
            n += l == line ? 1 : 0;
        return n;
    }
    std::vector<modemsim::PdpContext> ContextsOnDevice() { return emulator_->PdpContexts(); }
    void FailAt(const std::string& prefix)
    {
        modemsim::Fault fault;
        // an ERROR reply counts as done for reads and sets: only silence fails every try
        fault.kind = modemsim::FaultKind::NoAnswer;
        fault.times = -1;
        emulator_->InjectAtFault(prefix, fault);
        // the timeouts are what the test waits for
        if (!shortTimeouts_)
            shortTimeouts_.emplace();
    }

    std::optional<tooltest::ScopedTimeoutScale> shortTimeouts_;
    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<CApnHost> hostRun_;
    HWND hostWnd_ = nullptr;
    std::unique_ptr<CMarlModemSettingAPNPage> page_;
    HWND pageWnd_ = nullptr;
};

// ---- start ----------------------------------------------------------------

TEST_F(ApnPageTest, StartShowsHeadersCombosAndMasksTheFirstRow)
{
    EXPECT_EQ(Text(Control(pageWnd_, IDC_APN_HEADER_CID)), L"CID");
    EXPECT_EQ(Text(Control(pageWnd_, IDC_APN_HEADER_NAME)), L"APN Name");
    EXPECT_EQ(Text(Control(pageWnd_, IDC_APN_HEADER_IPTYPE)), L"IP Type");
    EXPECT_EQ(Text(hostWnd_), L"Modem setting tool");

    const std::wstring none = Key(L"STATIC_INFO_NONE");
    EXPECT_EQ(Items(Combo(0)), (std::vector<std::wstring>{L"IPv4", L"IPv6", L"IPv4v6", none}));
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        if (row > 0) {
            EXPECT_EQ(Items(Combo(row)), (std::vector<std::wstring>{L"IPv4", L"IPv6", none})) << row;
        }
        EXPECT_EQ(Selection(Combo(row)), 0) << row;
        EXPECT_EQ(Text(Control(pageWnd_, ApnRowLabelId(row))), std::to_wstring(row + 1)) << row;
        EXPECT_EQ(IsEnabled(Edit(row)), row != 0) << row;
        EXPECT_EQ(IsEnabled(Combo(row)), row != 0) << row;
    }
    auto* first = static_cast<CEdit*>(page_->GetDlgItem(IDC_APN_ROW0_EDIT));
    EXPECT_EQ(first->GetPasswordChar(), L'\u25CF');
    // filling twice keeps the items once
    OnUi([this] { page_->FillIpTypeCombos(); });
    EXPECT_EQ(Items(Combo(1)).size(), 3u);
}

TEST_F(ApnPageTest, SecondPageInTheProcessMeetsTheRefusalAndEndsIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto* second = new CMarlModemSettingAPNPage();
            auto created = std::async(std::launch::async, [&] {
                OnUi([&] { second->Create(IDD_MARL_APN_PAGE, hostRun_.dialog()); });
            });
            auto box = WaitForPopup();
            if (!box || box->text != L"The program has been running. Cannot open it again!" ||
                box->caption != L"Modem setting tool")
                std::_Exit(4);
            ClosePopup(*box);
            // the refusal ends the process; the page must not come up instead
            std::this_thread::sleep_for(std::chrono::seconds(30));
            std::_Exit(5);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ApnPageTest, PdpTypeTextsAndComboIndices)
{
    const struct {
        const wchar_t* text;
        int first, later;
    } cases[] = {{L"IP", 0, 0},     {L"ip", 0, 0},     {L"IPV6", 1, 1}, {L"ipv6", 1, 1},
                 {L"IPV4V6", 2, 2}, {L"PPP", 3, 2},    {L"", 3, 2},     {L"IPV4", 3, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(ApnIpTypeIndexFromText(c.text, true), c.first) << c.text;
        EXPECT_EQ(ApnIpTypeIndexFromText(c.text, false), c.later) << c.text;
    }
    EXPECT_STREQ(ApnPdpTypeFromIndex(0), "IP");
    EXPECT_STREQ(ApnPdpTypeFromIndex(1), "IPV6");
    for (int index : {2, 3, -1})
        EXPECT_STREQ(ApnPdpTypeFromIndex(index), "") << index;
}

// ---- typing -----------------------------------------------------------------

TEST_F(ApnPageTest, TypedTextIsCorrectedOneFaultAtATime)
{
    const std::wstring invalid = Key(L"INVALID_CHARACTER");
    const struct {
        std::wstring typed;
        std::vector<std::wstring> boxes;
        std::wstring shown;
    } cases[] = {
        {L"ab_c", {invalid}, L"abc"},
        {L"Corp-1.example", {}, L"Corp-1.example"},
        // an edit takes what a context holds; the rest of a paste is dropped
        {std::wstring(25, L'a'), {}, std::wstring(25, L'a')},
        {std::wstring(100, L'b'), {}, std::wstring(100, L'b')},
        {std::wstring(101, L'b'), {}, std::wstring(100, L'b')},
        // characters outside printable ASCII first, the forbidden set after
        {L"a b.example\u20ACx", {invalid, invalid}, L"ab.examplex"},
        {L"\u3042" + std::wstring(21, L'c') + L"_", {invalid, invalid}, std::wstring(21, L'c')},
        {L"a,,b", {invalid, invalid}, L"ab"},
        // control characters would end or split the AT command
        {L"apn\r\n", {invalid, invalid}, L"apn"},
        {L"a\tb", {invalid}, L"ab"},
        {L"del\x7f", {invalid}, L"del"},
        {L"a;b\x01", {invalid, invalid}, L"ab"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Type(3, c.typed), c.boxes) << std::string(c.typed.begin(), c.typed.end());
        EXPECT_EQ(Text(Edit(3)), c.shown);
    }
}

TEST_F(ApnPageTest, EveryForbiddenCharacterIsRefused)
{
    const std::wstring forbidden = L"+*/`~!@=#$%^&()_{}[]|\\<>,? \"':;";
    ASSERT_EQ(forbidden.size(), 31u);
    const std::wstring invalid = Key(L"INVALID_CHARACTER");
    for (wchar_t ch : forbidden + L"\u00E9\u0080\u25CF") {
        std::wstring typed = L"in" + std::wstring(1, ch) + L"ternet";
        EXPECT_EQ(Type(2, typed), std::vector<std::wstring>{invalid}) << static_cast<int>(ch);
        EXPECT_EQ(Text(Edit(2)), L"internet") << static_cast<int>(ch);
    }
}

TEST_F(ApnPageTest, LongPasteOfForbiddenCharactersIsRefusedOneCheckEach)
{
    for (int row = 0; row < APN_ROW_COUNT; ++row)
        EXPECT_EQ(static_cast<CEdit*>(page_->GetDlgItem(ApnRowEditId(row)))->GetLimitText(), 100u) << row;
    // the edit keeps the first 100; each refusal checks the text again
    const auto boxes = Type(4, std::wstring(4000, L'_'));
    EXPECT_EQ(boxes, std::vector<std::wstring>(100, Key(L"INVALID_CHARACTER")));
    EXPECT_EQ(Text(Edit(4)), L"");
}

TEST_F(ApnPageTest, TextSetBeyondTheRoomOfAContextIsCut)
{
    EXPECT_EQ(Key(L"MAX_62_INFO"), L"Please input no more than 100 characters.");
    std::vector<std::wstring> boxes;
    AsWorker(
        [this] {
            page_->SetDlgItemText(ApnRowEditId(5), CString(std::wstring(150, L'x').c_str()));
            return 0;
        },
        boxes);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Please input no more than 100 characters."});
    EXPECT_EQ(Text(Edit(5)), std::wstring(100, L'x'));
}

TEST_F(ApnPageTest, CorrectionPutsTheCaretAtTheEndAndFocusesTheEdit)
{
    SetFocusTo(Edit(1));
    EXPECT_EQ(Type(3, L"abc_defg").size(), 1u);
    EXPECT_EQ(Text(Edit(3)), L"abcdefg");
    int start = -1, end = -1;
    static_cast<CEdit*>(page_->GetDlgItem(ApnRowEditId(3)))->GetSel(start, end);
    EXPECT_EQ(start, 7);
    EXPECT_EQ(end, 7);
    HWND focus = FocusOf(hostWnd_);
    EXPECT_EQ(focus, Edit(3));
}

// ---- reading ----------------------------------------------------------------

TEST_F(ApnPageTest, ReadShowsContextsOneToTenInTheirRows)
{
    SetRows({{L"stale", 0}, {L"stale", 1}, {L"stale", 0}});
    for (const modemsim::PdpContext& c : std::vector<modemsim::PdpContext>{
             {1, "IPV4V6", "carrier.apn"}, {2, "IPV4V6", "two"}, {3, "IP", "three"}, {5, "IPV6", "five"},
             {10, "PPP", "ten"}, {11, "IP", "eleven"}, {16, "IP", "sixteen"}})
        emulator_->SetPdpContext(c);
    emulator_->ClearReceived();

    std::vector<std::wstring> boxes;
    EXPECT_EQ(Read(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Read APN Successfully!"});
    EXPECT_EQ(CountAt("AT+CGDCONT?"), 1u);

    const std::pair<std::wstring, int> expected[APN_ROW_COUNT] = {
        {L"carrier.apn", 2}, {L"two", 2}, {L"three", 0}, {L"", 2}, {L"five", 1},
        {L"", 2},            {L"", 2},    {L"", 2},      {L"", 2}, {L"ten", 2}};
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        EXPECT_EQ(Text(Edit(row)), expected[row].first) << row;
        EXPECT_EQ(Selection(Combo(row)), expected[row].second) << row;
    }

}

TEST_F(ApnPageTest, WriteSendsOnlyTheRowsTheUserChangedSinceTheRead)
{
    const std::vector<modemsim::PdpContext> device = {
        {1, "IPV4V6", "carrier.apn"}, {2, "IPV4V6", "two"}, {3, "IP", "three"},
        {4, "IP", "an.apn.much.longer.than.twenty.characters"}, {5, "IPV6", "five"}, {10, "PPP", "ten"}};
    for (const auto& c : device)
        emulator_->SetPdpContext(c);
    std::vector<std::wstring> boxes;
    ASSERT_EQ(Read(boxes), 0);

    // nothing edited: nothing sent, the device as it was
    emulator_->ClearReceived();
    boxes.clear();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Successfully!"});
    EXPECT_TRUE(SetLines().empty());
    auto Same = [](const modemsim::PdpContext& a, const modemsim::PdpContext& b) {
        return a.cid == b.cid && a.type == b.type && a.apn == b.apn;
    };
    auto left = ContextsOnDevice();
    ASSERT_EQ(left.size(), device.size());
    for (size_t i = 0; i < device.size(); ++i)
        EXPECT_TRUE(Same(left[i], device[i])) << device[i].cid;

    // one row edited: that row alone; the IPv4v6 context shown as None survives
    EXPECT_TRUE(Type(2, L"three.new").empty());
    emulator_->ClearReceived();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(SetLines(), std::vector<std::string>{"AT+CGDCONT=3,\"IP\",\"three.new\""});
    left = ContextsOnDevice();
    ASSERT_EQ(left.size(), device.size());
    EXPECT_TRUE(Same(left[1], device[1]));
    EXPECT_TRUE(Same(left[3], device[3]));

    // a new APN in a row whose type the combo cannot show keeps the device's type;
    // an emptied row is deleted
    ASSERT_EQ(Read(boxes), 0);
    EXPECT_EQ(Selection(Combo(1)), APN_IPTYPE_NONE);
    EXPECT_TRUE(Type(1, L"two.new").empty());
    EXPECT_TRUE(Type(9, L"").empty());
    emulator_->ClearReceived();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(SetLines(), (std::vector<std::string>{"AT+CGDCONT=2,\"IPV4V6\",\"two.new\"", "AT+CGDCONT=10"}));
    left = ContextsOnDevice();
    ASSERT_EQ(left.size(), device.size() - 1);
    EXPECT_EQ(left[1].type, "IPV4V6");
    EXPECT_EQ(left[1].apn, "two.new");
}

TEST_F(ApnPageTest, PageJustOpenedWritesOnlyWhatTheUserFilled)
{
    emulator_->SetPdpContext({4, "IP", "unseen"});
    std::vector<std::wstring> boxes;
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Successfully!"});
    EXPECT_TRUE(SetLines().empty());
    // an IP type picked for an empty row is still no change
    EXPECT_TRUE(SelectComboItem(Combo(5), APN_IPTYPE_IPV6));
    EXPECT_TRUE(Type(6, L"seven").empty());
    emulator_->ClearReceived();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(SetLines(), std::vector<std::string>{"AT+CGDCONT=7,\"IP\",\"seven\""});
    EXPECT_EQ(ContextsOnDevice().front().apn, "unseen");
}

TEST_F(ApnPageTest, FirstContextOfAnUnknownTypeShowsNoneInEitherCombo)
{
    const struct {
        std::vector<modemsim::PdpContext> contexts;
        int row, index;
    } cases[] = {
        {{{1, "PPP", "first"}, {2, "PPP", "second"}}, 0, 3},
        {{{1, "PPP", "first"}, {2, "PPP", "second"}}, 1, 2},
        // no CID 1: the first context of the list still lands on a None its row has
        {{{4, "PPP", "four"}}, 3, 2},
    };
    for (const auto& c : cases) {
        for (const auto& old : ContextsOnDevice())
            emulator_->DeletePdpContext(old.cid);
        for (const auto& context : c.contexts)
            emulator_->SetPdpContext(context);
        std::vector<std::wstring> boxes;
        EXPECT_EQ(Read(boxes), 0);
        EXPECT_EQ(Selection(Combo(c.row)), c.index) << c.row;
    }
}

TEST_F(ApnPageTest, EmptyDeviceListClearsEveryRow)
{
    SetRows({{L"old", 0}, {L"old", 1}});
    DebugCapture capture;
    std::vector<std::wstring> boxes;
    EXPECT_EQ(Read(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Read APN Successfully!"});
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        EXPECT_EQ(Text(Edit(row)), L"") << row;
        EXPECT_EQ(Selection(Combo(row)), row == 0 ? 3 : 2) << row;
    }
}

TEST_F(ApnPageTest, ReadWithoutAnAtPortFailsAndLeavesTheRowsCleared)
{
    emulator_->SetPdpContext({2, "IP", "two"});
    SetRows({{L"typed", 1}});
    emulator_->Unplug();
    emulator_->ClearReceived();
    std::vector<std::wstring> boxes;
    EXPECT_NE(Read(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Read APN Failed!"});
    EXPECT_TRUE(emulator_->AtLines().empty());
    EXPECT_EQ(Text(Edit(1)), L"");
    EXPECT_EQ(Selection(Combo(1)), 2);
    EXPECT_EQ(Selection(Combo(0)), 3);
}

TEST_F(ApnPageTest, ReadApnThatBreaksTheRulesIsCorrectedInTheRow)
{
    emulator_->SetPdpContext({1, "IP", "first_apn"});
    emulator_->SetPdpContext({2, "IP", "an.apn.longer.than.twenty"});
    std::vector<std::wstring> boxes;
    EXPECT_EQ(Read(boxes), 0);
    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Invalid character!", L"Read APN Successfully!"}));
    EXPECT_EQ(Text(Edit(0)), L"firstapn");
    // a device APN fits its edit whole
    EXPECT_EQ(Text(Edit(1)), L"an.apn.longer.than.twenty");
}

// ---- writing ----------------------------------------------------------------

TEST_F(ApnPageTest, WriteSetsOrDeletesRowsTwoToTenWithTheExactLines)
{
    emulator_->SetPdpContext({1, "IP", "keep.me"});
    emulator_->SetPdpContext({4, "IP", "cleared"});
    emulator_->SetPdpContext({5, "IP", "goes"});
    std::vector<std::wstring> boxes;
    ASSERT_EQ(Read(boxes), 0);
    OnUi([this] { page_->SetDlgItemText(IDC_APN_ROW0_EDIT, L"not.written"); });
    SetRows({{L"one.apn", 0}, {L"Two-v6", 1}, {L"", 0}, {L"goes", 2}});
    emulator_->ClearReceived();

    boxes.clear();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Successfully!"});
    EXPECT_EQ(SetLines(), (std::vector<std::string>{"AT+CGDCONT=2,\"IP\",\"one.apn\"",
                                                    "AT+CGDCONT=3,\"IPV6\",\"Two-v6\"", "AT+CGDCONT=4",
                                                    "AT+CGDCONT=5"}));
    auto contexts = ContextsOnDevice();
    ASSERT_EQ(contexts.size(), 3u);
    EXPECT_EQ(contexts[0].apn, "keep.me");
    EXPECT_EQ(contexts[1].cid, 2);
    EXPECT_EQ(contexts[1].type, "IP");
    EXPECT_EQ(contexts[1].apn, "one.apn");
    EXPECT_EQ(contexts[2].cid, 3);
    EXPECT_EQ(contexts[2].type, "IPV6");
}

TEST_F(ApnPageTest, AllReadRowsEmptiedMeansNineDeletes)
{
    for (int cid = 2; cid <= 10; ++cid)
        emulator_->SetPdpContext({cid, "IP", "apn" + std::to_string(cid)});
    std::vector<std::wstring> boxes;
    ASSERT_EQ(Read(boxes), 0);
    for (int row = 1; row < APN_ROW_COUNT; ++row)
        EXPECT_TRUE(Type(row, L"").empty());
    emulator_->ClearReceived();
    boxes.clear();
    EXPECT_EQ(Write(boxes), 0);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Successfully!"});
    std::vector<std::string> expected;
    for (int cid = 2; cid <= 10; ++cid)
        expected.push_back("AT+CGDCONT=" + std::to_string(cid));
    EXPECT_EQ(SetLines(), expected);
}

TEST_F(ApnPageTest, RefusedDeleteIsGivenUpAfterThreeTriesAndTheOtherRowsAreStillWritten)
{
    emulator_->SetPdpContext({4, "IP", "four"});
    emulator_->SetPdpContext({10, "IP", "ten"});
    std::vector<std::wstring> boxes;
    ASSERT_EQ(Read(boxes), 0);
    SetRows({{L"two", 0}, {L"three", 1}, {L"", 0}});
    EXPECT_TRUE(Type(9, L"").empty());
    FailAt("AT+CGDCONT=4");
    emulator_->ClearReceived();
    boxes.clear();
    EXPECT_EQ(Write(boxes), 1);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Failed!"});
    EXPECT_EQ(CountAt("AT+CGDCONT=4"), 3u);
    EXPECT_EQ(CountAt("AT+CGDCONT=10"), 1u);
    auto contexts = ContextsOnDevice();
    ASSERT_EQ(contexts.size(), 3u);
    EXPECT_EQ(contexts[0].apn, "two");
    EXPECT_EQ(contexts[1].type, "IPV6");
    EXPECT_EQ(contexts[2].apn, "four");  // nothing undone, nothing read back
}

TEST_F(ApnPageTest, WriteWithoutAnAtPortFailsEveryRowWithoutSending)
{
    SetRows({{L"two", 0}});
    emulator_->Unplug();
    emulator_->ClearReceived();
    std::vector<std::wstring> boxes;
    EXPECT_EQ(Write(boxes), 1);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Write APN Failed!"});
    EXPECT_TRUE(SetLines().empty());
}

// Each device routine: the port opened once, up to its tries of one command,
// a second of program time after every refused try (the last included).
TEST_F(ApnPageTest, DeviceRoutinesTryTheirCountsASecondApart)
{
    using Page = CMarlModemSettingAPNPage;
    const struct {
        const char* name;
        const char* command;
        std::function<int(Page&)> call;
        size_t tries;
    } routines[] = {
        {"read", "AT+CGDCONT?", [](Page& p) { PdpContextList l{}; return p.ReadPdpContexts(l); }, 3},
        {"write", "AT+CGDCONT=2,\"IP\",\"tried\"",
         [](Page& p) {
             PdpContextEntry e{};
             e.cid = 2;
             std::snprintf(e.pdpType, sizeof e.pdpType, "IP");
             std::snprintf(e.apn, sizeof e.apn, "tried");
             return p.WritePdpContext(e);
         }, 5},
        {"delete", "AT+CGDCONT=3", [](Page& p) { return p.DeletePdpContext(3); }, 3},
    };
    for (const auto& r : routines) {
        // refused every time, then refused all but the last try
        for (const int refusals : {-1, static_cast<int>(r.tries) - 1}) {
            SCOPED_TRACE(std::string(r.name) + ", refusals " + std::to_string(refusals));
            emulator_->ClearFaults();
            emulator_->ClearReceived();
            emulator_->InjectAtFault(r.command, {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, refusals});
            const DWORD start = GetTickCount();
            const int result = r.call(*page_);
            const DWORD spent = GetTickCount() - start;
            EXPECT_EQ(result == 0, refusals != -1) << result;
            EXPECT_EQ(CountAt(r.command), r.tries);
            EXPECT_EQ(emulator_->AtLines().size(), r.tries);
            const size_t pauses = refusals == -1 ? r.tries : r.tries - 1;
            EXPECT_GE(spent, tooltest::AtLeastMs(static_cast<uint32_t>(pauses * 1000)));
        }
    }
    emulator_->ClearFaults();
}

}  // namespace
