// The control tree of the panel toolkit and its values: no window here.
//
// Sections: controls; static texts and file browsers; building; callbacks;
// layout text; docking.
#include "app/glui.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

GLUI_Master_Object GLUI_Master;

// ---- Controls ----

GLUI_Control::~GLUI_Control() = default;

int GLUI_Control::limited_value(int value) const {
  if (limit_type_ != GLUI_LIMIT_CLAMP) return value;
  if (value < limit_low_) return limit_low_;
  if (value > limit_high_) return limit_high_;
  return value;
}

void GLUI_Control::redisplay_panel() {
  if (glui_ != nullptr) glui_->redisplay();
}

void GLUI_Control::set_int_val(int value) {
  int_val_ = limited_value(value);
  if (live_int_ != nullptr) *live_int_ = int_val_;
  redisplay_panel();
}

void GLUI_Control::set_int_limits(int low, int high, int limit_type) {
  if (low > high) {
    const int t = low;
    low = high;
    high = t;
  }
  limit_low_ = low;
  limit_high_ = high;
  limit_type_ = limit_type == GLUI_LIMIT_CLAMP ? GLUI_LIMIT_CLAMP : GLUI_LIMIT_NONE;
  const int v = limited_value(int_val_);
  if (v != int_val_) set_int_val(v);
}

void GLUI_Control::queue_callback() {
  // Every change the user makes passes here, with or without a callback.
  if (glui_ != nullptr) glui_->user_changed_ = true;
  if (callback_ != nullptr && glui_ != nullptr) glui_->pending_.push_back({callback_, id_});
}

void GLUI_Control::user_set_int_val(int value) {
  set_int_val(value);
  queue_callback();
}

void GLUI_Control::user_set_text(const char* text) {
  if (kind_ != GLUI_Kind::kEditText || text == nullptr) return;
  text_.assign(text, strnlen(text, GLUI_EDITTEXT_CAPACITY - 1));
  if (live_text_ != nullptr) {
    std::memcpy(live_text_, text_.c_str(), text_.size() + 1);
  }
  queue_callback();
}

void GLUI_Control::user_press() { queue_callback(); }

void GLUI_Control::user_toggle() {
  if (kind_ == GLUI_Kind::kRollout) open_ = !open_;
}

void GLUI_Spinner::set_speed(float speed) { static_cast<GLUI_Control*>(this)->speed_ = speed < 1.0f ? 1.0f : speed; }

// ---- Static texts and file browsers ----

void GLUI_StaticText::set_text(const char* text) {
  const char* t = text != nullptr ? text : "";
  if (text_ == t) return;
  text_ = t;
  redisplay_panel();
}

namespace fs = std::filesystem;

namespace {

bool containsIgnoringCase(const std::string& text, const std::string& part) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

void GLUI_FileBrowser::fbreaddir(const char* dir) {
  std::error_code ec;
  fs::path p = fs::absolute(dir != nullptr && dir[0] != '\0' ? dir : ".", ec);
  const fs::path canonical = fs::weakly_canonical(p, ec);
  if (!ec) p = canonical;
  current_dir_ = p.string();
  relist();
}

void GLUI_FileBrowser::set_name_filter(const char* text) {
  name_filter_ = text != nullptr ? text : "";
  relist();
  redisplay_panel();
}

void GLUI_FileBrowser::relist() {
  entries_.clear();
  list_error_.clear();
  if (current_dir_.empty()) return;
  const fs::path dir(current_dir_);
  // The way up comes first and stays, also when this folder cannot be read.
  if (allow_change_dir_ && dir != dir.root_path()) entries_.push_back(Entry{"../", true, {}, {}});
  std::error_code ec;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    list_error_ = ec.message();
    return;
  }
  std::vector<std::string> dirs, files;
  for (; it != fs::directory_iterator() && dirs.size() + files.size() < kGluiFileBrowserMaxEntries;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;  // hidden
    std::error_code type_ec;
    if (it->is_directory(type_ec)) {
      if (allow_change_dir_) dirs.push_back(name + "/");
    } else if ((accept_ == nullptr || accept_(name.c_str())) && containsIgnoringCase(name, name_filter_)) {
      files.push_back(name);
    }
  }
  if (ec) list_error_ = ec.message();
  std::sort(dirs.begin(), dirs.end());
  std::sort(files.begin(), files.end());
  for (const std::string& d : dirs) entries_.push_back(Entry{d, true, {}, {}});
  for (const std::string& f : files) entries_.push_back(Entry{f, false, {}, {}});
}

void GLUI_FileBrowser::user_choose(size_t index, int action) {
  if (index >= entries_.size()) return;
  const Entry chosen = entries_[index];  // a folder's listing replaces the entries
  const fs::path dir(current_dir_);
  if (chosen.is_dir) {
    if (!allow_change_dir_) return;
    const fs::path next =
        chosen.name == "../" ? dir.parent_path() : dir / chosen.name.substr(0, chosen.name.size() - 1);
    fbreaddir(next.string().c_str());
    redisplay_panel();
    return;
  }
  file_ = (dir / chosen.name).string();
  action_ = action == GLUI_FILEBROWSER_SECOND ? GLUI_FILEBROWSER_SECOND : GLUI_FILEBROWSER_PICK;
  queue_callback();
}

// ---- Building ----

GLUI::GLUI() { main_panel_ = add<GLUI_Panel>(GLUI_Kind::kPanel, nullptr, ""); }

GLUI::~GLUI() = default;

template <typename T>
T* GLUI::add(GLUI_Kind kind, GLUI_Control* parent, const char* name) {
  auto control = std::make_unique<T>();
  T* c = control.get();
  GLUI_Control* base = c;
  base->kind_ = kind;
  base->name_ = name != nullptr ? name : "";
  base->glui_ = this;
  base->parent_ = parent;
  if (parent != nullptr) parent->children_.push_back(base);
  controls_.push_back(std::move(control));
  return c;
}

void GLUI::redisplay() {
  if (redisplay_hook != nullptr) redisplay_hook(this);
}

GLUI_Rollout* GLUI::add_rollout(const char* name, int open, int type) {
  GLUI_Rollout* r = add<GLUI_Rollout>(GLUI_Kind::kRollout, main_panel_, name);
  GLUI_Control* c = r;
  c->open_ = open != 0;
  c->panel_type_ = type;
  return r;
}

GLUI_Panel* GLUI::add_panel(const char* name, int type) { return add_panel_to_panel(main_panel_, name, type); }

GLUI_Panel* GLUI::add_panel_to_panel(GLUI_Panel* panel, const char* name, int type) {
  GLUI_Panel* p = add<GLUI_Panel>(GLUI_Kind::kPanel, panel != nullptr ? panel : main_panel_, name);
  static_cast<GLUI_Control*>(p)->panel_type_ = type;
  return p;
}

GLUI_RadioGroup* GLUI::add_radiogroup_to_panel(GLUI_Panel* panel, int* live_var, int id, GLUI_Update_CB callback) {
  GLUI_RadioGroup* g = add<GLUI_RadioGroup>(GLUI_Kind::kRadioGroup, panel != nullptr ? panel : main_panel_, "");
  GLUI_Control* c = g;
  c->live_int_ = live_var;
  c->id_ = id;
  c->callback_ = callback;
  if (live_var != nullptr) c->int_val_ = *live_var;
  return g;
}

GLUI_RadioButton* GLUI::add_radiobutton_to_group(GLUI_RadioGroup* group, const char* name) {
  assert(group != nullptr && "a radio button belongs to a group");
  const int value = static_cast<int>(group->children().size());
  GLUI_RadioButton* b = add<GLUI_RadioButton>(GLUI_Kind::kRadioButton, group, name);
  static_cast<GLUI_Control*>(b)->radio_value_ = value;
  return b;
}

GLUI_Checkbox* GLUI::add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var, int id,
                                          GLUI_Update_CB callback) {
  GLUI_Checkbox* b = add<GLUI_Checkbox>(GLUI_Kind::kCheckbox, panel != nullptr ? panel : main_panel_, name);
  GLUI_Control* c = b;
  c->live_int_ = live_var;
  c->id_ = id;
  c->callback_ = callback;
  if (live_var != nullptr) c->int_val_ = *live_var;
  return b;
}

GLUI_Spinner* GLUI::add_spinner_to_panel(GLUI_Panel* panel, const char* name, int data_type, void* live_var, int id,
                                         GLUI_Update_CB callback) {
  assert(data_type == GLUI_SPINNER_INT && "only integer spinners are built");
  (void)data_type;
  GLUI_Spinner* s = add<GLUI_Spinner>(GLUI_Kind::kSpinner, panel != nullptr ? panel : main_panel_, name);
  GLUI_Control* c = s;
  c->live_int_ = static_cast<int*>(live_var);
  c->id_ = id;
  c->callback_ = callback;
  if (c->live_int_ != nullptr) c->int_val_ = *c->live_int_;
  return s;
}

GLUI_EditText* GLUI::add_edittext(const char* name, int data_type, void* live_var, int id, GLUI_Update_CB callback) {
  return add_edittext_to_panel(main_panel_, name, data_type, live_var, id, callback);
}

GLUI_EditText* GLUI::add_edittext_to_panel(GLUI_Panel* panel, const char* name, int data_type, void* live_var, int id,
                                           GLUI_Update_CB callback) {
  assert(data_type == GLUI_EDITTEXT_TEXT && "only text fields are built");
  (void)data_type;
  GLUI_EditText* t = add<GLUI_EditText>(GLUI_Kind::kEditText, panel != nullptr ? panel : main_panel_, name);
  GLUI_Control* c = t;
  c->live_text_ = static_cast<char*>(live_var);
  c->id_ = id;
  c->callback_ = callback;
  if (c->live_text_ != nullptr) {
    c->text_.assign(c->live_text_, strnlen(c->live_text_, GLUI_EDITTEXT_CAPACITY - 1));
  }
  return t;
}

GLUI_StaticText* GLUI::add_statictext_to_panel(GLUI_Panel* panel, const char* name) {
  GLUI_StaticText* t = add<GLUI_StaticText>(GLUI_Kind::kStaticText, panel != nullptr ? panel : main_panel_, name);
  static_cast<GLUI_Control*>(t)->text_ = name != nullptr ? name : "";
  return t;
}

GLUI_FileBrowser* GLUI::add_filebrowser_to_panel(GLUI_Panel* panel, const char* name, int id,
                                                 GLUI_Update_CB callback) {
  GLUI_FileBrowser* b = add<GLUI_FileBrowser>(GLUI_Kind::kFileBrowser, panel != nullptr ? panel : main_panel_, name);
  GLUI_Control* c = b;
  c->id_ = id;
  c->callback_ = callback;
  return b;
}

GLUI_Button* GLUI::add_button(const char* name, int id, GLUI_Update_CB callback) {
  return add_button_to_panel(main_panel_, name, id, callback);
}

GLUI_Button* GLUI::add_button_to_panel(GLUI_Panel* panel, const char* name, int id, GLUI_Update_CB callback) {
  GLUI_Button* b = add<GLUI_Button>(GLUI_Kind::kButton, panel != nullptr ? panel : main_panel_, name);
  GLUI_Control* c = b;
  c->id_ = id;
  c->callback_ = callback;
  return b;
}

void GLUI::add_column_to_panel(GLUI_Panel* panel, int draw_bar) {
  GLUI_Column* col = add<GLUI_Column>(GLUI_Kind::kColumn, panel != nullptr ? panel : main_panel_, "");
  static_cast<GLUI_Control*>(col)->draw_bar_ = draw_bar != 0;
}

void GLUI::add_separator() { add<GLUI_Separator>(GLUI_Kind::kSeparator, main_panel_, ""); }

// ---- Callbacks ----

void GLUI::run_callbacks() {
  std::vector<Pending> now;
  now.swap(pending_);
  for (const Pending& p : now) p.callback(p.id);
}

// ---- Layout text ----

namespace {

const char* kindName(GLUI_Kind kind) {
  switch (kind) {
    case GLUI_Kind::kPanel: return "panel";
    case GLUI_Kind::kRollout: return "rollout";
    case GLUI_Kind::kRadioGroup: return "radiogroup";
    case GLUI_Kind::kRadioButton: return "radiobutton";
    case GLUI_Kind::kCheckbox: return "checkbox";
    case GLUI_Kind::kSpinner: return "spinner";
    case GLUI_Kind::kEditText: return "edittext";
    case GLUI_Kind::kButton: return "button";
    case GLUI_Kind::kColumn: return "column";
    case GLUI_Kind::kSeparator: return "separator";
    case GLUI_Kind::kStaticText: return "statictext";
    case GLUI_Kind::kFileBrowser: return "filebrowser";
  }
  return "control";
}

void appendRect(std::string* out, const GLUI_Rect& r) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d\t%d\t%d\t%d", r.x, r.y, r.w, r.h);
  *out += buf;
}

void appendBrowserRows(std::string* out, const GLUI_FileBrowser* b) {
  for (const GLUI_FileBrowser::Entry& e : b->entries()) {
    if (e.rect.w == 0) continue;
    *out += "item\t" + e.name + "\t";
    appendRect(out, e.rect);
    *out += "\t" + b->name() + "\n";
    if (e.second_rect.w == 0) continue;
    *out += "part\t" + e.name + "\t" + b->second_button() + "\t";
    appendRect(out, e.second_rect);
    *out += '\n';
  }
}

}  // namespace

std::string GLUI::layout_text() const {
  std::string out = "window\t";
  appendRect(&out, window_rect);
  out += visible_ ? "\t1\n" : "\t0\n";
  for (const auto& owned : controls_) {
    const GLUI_Control* c = owned.get();
    if (c->kind() == GLUI_Kind::kColumn || c->kind() == GLUI_Kind::kPanel) continue;
    out += kindName(c->kind());
    out += '\t';
    out += c->name();
    out += '\t';
    appendRect(&out, c->rect());
    out += '\t';
    switch (c->kind()) {
      case GLUI_Kind::kEditText:
      case GLUI_Kind::kStaticText: out += c->get_text(); break;
      case GLUI_Kind::kFileBrowser: out += static_cast<const GLUI_FileBrowser*>(c)->current_dir(); break;
      case GLUI_Kind::kRollout: out += c->is_open() ? "1" : "0"; break;
      case GLUI_Kind::kRadioButton:
        out += c->parent() != nullptr && c->parent()->get_int_val() == c->radio_value() ? "1" : "0";
        break;
      default: out += std::to_string(c->get_int_val()); break;
    }
    out += '\n';
    static const char* const kPartNames[kGluiPartCount] = {"", "field", "down", "up"};
    for (int p = kGluiPartField; p < kGluiPartCount; ++p) {
      const GLUI_Rect r = c->rect(static_cast<GLUI_Part>(p));
      if (r.w == 0) continue;
      out += "part\t";
      out += c->name();
      out += '\t';
      out += kPartNames[p];
      out += '\t';
      appendRect(&out, r);
      out += '\n';
    }
    if (c->kind() == GLUI_Kind::kFileBrowser) appendBrowserRows(&out, static_cast<const GLUI_FileBrowser*>(c));
  }
  return out;
}

// ---- Docking ----

namespace {

// Room around the controls inside the panel window, pixels per side.
constexpr int kGluiPanelMargin = 8;

}  // namespace

int gluiPanelWidth(const GLUI* glui) {
  int widest = 0;
  for (const GLUI_Control* c : glui->main_panel()->children()) {
    if (c->width() > widest) widest = c->width();
  }
  int w = widest + 2 * kGluiPanelMargin;
  if (w < kGluiPanelMinWidth) w = kGluiPanelMinWidth;
  if (w > kGluiPanelMaxWidth) w = kGluiPanelMaxWidth;
  return w;
}

void gluiDockPanels(GLUI_Master_Object* master, int parent_window, int w, int h) {
  int right = w;
  for (const auto& owned : master->gluis) {
    GLUI* g = owned.get();
    if (g->parent_window != parent_window || !g->visible()) continue;
    const int pw = gluiPanelWidth(g);
    int x = right - pw;
    if (x < 0) x = 0;
    g->window_rect = GLUI_Rect{x, 0, pw, h > 0 ? h : 1};
    right = x;
  }
}
