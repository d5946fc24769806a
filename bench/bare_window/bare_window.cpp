// The yardstick of the start-up benchmark: a bare FLTK window with the CJK font
// the dialogs use and one label, shown as soon as the program starts.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>

int main()
{
    Fl::set_font(FL_HELVETICA, " Noto Sans CJK JP");
    Fl_Double_Window window(300, 120, "bare window");
    Fl_Box label(10, 10, 280, 100, "\u65e5\u672c\u8a9e English");
    label.labelfont(FL_HELVETICA);
    label.labelsize(13);
    window.end();
    window.show();
    return Fl::run();
}
