#include "tools/kitting/write_apn_info_dlg.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "app/web_server_check.h"
#include "app/work_folder.h"
#include "device/goform.h"
#include "tools/kitting/apn_config_check.h"
#include "device/ini_reader.h"
#include "platform/win/clock.h"
#include "platform/win/code_page.h"
#include "platform/win/debug_output.h"
#include "platform/win/temp_folder.h"

UI_USE_TEMPLATE_FILE(kitting_tool);

namespace {

constexpr const char* kConfigSection = "TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING";
constexpr const char* kApnSection = "APN_INFO";
// The presence test is the restore tool's.
constexpr const char* kWebServerSection = "MARL_RESTORE_FACTORY_SETTING_TOOL_INFO";
constexpr const wchar_t* kApnConfigFile = L"Apn_cfg.ini";
constexpr const wchar_t* kBackupFile = L"backupinfo";
constexpr const char* kRndisFound = "KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!";
constexpr const char* kRndisMissing = "KESTLE: CPlatformManager, Search RNDIS Port Fail!";
constexpr size_t kConfigRoom = 1024;

CMarlWriteAPNInfoDlg* FromParam(LPVOID param) { return static_cast<CMarlWriteAPNInfoDlg*>(param); }

void SetWriteEnabled(CWnd* dialog, bool enabled)
{
    if (CWnd* button = dialog->GetDlgItem(IDC_KITTING_WRITE))
        button->EnableWindow(enabled ? TRUE : FALSE);
}

// A key of the tool's configuration section, read afresh; "" when absent.
std::string ReadKittingConfig(const char* key)
{
    std::vector<char> text(kConfigRoom, '\0');
    ReadIniString(kConfigSection, key, text.data(), text.size(), g_strCfgFilePath.c_str());
    return text.data();
}

std::string ReadDomainName()
{
    std::string domain = ReadKittingConfig("DOMAIN_NAME");
    if (domain.size() > 254)
        domain.resize(254);
    return domain.empty() ? kKittingDefaultDomainName : domain;
}

// Up to 50 tries, 1000 ms after each failed one; the last try's result.
int TryRequest(const std::function<int()>& request)
{
    int result = 1;
    for (int attempt = 0; attempt < KITTING_REQUEST_TRIES; ++attempt) {
        result = request();
        if (result == 0)
            break;
        Sleep(1000);
    }
    return result;
}

}  // namespace

BOOL FolderExists(const std::wstring& path) { return PathExists(path); }

int ParseImeiAnswer(const char* answer, std::string* imei)
{
    imei->clear();
    if (!answer)
        return 1;
    const char* open = std::strchr(answer, '{');
    const char* close = std::strchr(answer, '}');
    if (!open || !close || close == answer || close < open)
        return 1;
    std::string inner(open + 1, close);
    size_t colon = inner.find(':');
    if (colon == std::string::npos)
        return 1;
    size_t first = inner.find('"', colon + 1);
    if (first == std::string::npos)
        return 1;
    size_t second = inner.find('"', first + 1);
    if (second == std::string::npos || second == first + 1)
        return 1;
    *imei = inner.substr(first + 1, second - first - 1);
    return imei->size() == 15 ? 0 : 1;
}

BEGIN_MESSAGE_MAP(CMarlWriteAPNInfoDlg, CToolDialogFrame)
    ON_BN_CLICKED(IDC_KITTING_WRITE, &CMarlWriteAPNInfoDlg::OnWriteButton)
END_MESSAGE_MAP()

CMarlWriteAPNInfoDlg::CMarlWriteAPNInfoDlg(CWnd* parent) : CToolDialogFrame(IDD_MARL_WRITE_APN_INFO, parent)
{
    m_pszLanguageSection = kKittingSection;
    m_pfnWatchProc = &CMarlWriteAPNInfoDlg::WatchKittingDevice;
}

CMarlWriteAPNInfoDlg::~CMarlWriteAPNInfoDlg() { m_pWriteAPNInformationThread = nullptr; }

CString CMarlWriteAPNInfoDlg::ReadOwnString(const wchar_t* key) const { return ReadKittingString(key); }

BOOL CMarlWriteAPNInfoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    UseCarrierLanguageFile();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlWriteAPNInfo, RefusalStyle::MessageBox,
                                   ReadOwnString(L"SINGLE_TOOL"), ReadOwnString(L"CHILD_TITLE"));
    SetWindowText(ReadOwnString(L"CHILD_TITLE"));
    SetDlgItemText(IDC_KITTING_INFO, ReadOwnString(L"CHILD_STATIC_INFO"));
    SetDlgItemText(IDC_KITTING_WRITE, ReadOwnString(L"WRITING_BUTTON_INFO"));
    GetKittingToolFolder();
    StartWatchThread(&CMarlWriteAPNInfoDlg::WatchKittingDevice);
    return TRUE;
}

BOOL CMarlWriteAPNInfoDlg::GetKittingToolFolder()
{
    // the folder the start-up made, under the private base
    std::wstring temp = GetPrivateBaseFolder();
    if (temp.empty() || !FolderExists(temp))
        return FALSE;
    m_strToolFolder = temp + kKittingToolFolderName;
    return TRUE;
}

std::wstring CMarlWriteAPNInfoDlg::ToolFile(const wchar_t* name) const { return m_strToolFolder + L"/" + name; }

int CMarlWriteAPNInfoDlg::IsDeviceWebServerDown() const { return IsWebServerDownForSection(kWebServerSection); }

UINT CMarlWriteAPNInfoDlg::WatchKittingDevice(LPVOID param)
{
    CMarlWriteAPNInfoDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetWriteEnabled(dlg, false);
    dlg->RunWatchPasses([dlg]() -> DWORD {
        bool up = dlg->IsDeviceWebServerDown() == 0;
        // a Write press may have come in during the request
        if (dlg->StopRequested())
            return 0;
        OutputDebugStringA(up ? kRndisFound : kRndisMissing);
        SetWriteEnabled(dlg, up);
        return 1000;
    });
    return 0;
}

UINT CMarlWriteAPNInfoDlg::WriteAPNInformationDoOperationThread(LPVOID param)
{
    CMarlWriteAPNInfoDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetWriteEnabled(dlg, false);
    // a run takes long: say what it does until its result box
    dlg->SetDlgItemText(IDC_KITTING_INFO, dlg->ReadOwnString(L"WRITING_INFO"));
    int result = dlg->RunKitting();
    dlg->SetDlgItemText(IDC_KITTING_INFO, dlg->ReadOwnString(L"CHILD_STATIC_INFO"));
    dlg->MessageBox(dlg->ReadOwnString(result == 0 ? L"WRITE_INFO_SUCCESS" : L"WRITE_INFO_FAILED"),
                    dlg->ReadOwnString(L"CHILD_TITLE"), MB_ICONINFORMATION);
    SetWriteEnabled(dlg, true);
    dlg->EndWorker();
    return 0;
}

void CMarlWriteAPNInfoDlg::OnWriteButton()
{
    StartWorker(&CMarlWriteAPNInfoDlg::WriteAPNInformationDoOperationThread, &m_pWriteAPNInformationThread);
}

int CMarlWriteAPNInfoDlg::RunKitting()
{
    // such a file would fail the IMEI check as one without keys: say the real reason
    if (std::string problem = ApnConfigSizeProblem(ToolFile(kApnConfigFile)); !problem.empty()) {
        OutputDebugStringA(("KESTLE: nothing written: " + problem).c_str());
        return 1;
    }
    if (int result = CheckDeviceImei())
        return result;
    if (int result = CheckPrivacySetting())
        return result;
    // the modem loses its APNs from here on: nothing that can be known now may fail later
    if (int result = CheckRunInputs())
        return result;
    if (int result = RestoreBackupFile())
        return result;
    SetDlgItemText(IDC_KITTING_INFO, ReadOwnString(L"REBOOT_INFO"));
    Sleep(5000);
    WaitForWebServer();
    SetDlgItemText(IDC_KITTING_INFO, ReadOwnString(L"WRITING_INFO"));
    if (int result = SetDefaultAPN(KITTING_PDP_IPV4V6, 0))
        return result;
    if (int result = DeleteAPN())
        return result;
    if (int result = WriteAPNParameters())
        return result;
    m_nPdpType = KITTING_PDP_IPV4;
    int restricted = 0;
    if (int result = GetInternetSetting(&restricted))
        return result;
    if (!restricted)
        return 0;
    if (int result = ReadConfigPdpType())
        return result;
    return SetDefaultAPN(m_nPdpType, 1);
}

int CMarlWriteAPNInfoDlg::GetDeviceIMEIOverHttp(char* answer)
{
    std::string domain = ReadDomainName();
    std::string command = ReadKittingConfig("GET_IMEI_COMMAND");
    return TryRequest([&] {
        std::memset(answer, 0, GOFORM_REPLY_ROOM);
        return Http_GetIMEI(domain.c_str(), command.c_str(), answer);
    });
}

int CMarlWriteAPNInfoDlg::ReadDeviceImeiSetting(std::string* imei) const
{
    char text[255] = {};
    ReadIniString(kApnSection, "DEVICE_IMEI", text, sizeof text, ToolFile(kApnConfigFile).c_str());
    *imei = text;
    return imei->empty() ? 1 : 0;
}

int CMarlWriteAPNInfoDlg::CheckDeviceImei()
{
    char answer[GOFORM_REPLY_ROOM] = {};
    if (int result = GetDeviceIMEIOverHttp(answer))
        return result;
    std::string deviceImei;
    ParseImeiAnswer(answer, &deviceImei);
    std::string wanted;
    if (ReadDeviceImeiSetting(&wanted) != 0)
        return 1;
    CString deviceWide, wantedWide;
    AnsiToWideString(deviceImei.c_str(), deviceWide);
    AnsiToWideString(wanted.c_str(), wantedWide);
    if (deviceWide == wantedWide)
        return 0;
    MessageBox(ReadOwnString(L"IMEI_INVALID"), ReadOwnString(L"TITLE"), MB_ICONINFORMATION);
    return 1;
}

int CMarlWriteAPNInfoDlg::ReadPrivacySetting(int* on)
{
    std::string domain = ReadDomainName();
    std::string command = ReadKittingConfig("GET_PRIVACY_SETTING_COMMAND");
    return TryRequest([&] { return Http_GetPrivacySetting(domain.c_str(), command.c_str(), on); });
}

int CMarlWriteAPNInfoDlg::CheckPrivacySetting()
{
    int on = 0;
    if (int result = ReadPrivacySetting(&on))
        return result;
    if (!on)
        return 0;
    MessageBox(ReadOwnString(L"PRIVACY_SETTING_ON"), ReadOwnString(L"TITLE"), MB_ICONINFORMATION);
    return 1;
}

int CMarlWriteAPNInfoDlg::CheckRunInputs()
{
    std::string problem = CheckApnConfig(ToolFile(kApnConfigFile));
    struct stat st;
    if (problem.empty() && (stat(WideToUtf8(ToolFile(kBackupFile)).c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
        problem = "no backupinfo in the tool folder";
    // the upload carries its query in the URL
    std::string url =
        std::string("http://") + ReadDomainName() + GOFORM_SET_PATH + "?" + ReadKittingConfig("RESTORE_COMMAND");
    if (problem.empty() && url.size() >= static_cast<size_t>(GOFORM_URL_ROOM))
        problem = "the upload URL (DOMAIN_NAME and RESTORE_COMMAND) is too long";
    if (problem.empty())
        return 0;
    OutputDebugStringA(("KESTLE: nothing written: " + problem).c_str());
    return 1;
}

int CMarlWriteAPNInfoDlg::RestoreBackupFile()
{
    std::string domain = ReadDomainName();
    std::string query = ReadKittingConfig("RESTORE_COMMAND");
    std::wstring widePath = ToolFile(kBackupFile);
    // room for the whole path: a cut path would upload some other file
    std::vector<char> path(widePath.size() * 4 + 1, '\0');
    WideToAnsi(widePath.c_str(), path.data(), path.size());
    int result = 1;
    for (int attempt = 0; attempt < KITTING_REQUEST_TRIES; ++attempt) {
        char answer[GOFORM_REPLY_ROOM] = {};
        result = Http_UploadRestoreFile(domain.c_str(), query.c_str(), path.data(), answer);
        if (result == 0)
            break;
        Sleep(1000);
        // the modem restarts on the upload and its answer may be lost with it:
        // a web server that has gone away took the backup; it is never sent twice
        if (IsDeviceWebServerDown() != 0) {
            OutputDebugStringA("KESTLE: RestoreBackupFile, the device went down for its restart");
            return 0;
        }
    }
    return result;
}

void CMarlWriteAPNInfoDlg::WaitForWebServer()
{
    for (int test = 0; test < KITTING_RESTART_TESTS; ++test) {
        if (IsDeviceWebServerDown() == 0) {
            OutputDebugStringA(kRndisFound);
            Sleep(5000);
            return;
        }
        Sleep(1000);
        OutputDebugStringA(kRndisMissing);
    }
}

int CMarlWriteAPNInfoDlg::SetDefaultAPN(int pdpType, int index)
{
    static const char* const kTypeTexts[] = {"IP", "IPv6", "IPv4v6"};
    if (pdpType < KITTING_PDP_IPV4 || pdpType > KITTING_PDP_IPV4V6)
        return 1;
    std::string domain = ReadDomainName();
    std::string request = ReadKittingConfig("SET_DEFAULT_APN_COMMAND") + kTypeTexts[pdpType] + "&index=" +
                          std::to_string(index);
    return TryRequest([&] {
        char answer[GOFORM_REPLY_ROOM] = {};
        return Http_SetDefaultApn(domain.c_str(), request.c_str(), answer);
    });
}

int CMarlWriteAPNInfoDlg::DeleteOneAPN(int index)
{
    std::string domain = ReadDomainName();
    std::string request = ReadKittingConfig("DELETE_COMMAND") + std::to_string(index);
    return TryRequest([&] { return Http_DeleteApn(domain.c_str(), request.c_str()); });
}

int CMarlWriteAPNInfoDlg::DeleteAPN()
{
    for (int index = KITTING_MAX_APN_COMMANDS; index >= 1; --index) {
        if (int result = DeleteOneAPN(index)) {
            OutputDebugStringA("KESTLE: DeleteAPN Fail!");
            return result;
        }
        OutputDebugStringA("KESTLE: DeleteAPN Success!");
    }
    return 0;
}

int CMarlWriteAPNInfoDlg::GetAPNCmd(int index, char* command, size_t room) const
{
    std::memset(command, 0, room);
    std::string key = "APN_COMMAND" + std::to_string(index);
    ReadIniString(kApnSection, key.c_str(), command, room, ToolFile(kApnConfigFile).c_str());
    return command[0] ? 0 : 1;
}

int CMarlWriteAPNInfoDlg::SendAPNCommand(const char* command)
{
    std::string domain = ReadDomainName();
    return TryRequest([&] {
        char answer[GOFORM_REPLY_ROOM] = {};
        return Http_SaveApn(domain.c_str(), command, answer);
    });
}

int CMarlWriteAPNInfoDlg::WriteAPNParameters()
{
    int count = ReadIniInt(kApnSection, "APN_NUM", 0, ToolFile(kApnConfigFile).c_str());
    if (count > KITTING_MAX_APN_COMMANDS)
        count = KITTING_MAX_APN_COMMANDS;
    int result = 1;
    std::vector<char> command(KITTING_APN_COMMAND_ROOM);
    for (int i = 1; i <= count; ++i) {
        if (GetAPNCmd(i, command.data(), command.size()) != 0) {
            OutputDebugStringA("KESTLE: GetAPNCmd empty!");
            result = 1;
            continue;
        }
        result = SendAPNCommand(command.data());
        if (result != 0) {
            OutputDebugStringA("KESTLE: WriteAPNParameters Fail!");
            break;
        }
        OutputDebugStringA("KESTLE: WriteAPNParameters Success!");
    }
    return result;
}

int CMarlWriteAPNInfoDlg::GetInternetSetting(int* on)
{
    std::string domain = ReadDomainName();
    std::string command = ReadKittingConfig("GET_INTERNET_SETTING_COMMAND");
    return TryRequest([&] { return Http_GetRestrictDefaultProfile(domain.c_str(), command.c_str(), on); });
}

int CMarlWriteAPNInfoDlg::ReadConfigPdpType()
{
    static const char* const kTypeNames[] = {"IPv4", "IPv6", "IPv4&IPv6"};
    char text[100] = {};
    ReadIniString(kApnSection, "CONFIG1_PDP_TYPE", text, sizeof text, ToolFile(kApnConfigFile).c_str());
    for (int type = KITTING_PDP_IPV4; type <= KITTING_PDP_IPV4V6; ++type) {
        if (strcasecmp(text, kTypeNames[type]) == 0) {
            m_nPdpType = type;
            return 0;
        }
    }
    return 1;
}

CDialog* CreateMarlWriteAPNInfoDlg() { return new CMarlWriteAPNInfoDlg(); }
