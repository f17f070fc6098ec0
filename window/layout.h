#pragma once
// A window as a table: its title, border and size, and each control with its kind, place,
// caption and role. The views create their controls from it and nothing else; the window's
// core owns the table and may fit it to the faces the view measures before the view is made.

#include <string>
#include <utility>
#include <vector>

#include "resources/pictures.h"
#include "window/geometry.h"

namespace kelvara {

enum class ControlKind {
    Toolbar,       // buttons with a picture and a caption under it; see WindowLayout::toolbar
    DropDownList,  // a combo box the user can only choose from
    Button,
    EntryList,     // a list whose entries the view asks its core for, one at a time, when shown
    FolderList,    // a short list of entries given whole (a directory list)
    ProgressBar,
    Frame,         // a box without a caption that holds other controls
    Label,
    TextBox,       // one line
    Picture,       // shows a picture of an image list, stretched to the control
    Browser,       // an embedded web browser
    EtchedLine,    // a line cut into the window: gray above white
    CheckBox,      // a box the user ticks, its caption beside it; a click is Clicked
};

// What a control does beyond its kind.
enum ControlFlag : unsigned {
    kDefaultButton = 1u << 0,  // Enter presses it, wherever the focus is
    kCancelButton = 1u << 1,   // Escape presses it
    kBold = 1u << 2,
    kEnterOpens = 1u << 3,     // a folder list: Enter opens the highlighted entry instead of pressing a button
};

struct ControlLayout {
    ControlLayout() = default;
    ControlLayout(int id, const char* name, ControlKind kind, Rect rect, std::string caption = {}, int parent = 0,
                  unsigned flags = 0, std::string tooltip = {})
        : id(id), name(name), kind(kind), rect(rect), caption(std::move(caption)), parent(parent), flags(flags),
          tooltip(std::move(tooltip)) {}

    int id = 0;
    const char* name = "";  // the control's name in the window's design
    ControlKind kind = ControlKind::Label;
    Rect rect;              // in the client area of its parent
    std::string caption;    // a button's or label's text
    int parent = 0;         // 0: the window; else the Frame that holds it
    unsigned flags = 0;
    std::string tooltip;
};

struct ToolbarItem {
    const char* caption;  // nullptr: a separator, without caption, picture or command
    int picture;          // ImageList1 picture, from 1
};

struct WindowLayout {
    enum class Border {
        Fixed,    // a single fixed border, no minimise or maximise button, a button in the task bar
        Dialog,   // a fixed dialog border
        Sizable,  // the user may resize it
    };
    // The layouts were drawn for the small system face of their day. Narrow: the main window,
    // whose captions sit closest together, takes a narrow face where there is one.
    enum class Face { Dialog, Narrow };

    std::string title;
    Size client;
    Border border = Border::Dialog;
    Face face = Face::Dialog;
    bool icon = false;  // shows the program's icon
    std::vector<ControlLayout> controls;  // in their order of creation
    std::vector<int> tabOrder;            // the controls Tab visits, in order; empty: creation order
    int focus = 0;                        // the control with the focus when the window opens
    std::vector<ToolbarItem> toolbar;    // the Toolbar control's buttons, counted from 1
    Size toolbarButtonSize;
    int toolbarPictureSize = 0;

    const ControlLayout* Find(int id) const;
    ControlLayout* Find(int id);
    // The control Enter or Escape presses; 0 when there is none.
    int DefaultButton() const;
    int CancelButton() const;
};

WindowLayout MainWindowLayout();
WindowLayout OptionsLayout();
WindowLayout AboutLayout();
WindowLayout HelpLayout();
WindowLayout SaveFolderLayout();
WindowLayout NewFolderLayout();

}  // namespace kelvara
