#!/usr/bin/env python3
"""Writes the four language files (UTF-16LE with BOM, CR LF) from the table
below: setwell/lan_*.ini with every key, swapwell/lan_*.ini without the user
authentication keys, which only Setwell has. Run it after changing a text and
commit its output."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Keys of the user authentication of the VX520 network page (Setwell only).
SETWELL_ONLY = {"USERAUTH", "USERNAME", "USERPASSWORD", "ID_USRINFO_ALERTINFO1",
                "Userid_Invalid", "Password_Invalid", "Userid_Requried", "Password_Requried"}

SINGLE_EN = "The program has been running. Cannot open it again!"
# one refusal text for the tools that share no name of their own
SINGLE_JA = "このプログラムは既に起動中です。"
WAIT_EN = "Switching mode, please wait"
WAIT_JA = "モードを切り替えています。しばらくお待ち下さい"
ONLY_EN, ONLY_JA = "en", "ja"

# (section, [(key, English, Japanese[, only one language])])
SECTIONS = [
    ("MARL_RESTORE_FACTORY_SETTING_TOOL", [
        ("TITLE", "MARL Restore Device", "MARL リセットツール"),
        ("STATIC_INFO", "Click to Restore default your device.",
         "オールリセットを実行すると、端末の設定情報が初期設定値に戻ります。"),
        ("BUTTON_INFO", "Restore Factory Setting", "オールリセット"),
        ("SUCCESS_INFO", "Restore Factory Setting Successfully!", "オールリセットに成功しました。"),
        ("FAILED_INFO", "Restore Factory Setting Failed!",
         "オールリセットに失敗しました。再度、操作し直して下さい。"),
        ("SINGLE_TOOL", SINGLE_EN, SINGLE_JA),
    ]),
    ("MARL_SWITCH_MODE_TOOL", [
        ("TITLE", "MARL SwitchMode Tool", "MARL モデム切替ツール"),
        ("STATIC_INFO", "Click to switch mode for your device.",
         "通信接続モードの切替えを行います。利用するモードを選択して下さい。"),
        ("BUTTON_EOU_INFO", "Set EoU", "EoUモード"),
        ("BUTTON_MODEM_INFO", "Set Modem", "モデムモード"),
        ("SUCCESS_INFO", "Switch Mode Successfully!",
         "モード切替に成功しました。端末をPCから取り外して下さい。"),
        ("FAILED_INFO", "Switch Mode Failed!", "モード切替に失敗しました。再度、操作し直して下さい。"),
        ("SINGLE_TOOL", SINGLE_EN, SINGLE_JA),
    ]),
    ("TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", [
        ("TITLE", "Modem setting tool", "モデム設定ツール"),
        ("APN_TITLE", "APN", "APN"),
        ("COMMUNICATION_MODE_TITLE", "Communication Mode", "通信モード"),
        ("MESSAGE_SWITCH_ERROR", "Page change error!", "ページの切り替えに失敗しました。"),
        ("STATIC_INFO_CID", "CID", "CID"),
        ("STATIC_INFO_APN_NAME", "APN Name", "APN名"),
        ("STATIC_INFO_IPTYPE", "IP Type", "IPタイプ"),
        ("STATIC_INFO_IPV4", "IPv4", "IPv4"),
        ("STATIC_INFO_IPV6", "IPv6", "IPv6"),
        ("STATIC_INFO_IPV4V6", "IPv4v6", "IPv4v6"),
        ("STATIC_INFO_NONE", "  ", "  "),
        ("BUTTON_READ_INFO", "Read", "読み込み"),
        ("BUTTON_WRITE_INFO", "Write", "書き込み"),
        ("READ_SUCCESS_INFO", "Read APN Successfully!", "APNの読み込みに成功しました。"),
        ("READ_FAILED_INFO", "Read APN Failed!", "APNの読み込みに失敗しました。"),
        ("WRITE_SUCCESS_INFO", "Write APN Successfully!", "APNの書き込みに成功しました。"),
        ("WRITE_FAILED_INFO", "Write APN Failed!", "APNの書き込みに失敗しました。"),
        ("INVALID_CHARACTER", "Invalid character!", "使用できない文字が含まれています。"),
        ("MAX_62_INFO", "Please input no more than 100 characters.", "100文字以内で入力して下さい。"),
        ("HIGH_SPEED_INFO", "High Speed", "ハイスピード"),
        ("HIGH_SPEED_PLUS_INFO", "High Speed Plus Area", "ハイスピードプラスエリア"),
        ("READ_MODE_SUCCESS", "Get current communication mode Successfully!",
         "現在の通信モードの取得に成功しました。"),
        ("READ_MODE_FAILED", "Get current communication mode Failed!", "現在の通信モードの取得に失敗しました。"),
        ("WRITE_MODE_SUCCESS", "Set current communication mode Successfully!", "通信モードの設定に成功しました。"),
        ("WRITE_MODE_FAILED", "Set current communication mode Failed!", "通信モードの設定に失敗しました。"),
        ("SINGLE_TOOL", SINGLE_EN, "モデム設定ツールは既に起動中です。"),
        ("MIN_20_INFO", "Please input at least 20 characters.", "20文字以上で入力して下さい。"),
    ]),
    ("TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", [
        ("TITLE", "Kitting Tool-Packet", "MARL キッティングサポートツール"),
        ("STATIC_SELECT_BACKUP_INFO", "Backup file:", "バックアップファイル:"),
        ("BUTTON_SELECT_BACKUP_INFO", "Browse...", "参照..."),
        ("STATIC_SELECT_CSV_INFO", "Profile file (CSV):", "プロファイルファイル(CSV):"),
        ("BUTTON_SELECT_CSV_INFO", "Browse...", "参照..."),
        ("STATIC_SELECT_OUT_PATH_INFO", "Output folder:", "出力フォルダ:"),
        ("BUTTON_SELECT_OUT_PATH_INFO", "Browse...", "参照..."),
        ("BUTTON_GENERATE", "Generate", "生成"),
        ("PROFILE_FILES", "Profile files (*.csv)", "プロファイルファイル (*.csv)"),
        ("ALL_FILES", "All files (*.*)", "すべてのファイル (*.*)"),
        ("BACKUP_FILES", "Backup files", "バックアップファイル"),
        ("MESSAGE_SELECT_OUTPUT_DIRECTORY_SELECT", "Select", "選択"),
        ("MESSAGE_SELECT_OUTPUT_DIRECTORY", "Please select the output folder.", "出力フォルダを選択して下さい。"),
        ("MESSAGE_SELECT_BACKUP_FILE", "Please select the backup file.", "バックアップファイルを選択して下さい。"),
        ("MESSAGE_SELECT_CSV_FILE", "Please select the profile file.", "プロファイルファイルを選択して下さい。"),
        ("INFORMATION", "Information", "情報"),
        ("OPEN_FILE_FAIL", "Open file %s failed!", "ファイル %s を開けませんでした。"),
        ("READ_FILE_FAIL", "Read file %s failed!", "ファイル %s の読み込みに失敗しました。"),
        ("CAN_NOT_CREATE_DIRECTORY", "Cannot create the folder!", "フォルダを作成できません。"),
        ("PARSING_BACKUP_FILE", "Parsing the backup file...", "バックアップファイルを解析しています..."),
        ("PARSING_CSV_FILE", "Parsing the profile file...", "プロファイルファイルを解析しています..."),
        ("PARSE_CSV_FILE_SUCCESS", "Parse the profile file successfully!", "プロファイルファイルの解析に成功しました。"),
        ("PARSE_CSV_FILE_FAILED", "Parse the profile file failed!", "プロファイルファイルの解析に失敗しました。"),
        ("GENERATE_FILE_SUCCESS", "Generate the file successfully!", "ファイルの生成に成功しました。"),
        ("GENERATE_FILE_FAILED", "Generate the file failed!", "ファイルの生成に失敗しました。"),
        ("GENERATE_RESULT", "Result", "生成結果"),
        ("CHILD_TITLE", "Kitting Tool", "MARL キッティングサポートツール"),
        ("CHILD_STATIC_INFO",
         r'Click the "Write" button to write the information to device.\r\n\r\n'
         r"The terminal will restart automatically.\r\n\r\n"
         r"Please don't remove the device until the completion message is displayed.",
         r"端末に設定情報を書き込みます。\r\n\r\n"
         r"端末が自動的に再起動されますので、完了メッセージが表示されるまでPCから抜かないで下さい。"),
        ("IMEI_INVALID", "IMEI is invalid!", "IMEI番号が一致しません。"),
        ("WRITING_INFO", "Writing the information, please wait...", "設定情報を書き込んでいます。しばらくお待ち下さい..."),
        ("WRITING_BUTTON_INFO", "Write", "書き込み"),
        ("WRITE_INFO_SUCCESS", "Write the informaton successed!", "設定情報の反映に成功しました。"),
        ("WRITE_INFO_FAILED", "Write the informaton failed!",
         "設定情報の反映に失敗しました。再度、操作し直して下さい。"),
        ("REBOOT_INFO", "The device is restarting. Please don't remove it.",
         "端末を再起動しています。PCから抜かないで下さい。"),
        ("SINGLE_TOOL", SINGLE_EN, SINGLE_JA),
        ("PRIVACY_SETTING_ON", "Privacy setting is on, you can not operate.",
         "プライバシー設定がオンになっているため、この操作を行うことができません。"),
        ("#GENERATE_SUCCESS_INFO", "Generate successfully!", "生成に成功しました。"),
        ("#GENERATE_FAILED_INFO", "Generate failed!", "生成に失敗しました。"),
        ("#CREATE_FILE_FAIL_INFO", "Create file failed!", "ファイルの作成に失敗しました。"),
        ("#WRITE_INFORMATION_SUCCESS", "Write information successfully!", "情報の書き込みに成功しました。"),
        ("#WRITE_INFORMATION_FAILED", "Write information failed!", "情報の書き込みに失敗しました。"),
    ]),
    ("TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", [
        ("TITLE", "4G LTE ONLY set tool", "4G LTE ONLY 設定ツール"),
        ("GENERATE_SUCCESS_INFO", "Generate successfully!", "生成に成功しました。"),
        ("GENERATE_FAILED_INFO", "Generate failed!", "生成に失敗しました。"),
        ("INVALID_CHARACTER", "Invalid character!", "使用できない文字が含まれています。"),
        ("MAX_10_INFO", "Please input no more than 10 characters.", "10文字以内で入力して下さい。"),
        ("MIN_5_INFO", "Please input at least 5 characters.", "5文字以上で入力して下さい。"),
        ("CAN_NOT_CREATE_DIRECTORY", "Cannot create the folder!", "フォルダを作成できません。"),
        ("IDC_STATIC_ID", "ID:", "ID:"),
        ("BUTTON_SET", "Set", "設定"),
        ("READ_FILE_FAIL", "Read file %s failed!", "ファイル %s の読み込みに失敗しました。"),
        ("READ_STATE_SUCCESS", "Get WiMAX 2+ status successfully!", "WiMAX 2+ の状態の取得に成功しました。"),
        ("READ_STATE_FAILED", "Get WiMAX 2+ status failed!", "WiMAX 2+ の状態の取得に失敗しました。"),
        ("WRITE_STATE_SUCCESS", "Set WiMAX 2+ status successfully!", "WiMAX 2+ の状態の設定に成功しました。"),
        ("WRITE_STATE_FAILED", "Set WiMAX 2+ status failed!", "WiMAX 2+ の状態の設定に失敗しました。"),
        ("BUTTON_READ_INFO", "Read", "読み込み"),
        ("BUTTON_WRITE_INFO", "Set", "設定"),
        ("RADIO_WIMAX_ON", "WiMAX 2+ ON", "WiMAX 2+ オン"),
        ("RADIO_WIMAX_OFF", "WiMAX 2+ OFF", "WiMAX 2+ オフ"),
        ("SINGLE_TOOL", SINGLE_EN, "4G LTE ONLY 設定ツールは既に起動中です。"),
    ]),
    ("TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING", [
        ("TITLE", "Modem Setting Tool for K415NQ", "K415NQ モデム設定ツール"),
        ("NetworkSetting_TITLE", "Network Setting", "ネットワーク設定"),
        ("MOBIE_NETWORK_SETTING", "Mobile Network Setting", "モバイルネットワーク設定"),
        ("PROFILE_SETTING", "Profile Setting", "プロファイル設定"),
        ("INTERNATIONAL_ROAMING", "International Roaming", "国際ローミング"),
        ("INTERNATIONAL_ROAMING_ENABLE", "Enable", "有効"),
        ("INTERNATIONAL_ROAMING_DISABLE", "Disable", "無効"),
        ("INTERNATIONAL_ROAMING_WARNING",
         "It will automatically connect to network when connection mode is set as Auto. You will incur significant "
         "charges when roaming internationally.It is advised to set connection mode as Manual, and set network "
         "search mode as Manual.",
         "接続モードが自動に設定されていると、自動的にネットワークに接続されます。海外でのローミング時には高額な通信料が"
         "発生する場合があります。接続モードとネットワーク検索モードを手動に設定することをお勧めします。"),
        ("NETWORK_SELECTION", "Network Selection", "ネットワーク選択"),
        ("NETWORK_SELECTION_AUTO", "Auto", "自動"),
        ("NETWORK_SELECTION_MANUAL", "Manual", "手動"),
        ("NETWORK_SELECTION_SEARCH", "Search", "検索"),
        ("NETWORK_LIST", "Network List", "ネットワーク一覧"),
        ("NETWORK_LIST_OPERATION_NAME", "Operation Name", "事業者名"),
        ("NETWORK_LIST_NETWORK", "Network", "ネットワーク"),
        ("NETWORK_LIST_STATUS", "Status", "状態"),
        ("NETWORK_LIST_STATUS_AVAILABLE", "Avaiable", "利用可能"),
        ("NETWORK_LIST_STATUS_CURRENT", "Current", "現在"),
        ("NETWORK_LIST_STATUS_UNAVAILABLE", "Unavaiable", "利用不可"),
        ("SET_SUCCESS_INFO", "Set Successfully!", "設定に成功しました。"),
        ("SET_FAILED_INFO", "Set Failed!", "設定に失敗しました。"),
        ("READ_SUCCESS_INFO", "Read Successfully!", "読み込みに成功しました。"),
        ("READ_FAILED_INFO", "Read Failed!", "読み込みに失敗しました。"),
        ("BUTTON_READ_INFO", "Read", "読み込み"),
        ("BUTTON_WRITE_INFO", "Apply", "適用"),
        ("ID_ROAMING_ALERTINFO1", "Your settings will take affect after re-plugging in your device.",
         "設定は端末を挿し直した後に有効になります。"),
        ("ID_ROAMING_ALERTINFO2", "International roaming may incur significant charges.",
         "国際ローミングでは高額な通信料が発生する場合があります。"),
        ("ID_COMMON_ATTENTION", "Attention", "注意"),
        ("ID_COMMON_CANCEL", "Cancel", "キャンセル"),
        ("ID_COMMON_OK", "OK", "OK"),
        ("SINGLE_TOOL", SINGLE_EN, "モデム設定ツールは既に起動中です。"),
        ("APN_CAN_NOT_SET", "The APN cannot be set.", "APNは設定できません。"),
        ("APN_Invalid", "The APN contains invalid characters.", "APNに使用できない文字が含まれています。"),
        ("APN_Requried", "Required.", "入力必須です。"),
        ("Network_Settings_Parameters_CAN_NOT_SET", "The locked functions in the network setting cannot be set.",
         "ネットワーク設定のロックされた項目は設定できません。"),
        ("Password_Invalid", "Please input a valid password.", "有効なパスワードを入力して下さい。"),
        ("Userid_Invalid", "Please input a valid username.", "有効なユーザー名を入力して下さい。"),
        ("Password_Requried", "Required.", "入力必須です。"),
        ("Userid_Requried", "Required.", "入力必須です。"),
        ("ID_USRINFO_ALERTINFO1", "Your settings will take affect after re-plugging in your device.",
         "設定は端末を挿し直した後に有効になります。"),
        ("USERAUTH", "Authentication:", "認証方式:"),
        ("USERNAME", "User name:", "ユーザー名:"),
        ("USERPASSWORD", "Password:", "パスワード:"),
        ("PinSetting_TITLE", "PIN Management", "PIN管理"),
        ("NOTICE", "If Verification is set to Enable, you will need to enter PIN each time your device connects to PC.",
         "PIN認証を有効に設定すると、端末をPCに接続するたびにPINの入力が必要になります。"),
        ("STATUS", "Current PIN Code Status:", "現在のPINコードの状態:"),
        ("PIN_STATE", "PIN Verification:", "PIN認証:"),
        ("PIN_CODE", "PIN Code:", "PINコード:"),
        ("PIN_ATTEMPTS", "Attempts left:", "残り入力回数:"),
        ("NEW_PIN", "New PIN:", "新しいPIN:"),
        ("CONFORM_PIN", "Confirm PIN:", "新しいPIN(確認):"),
        ("PUK_CODE", "PUK Code:", "PUKコード:"),
        ("ENABLE", "Enable", "有効"),
        ("DISABLE", "Disable", "無効"),
        ("PIN_REQUIRED", "PIN Required", "PIN入力待ち"),
        ("PIN_LEN_ERROR", "Please input 4 digits.", "4桁の数字を入力して下さい。"),
        ("MODIFY", "Modify", "変更"),
        ("PUK_REQUIRED", "PUK required", "PUK入力待ち"),
        ("PUK_LEN_ERROR", "Please input 8 digits.", "8桁の数字を入力して下さい。"),
        ("SIM_FAIL1", "No USIM or USIM card invalid!", "USIMカードが挿入されていないか、無効です。"),
        ("SIM_FAIL2", "USIM exchange(chargeable) is required.", "USIMカードの交換(有償)が必要です。"),
        ("INSERT_SIM", "Please insert SIM card!", "SIMカードを挿入して下さい。"),
        ("ATTENTION", "Attention", "注意"),
        ("WRONG_PIN", "Incorrect PIN Code.", "PINコードが正しくありません。"),
        ("WRONG_PIN_THREE_TIMES",
         "Incorrect PIN,you need to enter PUK for Verification.If you attempt 10 times incorrectly,you will need to "
         "purchase another USIM Card for replacement.Attempts Left:10.",
         "PINコードが正しくありません。PUKコードによるロック解除が必要です。PUKコードを10回続けて間違えると、"
         "USIMカードの交換(有償)が必要になります。残り入力回数:10回"),
        ("WRONG_PUK", "Incorrect PUK Code.", "PUKコードが正しくありません。"),
        ("PIN_NOT_MATCH", "New PIN does not match!", "新しいPINが一致しません。"),
        ("OPERATE_SUCCESS", "Set successfully!", "設定に成功しました。"),
        ("INVALID_CHARACTER", "Invalid character!", "使用できない文字が含まれています。"),
        ("MESSAGE_SWITCH_ERROR", "Page change error!", "ページの切り替えに失敗しました。"),
        ("MIN_20_INFO", "Please input at least 20 characters.", "20文字以上で入力して下さい。"),
        ("TIMES", "", "回", ONLY_JA),
    ]),
    ("GEN_SWITCH_MODE_TOOL", [
        ("TITLE", "Modem Switch Tool for K415NQ", "K415NQ モード切替ツール"),
        ("STATIC_INFO", "Select the mode for your device.", "端末のモードを選択して下さい。"),
        ("BUTTON_NORMAL_MODE", "NORMAL MODE", "ノーマルモード"),
        ("BUTTON_MODEM_MODE", "MODEM MODE", "モデムモード"),
        ("SUCCESS_INFO", "Set successfully!", "モードの切り替えに成功しました。"),
        ("FAILED_INFO", "Set failed!", "モードの切り替えに失敗しました。再度、操作し直して下さい。"),
        ("SINGLE_TOOL", SINGLE_EN, "モード切替ツールは既に起動中です。"),
        ("ATTENTION", "Attention", "注意"),
        ("TIMES", "", "", ONLY_EN),
        ("WAITING_INFO", WAIT_EN, WAIT_JA),
        ("WAITING_INFO1", " " + WAIT_EN, " " + WAIT_JA),
        ("WAITING_INFO2", " " + WAIT_EN + " .", " " + WAIT_JA + " ."),
        ("WAITING_INFO3", " " + WAIT_EN + " ..", " " + WAIT_JA + " .."),
        ("WAITING_INFO4", " " + WAIT_EN + " ...", " " + WAIT_JA + " ..."),
        ("NORMAL_MODE_NOTES",
         "Before you connect in normal mode, please check that the profile (APN) of the device is set correctly. "
         "In normal mode the profile is set on the device's own web page.",
         "ノーマルモードで接続する前に、端末のプロファイル(APN)が正しく設定されているか確認して下さい。"
         "ノーマルモードのプロファイルは端末のWeb設定画面で設定します。"),
        ("MODEM_MODE_NOTES",
         "Before you connect in modem mode, please check that the profile (APN) of your dial-up connection is set "
         "correctly. In modem mode the profile is set in the connection settings of your computer.",
         "モデムモードで接続する前に、ダイヤルアップ接続のプロファイル(APN)が正しく設定されているか確認して下さい。"
         "モデムモードのプロファイルはPCの接続設定で設定します。"),
        ("DONOT_AGAIN", "Don't show again.", "今後このメッセージを表示しない。"),
        ("ATTENTION1", "Attention", "注意"),
    ]),
]

# The Japanese file keeps the generic switch tool's section ahead of the VX520 one.
JA_ORDER = [0, 1, 2, 3, 4, 6, 5]


def quoted(value):
    # the reader trims blanks around a value and drops one pair of quotes
    if value != value.strip(" \t") or (len(value) >= 2 and value[0] in "\"'" and value[-1] == value[0]):
        return '"' + value + '"'
    return value


def render(lang, with_auth):
    lines = ["// Language file: " + ("English" if lang == ONLY_EN else "Japanese"),
             "# one section per tool; key=value"]
    order = JA_ORDER if lang == ONLY_JA else range(len(SECTIONS))
    for index in order:
        name, rows = SECTIONS[index]
        lines.append("")
        lines.append("[" + name + "]")
        for row in rows:
            key, en, ja = row[0], row[1], row[2]
            if len(row) > 3 and row[3] != lang:
                continue
            if not with_auth and key in SETWELL_ONLY:
                continue
            value = en if lang == ONLY_EN else ja
            # TITLE is written with a blank before the sign
            lines.append(("TITLE " if key == "TITLE" else key) + "=" + quoted(value))
    return "\r\n".join(lines) + "\r\n"


def write(path, text):
    with open(path, "wb") as out:
        out.write(b"\xff\xfe" + text.encode("utf-16-le"))


def main():
    for flavor, with_auth in (("setwell", True), ("swapwell", False)):
        folder = os.path.join(HERE, "..", flavor)
        write(os.path.join(folder, "lan_jap_cfg.ini"), render(ONLY_JA, with_auth))
        write(os.path.join(folder, "lan_eng_cfg.ini"), render(ONLY_EN, with_auth))


if __name__ == "__main__":
    main()
