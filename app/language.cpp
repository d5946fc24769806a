#include "app/language.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/app_paths.h"
#include "app/prompt_dialogs.h"
#include "platform/win/code_page.h"
#include "platform/win/folders.h"
#include "platform/win/own_resources.h"
#include "platform/win/profile_reader.h"

UI_USE_TEMPLATE_FILE(menus);

namespace {

// Shown when the language file itself could not be written, so that its own
// text for the failure is missing too.
constexpr const wchar_t* kReadFileFailFallback = L"Read %s fail!";

// The file name goes in for the first "%s" only: the text comes from a file
// and is never used as a format.
CString WithFileName(const CString& text, const wchar_t* fileName)
{
    std::wstring s = text.str();
    size_t at = s.find(L"%s");
    if (at != std::wstring::npos)
        s.replace(at, 2, fileName ? fileName : L"");
    return CString(s);
}

// Reads only a regular file, never through a link; a directory or an
// unreadable entry simply differs, so no read error leaves here.
bool SameContents(const std::string& path, const unsigned char* data, size_t size)
{
    // O_NONBLOCK: a FIFO in the file's place must not hold the start-up
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) == size;
    std::string contents(same ? size : 0, '\0');
    for (size_t done = 0; same && done < size;) {
        ssize_t n = read(fd, contents.data() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        same = n > 0;
        done += same ? static_cast<size_t>(n) : 0;
    }
    close(fd);
    return same && (size == 0 || std::memcmp(contents.data(), data, size) == 0);
}

// A fresh file for the new contents: made here, 0600, never through a link. A
// leftover of an earlier run (or a link planted in its place) is removed first.
int CreateFreshFile(const std::string& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        unlink(path.c_str());
    }
    return -1;
}

bool WriteResource(UINT resourceId, const std::wstring& path)
{
    const OwnResource* resource = FindOwnResource("TOOLS", static_cast<int>(resourceId));
    const unsigned char* data = resource ? reinterpret_cast<const unsigned char*>(resource->data) : nullptr;
    const size_t size = resource && data ? resource->size : 0;
    const std::string target = WideToUtf8(path);
    // another thread may be reading this very file: leave an equal one alone
    if (SameContents(target, data, size))
        return true;
    const std::string fresh = target + ".new";
    int fd = CreateFreshFile(fresh);
    if (fd < 0)
        return false;
    bool written = size == 0 || WriteAll(fd, data, size);
    if (close(fd) != 0)
        written = false;
    if (!written || std::rename(fresh.c_str(), target.c_str()) != 0) {
        unlink(fresh.c_str());
        return false;
    }
    return true;
}

}  // namespace

CString ReadLanguageString(const wchar_t* section, const wchar_t* key, const std::wstring& path)
{
    wchar_t buffer[LANGUAGE_TEXT_ROOM] = {};
    DWORD n = GetPrivateProfileStringW(section, key, L"", buffer, LANGUAGE_TEXT_ROOM, path.c_str());
    return n ? CString(buffer) : CString();
}

BOOL ReleaseLanguageFile(CLanguageOwner* dialog, UINT resourceId, const wchar_t* fileName)
{
    if (!dialog || !fileName)
        return FALSE;
    if (WriteResource(resourceId, dialog->m_strWorkFolder + L"/" + fileName))
        return TRUE;
    CString text = dialog->ReadOwnString(L"READ_FILE_FAIL");
    if (text.IsEmpty())
        text = kReadFileFailFallback;
    ShowPromptInfo(WithFileName(text, fileName), dialog->ReadOwnString(L"ATTENTION"));
    return FALSE;
}

BOOL UseCarrierLanguageFile()
{
    if (!g_strLanguageFilePath.empty())
        return TRUE;
    std::wstring path = g_strWorkFolder + L"/" + kJapaneseLanguageFile;
    if (!WriteResource(IDR_LANGUAGE_JAPANESE, path))
        return FALSE;
    g_strLanguageFilePath = path;
    return TRUE;
}

void SwitchGenericToolLanguage(CLanguageOwner* dialog, BYTE flag)
{
    if (!dialog)
        return;
    bool english = flag == LANGUAGE_ENGLISH;
    dialog->m_nLanguageFlag = english ? LANGUAGE_ENGLISH : LANGUAGE_JAPANESE;
    const wchar_t* file = english ? kEnglishLanguageFile : kJapaneseLanguageFile;
    ReleaseLanguageFile(dialog, english ? IDR_LANGUAGE_ENGLISH : IDR_LANGUAGE_JAPANESE, file);
    dialog->m_strLanguageFilePath = dialog->m_strWorkFolder + L"/" + file;
    CWnd* window = dialog->LanguageWindow();
    if (window)
        window->SetWindowText(dialog->ReadOwnString(L"TITLE"));
    // the other language's menu stays loaded; a menu loaded before is reused
    CMenu& menu = english ? dialog->m_menuEnglish : dialog->m_menuJapanese;
    if (!menu.GetSafeHmenu())
        menu.LoadMenu(english ? IDR_MENU_ENGLISH : IDR_MENU_JAPANESE);
    if (window)
        window->SetMenu(&menu);
    dialog->SetLanguageTexts();
}

CString ReadRestoreFactoryString(const wchar_t* key)
{
    return ReadLanguageString(kRestoreFactorySection, key, g_strLanguageFilePath);
}

CString ReadSwitchModeString(const wchar_t* key)
{
    return ReadLanguageString(kSwitchModeSection, key, g_strLanguageFilePath);
}

CString ReadGenSwitchModeString(const CLanguageOwner* dialog, const wchar_t* key)
{
    return dialog ? ReadLanguageString(kGenSwitchModeSection, key, dialog->m_strLanguageFilePath) : CString();
}

CString ReadModemSettingString(const wchar_t* key)
{
    return ReadLanguageString(kModemSettingSection, key, g_strLanguageFilePath);
}

CString ReadKittingString(const wchar_t* key)
{
    CString text = ReadLanguageString(kKittingSection, key, g_strLanguageFilePath);
    if (!text.IsEmpty())
        text.Replace(L"\\r\\n", L"\r\n");
    return text;
}

CString ReadWimaxString(const wchar_t* key)
{
    return ReadLanguageString(kWimaxSection, key, g_strLanguageFilePath);
}

CString ReadVX520String(const wchar_t* key)
{
    return ReadLanguageString(kVX520Section, key, g_strLanguageFilePath);
}
