// The language menus: 138 is shown with the Japanese texts, 136 with the English ones.
#include "platform/ui/dialog_template.h"

namespace {
const ui::MenuTemplate kEnglishMenu = {
    136,
    {{L"English \u25bc", {{32774, L"\u65e5\u672c\u8a9e"}, {32775, L"English"}}}},
};
const ui::MenuTemplate kJapaneseMenu = {
    138,
    {{L"\u65e5\u672c\u8a9e \u25bc", {{32780, L"\u65e5\u672c\u8a9e"}, {32781, L"English"}}}},
};
}  // namespace

UI_TEMPLATE_FILE(menus, {}, {&kEnglishMenu, &kJapaneseMenu});
