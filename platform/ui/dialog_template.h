#pragma once
// Dialog and menu templates as C++ tables, found by their resource ids.
//
// A template file (resources/templates/*.cpp) defines its tables and lists
// them once with UI_TEMPLATE_FILE; any .cpp that shows those dialogs names the
// file with UI_USE_TEMPLATE_FILE (at global scope), which keeps the template
// object in the link: the stack is a static library and an object file that
// nothing references would be dropped with its registration.
//
//   static const ui::DialogTemplate kPrompt = {103, L"Dialog", 212, 78, L"MS Shell Dlg", 8,
//       WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
//       {{IDOK, ui::ControlKind::Button, L"OK", 155, 57, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
//        {1382, ui::ControlKind::Static, L"", 7, 7, 198, 19, WS_VISIBLE}}};
//   UI_TEMPLATE_FILE(prompts, {&kPrompt}, {});
//
//   UI_USE_TEMPLATE_FILE(prompts);   // in the prompt dialog's .cpp
#include <vector>

#include "platform/ui/afx_types.h"

namespace ui {

enum class ControlKind { Button, Edit, Static, ComboBox, ListView, TabControl };

struct ControlTemplate {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    const wchar_t* text = L"";
    // position and size in dialog units, relative to the dialog's client area
    short x = 0, y = 0, cx = 0, cy = 0;
    // WS_* | BS_* / ES_* / SS_* / CBS_* / LVS_*; as in a dialog resource a
    // control without WS_VISIBLE starts hidden and WS_DISABLED starts disabled
    DWORD style = 0;
};

struct DialogTemplate {
    UINT id = 0;
    const wchar_t* caption = L"";
    short cx = 0, cy = 0;               // client size in dialog units
    const wchar_t* font = L"MS Shell Dlg";
    short pointSize = 8;
    // WS_CHILD for a page made inside a parent; WS_CAPTION | WS_SYSMENU for a
    // window with a caption and a close box; WS_VISIBLE shows a modeless page
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    std::vector<ControlTemplate> controls;
    UINT menuId = 0;                    // menu set on the dialog at creation, 0 none
};

struct MenuItemTemplate {
    UINT id = 0;
    const wchar_t* text = L"";
};

struct MenuPopupTemplate {
    const wchar_t* text = L"";          // the drop-down's title in the menu bar
    std::vector<MenuItemTemplate> items;
};

struct MenuTemplate {
    UINT id = 0;
    std::vector<MenuPopupTemplate> popups;
};

// Registers the tables of one template file.
class TemplateFile {
public:
    TemplateFile(std::vector<const DialogTemplate*> dialogs, std::vector<const MenuTemplate*> menus);
};

// null when no linked template file has that id
const DialogTemplate* FindDialogTemplate(UINT id);
const MenuTemplate* FindMenuTemplate(UINT id);
// The point sizes the linked dialog templates use, each once.
std::vector<int> TemplatePointSizes();

}  // namespace ui

#define UI_TEMPLATE_FILE(name, ...) ::ui::TemplateFile ui_template_file_##name(__VA_ARGS__)
#define UI_USE_TEMPLATE_FILE(name)                        \
    extern ::ui::TemplateFile ui_template_file_##name;    \
    [[gnu::used]] static ::ui::TemplateFile* const ui_template_file_use_##name = &ui_template_file_##name
