#pragma once
// The APN tab of the carrier modem setting dialogs: the PDP contexts with CID 1
// to 10, one row each. Row 0 (CID 1) is shown only; rows 1..9 are written back
// or deleted.
#include <mutex>
#include <string>

#include "device/at_fields.h"
#include "app/port_operation.h"
#include "device/port_manager.h"
#include "platform/ui/afx.h"
#include "platform/win/named_mutex.h"

constexpr UINT IDD_MARL_APN_PAGE = 139;

constexpr int APN_ROW_COUNT = 10;
// The room of a context's APN (PdpContextEntry::apn without its terminator):
// what an edit takes and what a device APN may have, so a read APN is never cut.
constexpr int APN_MAX_CHARS = 100;

// Controls of dialog 139. Row r (CID r + 1): label, edit and combo below.
constexpr int IDC_APN_HEADER_CID = 1340;
constexpr int IDC_APN_HEADER_NAME = 1341;
constexpr int IDC_APN_HEADER_IPTYPE = 1342;
constexpr int IDC_APN_ROW0_LABEL = 1106;
constexpr int IDC_APN_ROW0_EDIT = 1343;
constexpr int IDC_APN_ROW0_COMBO = 1339;
constexpr int ApnRowLabelId(int row) { return row == 0 ? IDC_APN_ROW0_LABEL : 1342 + 3 * row; }
constexpr int ApnRowEditId(int row) { return 1343 + 3 * row; }
constexpr int ApnRowComboId(int row) { return row == 0 ? IDC_APN_ROW0_COMBO : 1344 + 3 * row; }

// Combo items: row 0 IPv4, IPv6, IPv4v6, None; rows 1..9 IPv4, IPv6, None.
enum : int {
    APN_IPTYPE_IPV4 = 0,
    APN_IPTYPE_IPV6 = 1,
    APN_IPTYPE_IPV4V6 = 2,      // row 0 only
    APN_IPTYPE_ROW0_NONE = 3,
    APN_IPTYPE_NONE = 2,        // rows 1..9; such a row is deleted at a write
};

// PDP type text (any case) to combo index; firstContext: the list's first entry.
int ApnIpTypeIndexFromText(const CString& pdpType, bool firstContext);
// Combo index to PDP type text: 0 "IP", 1 "IPV6", else "" (2 is a deletion).
const char* ApnPdpTypeFromIndex(int index);

// ReadAPNRow results.
enum : int { APN_ROW_WRITE = 0, APN_ROW_DELETE = 1 };

class CMarlModemSettingAPNPage : public CDialog {
public:
    explicit CMarlModemSettingAPNPage(CWnd* parent = nullptr);
    ~CMarlModemSettingAPNPage() override;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

    // --- used by the modem setting dialogs ---
    // Every combo emptied, filled, index 0 selected.
    void FillIpTypeCombos();
    // Worker thread: 0 on success, else the failing result (message shown).
    int ReadAPNList();
    // Worker thread: 0 when every row of CID 2..10 succeeded, else 1 (message shown).
    int WriteAPNList();

    // --- inside the page ---
    void ValidateAPNText(int editId, CString text);
    void ReplaceEditText(int editId, const CString& text);
    int DisplayAPNAT(const PdpContextList& list, int index);
    int DisplayIPTypeInformationAT(const PdpContextList& list, int index);
    void SelectIpTypeIndex(int row, int index);
    int GetRowIpTypeIndex(int row);
    // APN_ROW_WRITE with entry filled, or APN_ROW_DELETE.
    int ReadAPNRow(int row, PdpContextEntry& entry);
    void ClearAPNRows();
    void SetAPNPageTexts();

    // Device routines: OpenATPort, then up to 3 / 5 / 3 tries.
    int ReadPdpContexts(PdpContextList& list);
    int WritePdpContext(const PdpContextEntry& entry);
    int DeletePdpContext(int cid);

    // What a row of CID 2..10 stands for on the device: deleted, or set to this
    // type and APN. A write sends only the rows that differ from what the last
    // read showed (or the empty rows of a page just opened).
    struct RowContent {
        bool deleted = true;
        std::string pdpType;
        std::string apn;
        bool operator==(const RowContent& other) const
        {
            return deleted == other.deleted && pdpType == other.pdpType && apn == other.apn;
        }
    };
    RowContent RowContentOf(int row);
    // What the rows show now becomes what the device holds.
    void RememberReadRows();

    CComboBox m_comboIpType[APN_ROW_COUNT];
    int m_nIpTypeIndex[APN_ROW_COUNT] = {};
    HANDLE m_hMutex = nullptr;
    CString m_strApn[APN_ROW_COUNT];
    COperationPortManager m_portManager;
    // Both below are set by the read worker and used by the write worker.
    std::mutex m_rowLock;
    RowContent m_readContent[APN_ROW_COUNT];
    // the device's PDP type of each row at the last read; kept at a write when
    // the row's combo has no item for it
    std::string m_deviceType[APN_ROW_COUNT];

protected:
    void OnApnEditChange(int row);
    afx_msg void OnApnChange0() { OnApnEditChange(0); }
    afx_msg void OnApnChange1() { OnApnEditChange(1); }
    afx_msg void OnApnChange2() { OnApnEditChange(2); }
    afx_msg void OnApnChange3() { OnApnEditChange(3); }
    afx_msg void OnApnChange4() { OnApnEditChange(4); }
    afx_msg void OnApnChange5() { OnApnEditChange(5); }
    afx_msg void OnApnChange6() { OnApnEditChange(6); }
    afx_msg void OnApnChange7() { OnApnEditChange(7); }
    afx_msg void OnApnChange8() { OnApnEditChange(8); }
    afx_msg void OnApnChange9() { OnApnEditChange(9); }

    DECLARE_MESSAGE_MAP()
};
