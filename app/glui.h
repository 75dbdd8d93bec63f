// The control panel's toolkit: a small layer in the shape of GLUI 2.x, drawn
// and driven by Dear ImGui inside a GLUT sub-window docked on the right of
// the main window. Only what the panel uses is built.
//
// Sections: constants; controls (values, live variables, limits, callbacks);
// the panel window GLUI (building the control tree); the master object
// GLUI_Master (sub-windows and the forwarding of the main window's
// callbacks).
//
// A control keeps its own value. It shows the value of its live variable
// when it is created; a change made by the user, or by set_int_val, is
// written into the live variable at once; a change of the live variable by
// other code is not shown until set_int_val is called. Callbacks run only
// for changes made by the user, after the panel has been drawn, with the
// main graphics window current (set_main_gfx_window).
//
// The control tree and its values (glui.cpp) need no window, so that tests
// build and operate a panel without one; drawing, events and the GLUT
// sub-window live in glui_window.cpp. Window-system thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Panel and rollout frames.
constexpr int GLUI_PANEL_NONE = 0;
constexpr int GLUI_PANEL_EMBOSSED = 1;
// Value types of spinners and text fields (only these two are built).
constexpr int GLUI_SPINNER_INT = 2;
constexpr int GLUI_EDITTEXT_TEXT = 1;
// What set_int_limits does with a value out of range.
constexpr int GLUI_LIMIT_NONE = 0;
constexpr int GLUI_LIMIT_CLAMP = 1;
// Horizontal alignment of a control narrower than its column.
constexpr int GLUI_ALIGN_CENTER = 1;
constexpr int GLUI_ALIGN_RIGHT = 2;
constexpr int GLUI_ALIGN_LEFT = 3;
// Where a panel window docks in its parent (only the right edge is built).
constexpr int GLUI_SUBWINDOW_RIGHT = 32;

// Capacity of a text field's live variable, terminating zero included: the
// text a user types is cut to fit.
constexpr size_t GLUI_EDITTEXT_CAPACITY = 1024;

// Width of a button that was given none, pixels.
constexpr int GLUI_DEFAULT_BUTTON_WIDTH = 100;

using GLUI_Update_CB = void (*)(int id);

class GLUI;

enum class GLUI_Kind {
  kPanel,
  kRollout,
  kRadioGroup,
  kRadioButton,
  kCheckbox,
  kSpinner,
  kEditText,
  kButton,
  kColumn,
  kSeparator,
  kStaticText,
  kFileBrowser,
};

// A rectangle in pixels, in the coordinates of the main window (x right, y
// down). Empty (w = 0) until the control has been drawn.
struct GLUI_Rect {
  int x = 0, y = 0, w = 0, h = 0;
};

// Parts of a control that can be clicked separately.
enum GLUI_Part {
  kGluiPartWhole = 0,  // the whole control; a rollout's header
  kGluiPartField = 1,  // a spinner's or text field's entry box
  kGluiPartDown = 2,   // a spinner's decrement button
  kGluiPartUp = 3,     // a spinner's increment button
  kGluiPartCount = 4,
};

class GLUI_Control {
 public:
  virtual ~GLUI_Control();

  // The control's value (check box 0/1, radio group: the value of the chosen
  // button, spinner: its number).
  int get_int_val() const { return int_val_; }
  // Sets the value (limited as set_int_limits says), writes it into the live
  // variable and redraws the panel; runs no callback.
  void set_int_val(int value);
  // Limits the value to [low, high] (GLUI_LIMIT_CLAMP) or lifts the limits
  // (GLUI_LIMIT_NONE); a present value out of range is clamped at once and
  // written into the live variable. low > high is taken as [high, low].
  void set_int_limits(int low, int high, int limit_type = GLUI_LIMIT_CLAMP);
  // Smallest width in pixels; the panel window's width caps it.
  void set_w(int w) { w_ = w; }
  // GLUI_ALIGN_LEFT, _CENTER or _RIGHT within the column.
  void set_alignment(int alignment) { alignment_ = alignment; }
  // The text of a text field or a static text ("" for other controls).
  const char* get_text() const { return text_.c_str(); }

  // What the widgets do when the user operates them: the same as the
  // setters above, then the control's callback is queued with its id.
  void user_set_int_val(int value);
  void user_set_text(const char* text);
  void user_press();
  // Opens or closes a rollout (no callback).
  void user_toggle();

  GLUI_Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  GLUI_Control* parent() const { return parent_; }
  const std::vector<GLUI_Control*>& children() const { return children_; }
  int width() const { return w_; }
  int alignment() const { return alignment_; }
  int panel_type() const { return panel_type_; }
  bool draw_bar() const { return draw_bar_; }
  bool is_open() const { return open_; }
  float speed() const { return speed_; }
  // A radio button's value within its group (0, 1, 2 in the order added).
  int radio_value() const { return radio_value_; }

  // Where the drawing put the control (or one of its parts).
  GLUI_Rect rect(GLUI_Part part = kGluiPartWhole) const { return rects_[part]; }
  void set_rect(GLUI_Part part, const GLUI_Rect& r) { rects_[part] = r; }

 protected:
  GLUI_Control() = default;

 private:
  friend class GLUI;
  friend class GLUI_Spinner;
  friend class GLUI_StaticText;
  friend class GLUI_FileBrowser;
  int limited_value(int value) const;
  void queue_callback();
  void redisplay_panel();

  GLUI_Kind kind_ = GLUI_Kind::kPanel;
  std::string name_;
  GLUI* glui_ = nullptr;
  GLUI_Control* parent_ = nullptr;
  std::vector<GLUI_Control*> children_;
  int id_ = -1;
  GLUI_Update_CB callback_ = nullptr;
  int* live_int_ = nullptr;
  char* live_text_ = nullptr;
  int int_val_ = 0;
  std::string text_;
  int limit_type_ = GLUI_LIMIT_NONE;
  int limit_low_ = 0, limit_high_ = 0;
  int w_ = 0;
  int alignment_ = GLUI_ALIGN_LEFT;
  int panel_type_ = GLUI_PANEL_NONE;
  bool draw_bar_ = false;
  bool open_ = true;
  float speed_ = 1.0f;
  int radio_value_ = 0;
  GLUI_Rect rects_[kGluiPartCount];
};

// The control types: handles with the type GLUI gives them; they add no
// data of their own.
class GLUI_Panel : public GLUI_Control {};
class GLUI_Rollout : public GLUI_Panel {};
class GLUI_RadioGroup : public GLUI_Control {};
class GLUI_RadioButton : public GLUI_Control {};
class GLUI_Checkbox : public GLUI_Control {};
class GLUI_Spinner : public GLUI_Control {
 public:
  // Units per step of the arrows (whole units for integer spinners; at
  // least 1).
  void set_speed(float speed);
};
class GLUI_EditText : public GLUI_Control {};
class GLUI_Button : public GLUI_Control {};
class GLUI_Column : public GLUI_Control {};
class GLUI_Separator : public GLUI_Control {};
// A line of text the program sets; it wraps at the panel's edge.
class GLUI_StaticText : public GLUI_Control {
 public:
  // Shows text (redrawing the panel when it changed); runs no callback.
  void set_text(const char* text);
};

// How a file of a file browser was chosen (get_action).
constexpr int GLUI_FILEBROWSER_PICK = 0;    // its name was clicked
constexpr int GLUI_FILEBROWSER_SECOND = 1;  // its second button (set_second_button) was clicked

// A list of the folders and files of one folder, in a box of its own height
// that scrolls. A click on a folder lists that folder ("../" the one above),
// when changing folders is allowed; a click on a file, or on its second
// button, chooses it: get_file and get_action then say which and how, and
// the callback runs. The listing is read when fbreaddir is called (and again
// when a filter changes), not kept up to date with the disk.
class GLUI_FileBrowser : public GLUI_Control {
 public:
  struct Entry {
    std::string name;  // as shown: a folder's name ends with '/'; "../" is the folder above
    bool is_dir = false;
    GLUI_Rect rect;         // where the drawing put the row (w = 0: not shown)
    GLUI_Rect second_rect;  // where it put the row's second button
  };

  // Lists dir (made absolute and canonical): "../" first unless dir is the
  // root or changing folders is not allowed, then its folders (none when not
  // allowed), then the files the file filter accepts whose names contain the
  // name filter (ignoring case), each group sorted by name; names starting
  // with '.' are hidden. A folder that cannot be read lists only "../", and
  // list_error() says why ("" otherwise). At most kGluiFileBrowserMaxEntries
  // entries are listed.
  void fbreaddir(const char* dir);
  void set_allow_change_dir(int allow) { allow_change_dir_ = allow != 0; }
  // Which files are listed (every file when null). name is the file's name
  // without its folder.
  void set_file_filter(bool (*accept)(const char* name)) { accept_ = accept; }
  // Lists the present folder again with another name filter.
  void set_name_filter(const char* text);
  // A second button on every file's row, with this label ("" for none).
  void set_second_button(const char* label) { second_label_ = label != nullptr ? label : ""; }
  // Height of the list's box, pixels.
  void set_h(int h) { h_ = h > 0 ? h : 1; }

  // The path of the file chosen last ("" before any), and how it was chosen.
  const char* get_file() const { return file_.c_str(); }
  int get_action() const { return action_; }
  const std::string& current_dir() const { return current_dir_; }
  const std::string& list_error() const { return list_error_; }
  const std::string& second_button() const { return second_label_; }
  int height() const { return h_; }
  std::vector<Entry>& entries() { return entries_; }
  const std::vector<Entry>& entries() const { return entries_; }

  // What the widget does when entry index is clicked (action
  // GLUI_FILEBROWSER_PICK) or its second button (GLUI_FILEBROWSER_SECOND):
  // a folder is listed, a file chosen and the callback queued. An index out
  // of range does nothing.
  void user_choose(size_t index, int action);

 private:
  void relist();

  std::string current_dir_;
  std::string name_filter_;
  std::string list_error_;
  std::string file_;
  std::string second_label_;
  int action_ = GLUI_FILEBROWSER_PICK;
  bool allow_change_dir_ = true;
  bool (*accept_)(const char* name) = nullptr;
  int h_ = 120;
  std::vector<Entry> entries_;
};

// Most entries a file browser lists: a folder of a hundred thousand files
// would otherwise make every frame of the panel slow.
constexpr size_t kGluiFileBrowserMaxEntries = 2000;

// One panel window and its controls. Controls belong to it and live as long
// as it does. Live variables must outlive it (the program's globals do).
class GLUI {
 public:
  GLUI();
  ~GLUI();
  GLUI(const GLUI&) = delete;
  GLUI& operator=(const GLUI&) = delete;

  // The window whose callbacks see the panel's changes; it is made current
  // before a callback runs.
  void set_main_gfx_window(int window_id) { main_gfx_window_ = window_id; }
  int main_gfx_window() const { return main_gfx_window_; }

  // Building, in GLUI 2.x argument order. "Top level" controls go into the
  // panel window itself. A live variable may be null; an id of -1 and a
  // null callback report to nobody.
  GLUI_Rollout* add_rollout(const char* name, int open = 1, int type = GLUI_PANEL_EMBOSSED);
  GLUI_Panel* add_panel(const char* name, int type = GLUI_PANEL_EMBOSSED);
  GLUI_Panel* add_panel_to_panel(GLUI_Panel* panel, const char* name, int type = GLUI_PANEL_EMBOSSED);
  GLUI_RadioGroup* add_radiogroup_to_panel(GLUI_Panel* panel, int* live_var = nullptr, int id = -1,
                                           GLUI_Update_CB callback = nullptr);
  GLUI_RadioButton* add_radiobutton_to_group(GLUI_RadioGroup* group, const char* name);
  GLUI_Checkbox* add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var = nullptr, int id = -1,
                                       GLUI_Update_CB callback = nullptr);
  // data_type must be GLUI_SPINNER_INT and live_var an int.
  GLUI_Spinner* add_spinner_to_panel(GLUI_Panel* panel, const char* name, int data_type = GLUI_SPINNER_INT,
                                     void* live_var = nullptr, int id = -1, GLUI_Update_CB callback = nullptr);
  // data_type must be GLUI_EDITTEXT_TEXT and live_var a buffer of
  // GLUI_EDITTEXT_CAPACITY characters holding a terminated text.
  GLUI_EditText* add_edittext(const char* name, int data_type = GLUI_EDITTEXT_TEXT, void* live_var = nullptr,
                              int id = -1, GLUI_Update_CB callback = nullptr);
  GLUI_EditText* add_edittext_to_panel(GLUI_Panel* panel, const char* name, int data_type = GLUI_EDITTEXT_TEXT,
                                       void* live_var = nullptr, int id = -1, GLUI_Update_CB callback = nullptr);
  // The text shown starts as name.
  GLUI_StaticText* add_statictext_to_panel(GLUI_Panel* panel, const char* name);
  // An empty browser; fbreaddir fills it. The callback runs when a file is
  // chosen.
  GLUI_FileBrowser* add_filebrowser_to_panel(GLUI_Panel* panel, const char* name, int id = -1,
                                             GLUI_Update_CB callback = nullptr);
  GLUI_Button* add_button(const char* name, int id = -1, GLUI_Update_CB callback = nullptr);
  GLUI_Button* add_button_to_panel(GLUI_Panel* panel, const char* name, int id = -1,
                                   GLUI_Update_CB callback = nullptr);
  // Controls added to panel after this go into a new column beside the
  // earlier ones, with a vertical bar between them when draw_bar is set.
  void add_column_to_panel(GLUI_Panel* panel, int draw_bar = 1);
  void add_separator();

  // Hides or shows the panel window (the main window's drawing area then
  // grows or shrinks on its next reshape). Need the window (glui_window.cpp).
  void hide();
  void show();
  bool visible() const { return visible_; }

  // The panel window itself, parent of the top-level controls.
  GLUI_Panel* main_panel() const { return main_panel_; }
  // Every control in the order added.
  const std::vector<std::unique_ptr<GLUI_Control>>& controls() const { return controls_; }

  // Runs the callbacks that user changes have queued, oldest first. A
  // callback that changes controls queues nothing (set_int_val runs none).
  void run_callbacks();
  bool has_pending_callbacks() const { return !pending_.empty(); }

  // Whether the user changed a control (a value, a text, a button, a file
  // chosen) since the last call, which clears it: the window part then
  // redraws the main graphics window, since a live variable may have
  // changed what it shows.
  bool take_user_change() {
    const bool changed = user_changed_;
    user_changed_ = false;
    return changed;
  }

  // One line per control in the order added:
  //   kind <TAB> name <TAB> x <TAB> y <TAB> w <TAB> h <TAB> value
  // (rectangle in main-window pixels, value the int value, the text of a
  // text field or static text, 1/0 for an open rollout or a chosen radio
  // button, a file browser's folder), followed by lines
  // "part <TAB> name <TAB> field|down|up <TAB> x y w h" for the separately
  // clickable parts; a file browser's shown rows follow it as
  // "item <TAB> entry <TAB> x y w h <TAB> browser name" and their second
  // buttons as "part <TAB> entry <TAB> label <TAB> x y w h". Columns and
  // plain panels are left out.
  // The first line describes the window: "window <TAB> x y w h visible".
  std::string layout_text() const;

  // Called when a value shown in the panel changed outside a frame (set by
  // the window part; null without a window).
  void (*redisplay_hook)(GLUI* glui) = nullptr;
  // The panel window: GLUT id and place in the parent window.
  int window_id = 0;
  int parent_window = 0;
  GLUI_Rect window_rect;
  // Window-side state (the ImGui context and its frames), made by
  // glui_window.cpp and kept for the whole run, as the window is; null
  // without a window.
  struct WindowState;
  WindowState* window_state = nullptr;

 private:
  friend class GLUI_Control;
  template <typename T>
  T* add(GLUI_Kind kind, GLUI_Control* parent, const char* name);
  void redisplay();

  std::vector<std::unique_ptr<GLUI_Control>> controls_;
  GLUI_Panel* main_panel_ = nullptr;
  int main_gfx_window_ = 0;
  bool visible_ = true;
  bool user_changed_ = false;
  struct Pending {
    GLUI_Update_CB callback;
    int id;
  };
  std::vector<Pending> pending_;
};

// The master object: creates panel windows and stands between the main
// window and its callbacks, so that the panel gets its share of the window.
class GLUI_Master_Object {
 public:
  // Creates a panel window docked on the right edge of parent_window
  // (flags: GLUI_SUBWINDOW_RIGHT), as tall as the parent. The window that
  // was current stays current. The panel is as wide as its widest control
  // asks (set_w), within a fixed range.
  GLUI* create_glui_subwindow(int parent_window, int flags);

  // The part of the current window that its visible panel windows leave
  // free, in pixels.
  void get_viewport_area(int* x, int* y, int* w, int* h);

  // Register the callback on the current window, passing through GLUI:
  // reshape first docks the panel windows, then calls f; the idle callback
  // is the window system's single one. The key-release forwarding lets keys
  // released while the pointer is over a panel reach the program.
  void set_glutIdleFunc(void (*f)());
  void set_glutReshapeFunc(void (*f)(int, int));
  void set_glutKeyboardFunc(void (*f)(unsigned char, int, int));
  void set_glutKeyboardUpFunc(void (*f)(unsigned char, int, int));
  void set_glutMouseFunc(void (*f)(int, int, int, int));
  void set_glutSpecialFunc(void (*f)(int, int, int));
  void set_glutSpecialUpFunc(void (*f)(int, int, int));

  // The callbacks registered above (null until set).
  void (*glut_idle_CB)() = nullptr;
  void (*glut_reshape_CB)(int, int) = nullptr;
  void (*glut_keyboard_CB)(unsigned char, int, int) = nullptr;
  void (*glut_keyboard_up_CB)(unsigned char, int, int) = nullptr;
  void (*glut_mouse_CB)(int, int, int, int) = nullptr;
  void (*glut_special_CB)(int, int, int) = nullptr;
  void (*glut_special_up_CB)(int, int, int) = nullptr;

  // Every panel window created.
  std::vector<std::unique_ptr<GLUI>> gluis;
};

extern GLUI_Master_Object GLUI_Master;

// Panel window width range, pixels: set_w asks for more, never beyond the
// widest; the panel is never narrower than the narrowest.
constexpr int kGluiPanelMinWidth = 200;
constexpr int kGluiPanelMaxWidth = 240;

// The panel window width for the controls of glui: the largest set_w of its
// top-level controls plus the margins, within the range above.
int gluiPanelWidth(const GLUI* glui);

// Docks the panel windows of parent_window (w × h pixels) on its right edge:
// each visible one gets its rectangle (window_rect) as tall as the parent,
// the first at the right edge, the next to its left. Positions never go
// below 0. No window needed.
void gluiDockPanels(GLUI_Master_Object* master, int parent_window, int w, int h);
