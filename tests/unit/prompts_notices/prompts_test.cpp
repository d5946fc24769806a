#include <gtest/gtest.h>

#include <future>
#include <string>

#include "app/prompt_dialogs.h"
#include "platform/ui/test_driver.h"

using ui::test::Popup;

namespace {

// Shows a prompt on a worker thread, as the tools' workers do.
template <class Show>
std::future<void> FromWorker(Show show)
{
    return std::async(std::launch::async, show);
}

// The prompt as the user sees it (tests have no main window to own it).
std::optional<Popup> WaitForPrompt(UINT templateId)
{
    HWND dialog = ui::test::WaitForDialog(templateId);
    if (!dialog || !ui::test::WaitIdle(dialog))
        return std::nullopt;
    Popup p;
    p.hwnd = dialog;
    p.templateId = templateId;
    p.caption = ui::test::Text(dialog);
    p.text = ui::test::Text(ui::test::Control(dialog, IDC_PROMPT_TEXT));
    return p;
}

}  // namespace

TEST(Prompts, BothSizesShowFromAWorkerWithEmptyTexts)
{
    struct Case {
        void (*show)(const wchar_t*, const wchar_t*);
        UINT templateId;
    } cases[] = {{ShowPromptInfo, 103}, {ShowBigPromptInfo, 157}};
    for (const Case& c : cases) {
        auto done = FromWorker([&] { c.show(L"", L""); });
        std::optional<Popup> popup = WaitForPrompt(c.templateId);
        ASSERT_TRUE(popup.has_value());
        EXPECT_EQ(popup->caption, L"");
        EXPECT_EQ(popup->text, L"");
        HWND ok = ui::test::Control(popup->hwnd, IDOK);
        EXPECT_EQ(ui::test::Text(ok), L"OK");
        EXPECT_TRUE(ui::test::IsVisible(ok));
        EXPECT_EQ(done.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout) << "blocks the worker";
        EXPECT_TRUE(ui::test::Click(ok));
        done.get();
    }
}

TEST(Prompts, ShowCaptionAndTextAndCloseByOkEnterOrTheCloseBox)
{
    struct Case {
        const char* how;
        bool (*close)(HWND);
    } cases[] = {
        {"OK", [](HWND d) { return ui::test::Click(ui::test::Control(d, IDOK)); }},
        {"Enter", [](HWND d) { return ui::test::PressEnter(d); }},
        {"close box", [](HWND d) { return ui::test::PressCloseBox(d); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        auto done = FromWorker([] { ShowPromptInfo(L"Set successfully!", L"Attention"); });
        std::optional<Popup> popup = WaitForPrompt(IDD_PROMPT_INFO);
        ASSERT_TRUE(popup.has_value());
        EXPECT_EQ(popup->caption, L"Attention");
        EXPECT_EQ(popup->text, L"Set successfully!");
        EXPECT_TRUE(c.close(popup->hwnd));
        EXPECT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    }
}

TEST(TextConversions, WideToAnsiCountsBytes)
{
    struct Case {
        std::wstring wide;
        size_t room;
        std::string ansi;
    } cases[] = {
        {L"", 16, ""},
        {L"abc", 16, "abc"},
        {L"\u65e5\u672c\u8a9e", 16, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"},          // 3 characters, 9 bytes
        {L"PIN\u56de", 16, "PIN\xe5\x9b\x9e"},
        {L"\u65e5\u672c\u8a9e", 6, "\xe6\x97\xa5"},  // cut before a character that does not fit
        {L"abcdef", 4, "abc"},
    };
    for (const Case& c : cases) {
        std::string out(c.room + 4, '#');
        int n = WideToAnsi(c.wide.c_str(), out.data(), c.room);
        EXPECT_EQ(n, static_cast<int>(c.ansi.size()));
        EXPECT_EQ(std::string(out.c_str()), c.ansi);
        EXPECT_EQ(out.substr(c.room), "####") << "nothing past the room";
    }
}

TEST(TextConversions, AnsiToWideStringCountsCharacters)
{
    struct Case {
        const char* ansi;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"abc", L"abc"},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", L"\u65e5\u672c\u8a9e"},
        {"ID=12345", L"ID=12345"},
    };
    for (const Case& c : cases) {
        CString out(L"old text");
        EXPECT_EQ(AnsiToWideString(c.ansi, out), static_cast<int>(c.wide.size()));
        EXPECT_EQ(out, CString(c.wide));
    }
    CString out(L"old");
    EXPECT_EQ(AnsiToWideString(nullptr, out), 0);
    EXPECT_TRUE(out.IsEmpty());
}
