#include "tools/genswitch/switch_mode_tool_dlg.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "device/at_ops_network.h"
#include "device/goform.h"
#include "device/ini_reader.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "tools/genswitch/switch_port_watch.h"

UI_USE_TEMPLATE_FILE(switch_mode_tool);

namespace {

constexpr const char* kConfigSection = "GEN_SWITCH_MODE_TOOL_INFO";

CSwitchModeToolDlg* FromParam(LPVOID param) { return static_cast<CSwitchModeToolDlg*>(param); }

void SetControlShown(CWnd* dialog, int id, bool shown)
{
    if (CWnd* control = dialog->GetDlgItem(id))
        control->ShowWindow(shown ? SW_SHOW : SW_HIDE);
}

void SetControlEnabled(CWnd* dialog, int id, bool enabled)
{
    if (CWnd* control = dialog->GetDlgItem(id))
        control->EnableWindow(enabled ? TRUE : FALSE);
}

// Narrow configuration text of the tool's section; "" when absent.
void ReadGenConfig(const char* key, char* out, size_t outSize)
{
    out[0] = '\0';
    ReadIniString(kConfigSection, key, out, outSize, g_strCfgFilePath.c_str());
}

}  // namespace

BEGIN_MESSAGE_MAP(CSwitchModeToolDlg, CToolDialogFrame)
    ON_BN_CLICKED(IDC_GEN_NORMAL_MODE, &CSwitchModeToolDlg::OnNormalModeButton)
    ON_BN_CLICKED(IDC_GEN_MODEM_MODE, &CSwitchModeToolDlg::OnModemModeButton)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_136, &CSwitchModeToolDlg::OnJapanese)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_138, &CSwitchModeToolDlg::OnJapanese)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_136, &CSwitchModeToolDlg::OnEnglish)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_138, &CSwitchModeToolDlg::OnEnglish)
END_MESSAGE_MAP()

CSwitchModeToolDlg::CSwitchModeToolDlg(CWnd* parent) : CToolDialogFrame(IDD_SWITCH_MODE_TOOL, parent)
{
    m_pszLanguageSection = kGenSwitchModeSection;
    m_pfnWatchProc = &CSwitchModeToolDlg::WatchSwitchModePorts;
}

CSwitchModeToolDlg::~CSwitchModeToolDlg() = default;

CString CSwitchModeToolDlg::ReadOwnString(const wchar_t* key) const { return ReadGenSwitchModeString(this, key); }

BOOL CSwitchModeToolDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // the language file first, so that a refusal has its texts
    m_strWorkFolder = g_strWorkFolder;
    m_nLanguageFlag = LANGUAGE_JAPANESE;
    ReleaseLanguageFile(this, IDR_LANGUAGE_JAPANESE, kJapaneseLanguageFile);
    m_strLanguageFilePath = m_strWorkFolder + L"/" + kJapaneseLanguageFile;
    m_hMutex = CheckSingleInstance(this, single_instance::kSwitchModeTool, RefusalStyle::Prompt,
                                   ReadOwnString(L"SINGLE_TOOL"), ReadOwnString(L"ATTENTION"));

    SetWindowText(ReadOwnString(L"TITLE"));
    if (m_menuJapanese.LoadMenu(IDR_MENU_JAPANESE))
        SetMenu(&m_menuJapanese);

    SetGenSwitchTexts();
    StartWatchThread(&CSwitchModeToolDlg::WatchSwitchModePorts);
    return TRUE;
}

void CSwitchModeToolDlg::SetLanguageTexts() { SetGenSwitchTexts(); }

void CSwitchModeToolDlg::SetGenSwitchTexts()
{
    SetDlgItemText(IDC_GEN_SWITCH_GROUP, ReadOwnString(L"STATIC_INFO"));
    SetDlgItemText(IDC_GEN_NORMAL_MODE, ReadOwnString(L"BUTTON_NORMAL_MODE"));
    SetDlgItemText(IDC_GEN_MODEM_MODE, ReadOwnString(L"BUTTON_MODEM_MODE"));
    SetControlShown(this, IDC_GEN_WAITING_INFO, false);
    SetControlShown(this, IDC_GEN_WAITING_ANIMATION, false);
    SetControlShown(this, IDC_GEN_SWITCH_HIDDEN, false);
}

int CSwitchModeToolDlg::ReadGenDomainName(char* out, size_t outSize) const
{
    char domain[256];
    ReadGenConfig("DOMAIN_NAME", domain, sizeof domain);
    std::snprintf(out, outSize, "%s", domain[0] ? domain : kGenDefaultDomainName);
    return static_cast<int>(std::strlen(out));
}

void CSwitchModeToolDlg::AnimateWaitingLabel(int staticId)
{
    static const wchar_t* const kSteps[] = {L"WAITING_INFO1", L"WAITING_INFO2", L"WAITING_INFO3", L"WAITING_INFO4"};
    for (int i = 0; i < 8; ++i) {
        if (i > 0)
            Sleep(500);
        SetDlgItemText(staticId, ReadOwnString(kSteps[i % 4]));
    }
}

int CSwitchModeToolDlg::WaitForSwitchedDevice(const char* name1, const char* name2)
{
    auto entries = std::make_unique<char[][KESTLE_ENTRY_SIZE]>(GEN_SWITCH_LISTING_ENTRIES);
    bool found = false;
    for (int pass = 0; pass < GEN_SWITCH_WAIT_PASSES && !found; ++pass) {
        SetDlgItemText(IDC_GEN_WAITING_INFO, ReadOwnString(L"WAITING_INFO"));
        SetControlShown(this, IDC_GEN_WAITING_INFO, true);
        SetControlShown(this, IDC_GEN_SWITCH_HIDDEN, false);
        if (m_nLanguageFlag == LANGUAGE_JAPANESE) {
            SetControlShown(this, IDC_GEN_WAITING_ANIMATION, true);
            AnimateWaitingLabel(IDC_GEN_WAITING_ANIMATION);
        } else {
            SetControlShown(this, IDC_GEN_WAITING_ANIMATION, false);
            AnimateWaitingLabel(IDC_GEN_WAITING_INFO);
        }
        Sleep(1000);
        int count = ListSwitchPorts(entries.get());
        for (int i = 0; i < count && !found; ++i)
            found = ListingEntryHolds(entries[i], name1, name2);
    }
    SetControlShown(this, IDC_GEN_WAITING_INFO, false);
    SetControlShown(this, IDC_GEN_WAITING_ANIMATION, false);
    SetControlShown(this, IDC_GEN_SWITCH_HIDDEN, false);
    ShowPromptInfo(ReadOwnString(found ? L"SUCCESS_INFO" : L"FAILED_INFO"), ReadOwnString(L"ATTENTION"));
    return found ? 1 : 0;
}

UINT CSwitchModeToolDlg::WatchSwitchModePorts(LPVOID param)
{
    static constexpr SwitchWatchSetup kSetup{IDC_GEN_NORMAL_MODE, IDC_GEN_MODEM_MODE, kConfigSection, false};
    if (CSwitchModeToolDlg* dlg = FromParam(param))
        WatchSwitchPorts(dlg, kSetup);
    return 0;
}

UINT CSwitchModeToolDlg::SwitchNormalModeOperationThread(LPVOID param)
{
    CSwitchModeToolDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetControlEnabled(dlg, IDC_GEN_NORMAL_MODE, false);
    if (!IsDontShowAgainSet(kNormalModeSuffix))
        ShowNormalModeNotice(dlg->ReadOwnString(L"NORMAL_MODE_NOTES"), dlg->ReadOwnString(L"ATTENTION1"),
                             dlg->ReadOwnString(L"DONOT_AGAIN"));
    OutputDebugStringA("kestle:SwitchNormalModeOperationThread 1  ");

    bool entered = false;
    for (int attempt = 0; attempt < 3 && !entered; ++attempt) {
        entered = dlg->m_portManager.OpenATPort() == 0 && AT_ENTER_RNDIS_MODE() == 0;
        if (!entered) {
            Sleep(1000);
            OutputDebugStringA("kestle:SwitchNormalModeOperationThread 2");
        }
    }
    OutputDebugStringA("kestle:SwitchNormalModeOperationThread 3");

    bool restarted = false;
    for (int attempt = 0; entered && attempt < 3 && !restarted; ++attempt) {
        restarted = dlg->m_portManager.OpenATPort() == 0 && AT_MarlRestart() == 0;
        if (!restarted)
            Sleep(1000);
    }
    OutputDebugStringA("kestle:SwitchNormalModeOperationThread 4");

    if (entered && restarted)
        dlg->WaitForSwitchedDevice(kNetworkCardNames[0], kNetworkCardNames[1]);
    else
        ShowPromptInfo(dlg->ReadOwnString(L"FAILED_INFO"), dlg->ReadOwnString(L"ATTENTION"));
    dlg->EndWorker();
    return 0;
}

UINT CSwitchModeToolDlg::SwitchModemModeOperationThread(LPVOID param)
{
    CSwitchModeToolDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetControlEnabled(dlg, IDC_GEN_MODEM_MODE, false);
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 1");

    char domain[256];
    dlg->ReadGenDomainName(domain, sizeof domain);
    char command[1024];
    ReadGenConfig("SWITCH_MODEM_COMMAND", command, sizeof command);
    if (!IsDontShowAgainSet(kModemModeSuffix))
        ShowModemModeNotice(dlg->ReadOwnString(L"MODEM_MODE_NOTES"), dlg->ReadOwnString(L"ATTENTION1"),
                            dlg->ReadOwnString(L"DONOT_AGAIN"));
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 2");

    char answer[GOFORM_VERSION_REPLY_ROOM];
    bool modeSet = false;
    for (int attempt = 0; attempt < 3 && !modeSet; ++attempt) {
        answer[0] = '\0';
        modeSet = Http_SetProductModeForMarl(domain, command, answer) == 0;
        if (!modeSet)
            Sleep(1000);
    }
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 3");

    bool rebooted = false;
    for (int attempt = 0; modeSet && attempt < 3 && !rebooted; ++attempt) {
        answer[0] = '\0';
        rebooted = Http_RebootDevice(domain, answer) == 0;
        if (!rebooted)
            Sleep(1000);
    }
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 4");

    if (modeSet && rebooted)
        dlg->WaitForSwitchedDevice(kModemPortNames[0], kModemPortNames[1]);
    else
        ShowPromptInfo(dlg->ReadOwnString(L"FAILED_INFO"), dlg->ReadOwnString(L"ATTENTION"));
    dlg->EndWorker();
    return 0;
}

void CSwitchModeToolDlg::OnNormalModeButton()
{
    StartWorker(&CSwitchModeToolDlg::SwitchNormalModeOperationThread, &SwitchToNormalModeThread);
}

void CSwitchModeToolDlg::OnModemModeButton()
{
    StartWorker(&CSwitchModeToolDlg::SwitchModemModeOperationThread, &SwitchToModemModeThread);
}

void CSwitchModeToolDlg::OnJapanese() { SwitchGenericToolLanguage(this, LANGUAGE_JAPANESE); }

void CSwitchModeToolDlg::OnEnglish() { SwitchGenericToolLanguage(this, LANGUAGE_ENGLISH); }

CDialog* CreateSwitchModeToolDlg() { return new CSwitchModeToolDlg(); }
