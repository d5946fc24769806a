// The yardstick of the start-up benchmark: a bare FLTK window with the CJK font
// the dialogs use and one label, shown as soon as the program starts. With
// --fit it first sizes itself to its label, so that the font is loaded before
// the window maps, as the dialogs' layout must.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <cstring>

int main(int argc, char** argv)
{
    const char* text = "\u65e5\u672c\u8a9e English";
    Fl::set_font(FL_HELVETICA, " Noto Sans CJK JP");
    int w = 280;
    if (argc > 1 && std::strcmp(argv[1], "--fit") == 0) {
        fl_open_display();
        fl_font(FL_HELVETICA, 13);
        w = static_cast<int>(fl_width(text)) + 20;
    }
    Fl_Double_Window window(w + 20, 120, "bare window");
    Fl_Box label(10, 10, w, 100, text);
    label.labelfont(FL_HELVETICA);
    label.labelsize(13);
    window.end();
    window.show();
    return Fl::run();
}
