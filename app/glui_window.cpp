// The panel toolkit's window side: the GLUT sub-window of each panel, its
// Dear ImGui context, drawing the control tree, and the events.
//
// Sections: window state and lookup; drawing the controls; the frame;
// the panel window's events; the master object's forwarding.
//
// Dear ImGui of this version keeps the mouse buttons as a state that is read
// once per frame, so a press and a release that arrive between two frames
// would be lost. Every button or key event therefore draws a frame at once
// (as GLUI draws in its event handlers), and a few more frames are posted so
// that hover and focus settle.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <imgui.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>

#include <cassert>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/glui.h"

// ---- Window state and lookup ----

struct GLUI::WindowState {
  ImGuiContext* context = nullptr;
  int settle_frames = 0;        // frames still to draw after the last event
  std::string layout_path;      // where to write layout_text(), "" for nowhere
  std::string layout_written;   // what was written last
};

namespace {

// Frames drawn after an event so that hover and focus settle.
constexpr int kSettleFrames = 3;
// Indent of a rollout's contents, pixels.
constexpr float kRolloutIndent = 8.0f;
// Width of a spinner's entry box, pixels.
constexpr float kSpinnerFieldWidth = 44.0f;
// Environment variable naming a file that receives the panel's layout text
// (controls, their rectangles and values) whenever it changes; tests use it
// to find the controls on screen.
constexpr const char* kLayoutEnv = "PLICATA_PANEL_LAYOUT";
// Panel background, the grey of the main window.
constexpr float kPanelGrey = 0.9f;

GLUI* gluiOfWindow(int window_id) {
  for (const auto& g : GLUI_Master.gluis) {
    if (g->window_id == window_id) return g.get();
  }
  return nullptr;
}

// The panel whose window is current, with its ImGui context made current.
GLUI* currentPanel() {
  GLUI* g = gluiOfWindow(glutGetWindow());
  if (g != nullptr && g->window_state != nullptr) ImGui::SetCurrentContext(g->window_state->context);
  return g;
}

void postRedisplay(GLUI* g) {
  if (g->window_id > 0) glutPostWindowRedisplay(g->window_id);
}

// ---- Drawing the controls ----

GLUI_Rect lastItemRect(const GLUI* g) {
  const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
  return GLUI_Rect{static_cast<int>(a.x) + g->window_rect.x, static_cast<int>(a.y) + g->window_rect.y,
                   static_cast<int>(b.x - a.x), static_cast<int>(b.y - a.y)};
}

void drawControl(GLUI* g, GLUI_Control* c);

// A panel's children, column by column; a column with a bar gets a vertical
// line on its left as tall as the tallest column.
void drawContents(GLUI* g, GLUI_Control* panel) {
  std::vector<std::vector<GLUI_Control*>> columns(1);
  std::vector<bool> bars(1, false);
  for (GLUI_Control* child : panel->children()) {
    if (child->kind() == GLUI_Kind::kColumn) {
      columns.emplace_back();
      bars.push_back(child->draw_bar());
    } else {
      columns.back().push_back(child);
    }
  }
  if (columns.size() == 1) {
    for (GLUI_Control* child : columns[0]) drawControl(g, child);
    return;
  }
  const ImGuiStyle& style = ImGui::GetStyle();
  const float top = ImGui::GetCursorScreenPos().y;
  float bottom = top;
  std::vector<float> bar_x;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) {
      ImGui::SameLine(0.0f, style.ItemSpacing.x);
      if (bars[i]) {
        bar_x.push_back(ImGui::GetCursorScreenPos().x);
        ImGui::Dummy(ImVec2(1.0f, 1.0f));
        ImGui::SameLine(0.0f, style.ItemSpacing.x);
      }
    }
    ImGui::BeginGroup();
    for (GLUI_Control* child : columns[i]) drawControl(g, child);
    ImGui::EndGroup();
    if (ImGui::GetItemRectMax().y > bottom) bottom = ImGui::GetItemRectMax().y;
  }
  ImDrawList* draw = ImGui::GetWindowDrawList();
  for (float x : bar_x) draw->AddLine(ImVec2(x, top), ImVec2(x, bottom), ImGui::GetColorU32(ImGuiCol_Separator));
}

float buttonWidth(const GLUI_Control* c) {
  const float natural = ImGui::CalcTextSize(c->name().c_str()).x + 2.0f * ImGui::GetStyle().FramePadding.x;
  float w = c->width() > 0 ? static_cast<float>(c->width()) : static_cast<float>(GLUI_DEFAULT_BUTTON_WIDTH);
  if (w < natural) w = natural;
  const float avail = ImGui::GetContentRegionAvail().x;
  if (avail > natural && w > avail) w = avail;
  return w;
}

void alignItem(const GLUI_Control* c, float w) {
  const float avail = ImGui::GetContentRegionAvail().x;
  if (avail <= w) return;
  if (c->alignment() == GLUI_ALIGN_RIGHT) ImGui::SetCursorPosX(ImGui::GetCursorPosX() + avail - w);
  if (c->alignment() == GLUI_ALIGN_CENTER) ImGui::SetCursorPosX(ImGui::GetCursorPosX() + (avail - w) * 0.5f);
}

void drawSpinner(GLUI* g, GLUI_Control* c) {
  const int step = static_cast<int>(c->speed());
  ImGui::BeginGroup();
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(c->name().c_str());
  ImGui::SameLine();
  int v = c->get_int_val();
  ImGui::SetNextItemWidth(kSpinnerFieldWidth);
  if (ImGui::InputInt("##value", &v, 0, 0)) c->user_set_int_val(v);
  c->set_rect(kGluiPartField, lastItemRect(g));
  const float inner = ImGui::GetStyle().ItemInnerSpacing.x;
  ImGui::SameLine(0.0f, inner);
  if (ImGui::ArrowButton("##down", ImGuiDir_Down)) c->user_set_int_val(c->get_int_val() - step);
  c->set_rect(kGluiPartDown, lastItemRect(g));
  ImGui::SameLine(0.0f, inner);
  if (ImGui::ArrowButton("##up", ImGuiDir_Up)) c->user_set_int_val(c->get_int_val() + step);
  c->set_rect(kGluiPartUp, lastItemRect(g));
  ImGui::EndGroup();
}

void drawEditText(GLUI* g, GLUI_Control* c) {
  ImGui::BeginGroup();
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(c->name().c_str());
  ImGui::SameLine();
  float w = ImGui::GetContentRegionAvail().x;
  const float asked = static_cast<float>(c->width()) - ImGui::CalcTextSize(c->name().c_str()).x -
                      ImGui::GetStyle().ItemSpacing.x;
  if (w < asked) w = asked;
  ImGui::SetNextItemWidth(w);
  char buf[GLUI_EDITTEXT_CAPACITY];
  std::snprintf(buf, sizeof buf, "%s", c->get_text());
  if (ImGui::InputText("##text", buf, sizeof buf)) c->user_set_text(buf);
  c->set_rect(kGluiPartField, lastItemRect(g));
  ImGui::EndGroup();
}

// Rows of names; a file's row starts with its second button when there is
// one, a folder's row is indented by as much. Only rows wholly inside the
// box get a place (the others cannot be clicked as they are).
void drawFileBrowser(GLUI* g, GLUI_FileBrowser* fb) {
  ImGui::BeginGroup();
  if (!fb->name().empty()) ImGui::TextUnformatted(fb->name().c_str());
  std::vector<GLUI_FileBrowser::Entry>& entries = fb->entries();
  for (GLUI_FileBrowser::Entry& e : entries) e.rect = e.second_rect = GLUI_Rect{};
  // A box per folder, so that another folder's list starts at its top.
  ImGui::BeginChild(fb->current_dir().c_str(), ImVec2(0.0f, static_cast<float>(fb->height())), true);
  const ImVec2 box_min = ImGui::GetWindowPos();
  const ImVec2 box_max(box_min.x + ImGui::GetWindowSize().x, box_min.y + ImGui::GetWindowSize().y);
  auto inside = [&]() {
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    return a.y >= box_min.y && b.y <= box_max.y;
  };
  const std::string& second = fb->second_button();
  const float second_w = second.empty() ? 0.0f : ImGui::CalcTextSize(second.c_str()).x + 2.0f * ImGui::GetStyle().FramePadding.x;
  size_t chosen = entries.size();
  int action = GLUI_FILEBROWSER_PICK;
  for (size_t i = 0; i < entries.size(); ++i) {
    GLUI_FileBrowser::Entry& e = entries[i];
    ImGui::PushID(static_cast<int>(i));
    if (!second.empty()) {
      if (e.is_dir) {
        ImGui::Dummy(ImVec2(second_w, ImGui::GetTextLineHeight()));
      } else {
        if (ImGui::SmallButton(second.c_str())) chosen = i, action = GLUI_FILEBROWSER_SECOND;
        if (inside()) e.second_rect = lastItemRect(g);
      }
      ImGui::SameLine();
    }
    // The name is drawn as text over an unlabelled row: ImGui would take a
    // "##" in a file's name for the start of an identifier.
    const float x = ImGui::GetCursorPosX();
    if (ImGui::Selectable("##row", false)) chosen = i, action = GLUI_FILEBROWSER_PICK;
    if (inside()) e.rect = lastItemRect(g);
    ImGui::SameLine(x);
    ImGui::TextUnformatted(e.name.c_str());
    ImGui::PopID();
  }
  if (!fb->list_error().empty()) {
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(fb->list_error().c_str());
    ImGui::PopTextWrapPos();
  }
  ImGui::EndChild();
  ImGui::EndGroup();
  // After the loop: a folder's listing replaces the entries.
  if (chosen < entries.size()) fb->user_choose(chosen, action);
}

void drawControl(GLUI* g, GLUI_Control* c) {
  ImGui::PushID(c);
  switch (c->kind()) {
    case GLUI_Kind::kPanel: {
      ImGui::BeginGroup();
      if (c->panel_type() != GLUI_PANEL_NONE && !c->name().empty()) ImGui::TextUnformatted(c->name().c_str());
      drawContents(g, c);
      ImGui::EndGroup();
      if (c->panel_type() != GLUI_PANEL_NONE) {
        ImGui::GetWindowDrawList()->AddRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(),
                                            ImGui::GetColorU32(ImGuiCol_Border));
      }
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    }
    case GLUI_Kind::kRollout: {
      ImGui::SetNextItemOpen(c->is_open(), ImGuiCond_Always);
      const bool open = ImGui::CollapsingHeader(c->name().c_str());
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      if (open != c->is_open()) c->user_toggle();
      if (open) {
        ImGui::Indent(kRolloutIndent);
        drawContents(g, c);
        ImGui::Unindent(kRolloutIndent);
        ImGui::Spacing();
      }
      break;
    }
    case GLUI_Kind::kRadioGroup: {
      ImGui::BeginGroup();
      for (GLUI_Control* b : c->children()) {
        ImGui::PushID(b);
        if (ImGui::RadioButton(b->name().c_str(), c->get_int_val() == b->radio_value())) {
          c->user_set_int_val(b->radio_value());
        }
        b->set_rect(kGluiPartWhole, lastItemRect(g));
        ImGui::PopID();
      }
      ImGui::EndGroup();
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    }
    case GLUI_Kind::kCheckbox: {
      bool v = c->get_int_val() != 0;
      if (ImGui::Checkbox(c->name().c_str(), &v)) c->user_set_int_val(v ? 1 : 0);
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    }
    case GLUI_Kind::kSpinner:
      drawSpinner(g, c);
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    case GLUI_Kind::kEditText:
      drawEditText(g, c);
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    case GLUI_Kind::kButton: {
      const float w = buttonWidth(c);
      alignItem(c, w);
      if (ImGui::Button(c->name().c_str(), ImVec2(w, 0.0f))) c->user_press();
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    }
    case GLUI_Kind::kSeparator:
      ImGui::Separator();
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    case GLUI_Kind::kStaticText:
      ImGui::PushTextWrapPos(0.0f);
      ImGui::TextUnformatted(c->get_text());
      ImGui::PopTextWrapPos();
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    case GLUI_Kind::kFileBrowser:
      drawFileBrowser(g, static_cast<GLUI_FileBrowser*>(c));
      c->set_rect(kGluiPartWhole, lastItemRect(g));
      break;
    case GLUI_Kind::kRadioButton:  // drawn by its group
    case GLUI_Kind::kColumn:       // drawn by its panel
      break;
  }
  ImGui::PopID();
}

// ---- The frame ----

void writeLayout(GLUI* g) {
  GLUI::WindowState* ws = g->window_state;
  if (ws->layout_path.empty()) return;
  const std::string text = g->layout_text();
  if (text == ws->layout_written) return;
  // Written aside and renamed, so that a reader never sees half a layout.
  const std::string tmp = ws->layout_path + ".tmp";
  FILE* fp = std::fopen(tmp.c_str(), "w");
  if (fp == nullptr) return;
  const bool ok = std::fputs(text.c_str(), fp) >= 0;
  if (std::fclose(fp) == 0 && ok && std::rename(tmp.c_str(), ws->layout_path.c_str()) == 0) {
    ws->layout_written = text;
  }
}

// Draws one frame of the panel whose window and context are current, then
// runs the callbacks the frame queued, with the main graphics window
// current.
void drawFrame(GLUI* g) {
  GLUI::WindowState* ws = g->window_state;
  ImGuiIO& io = ImGui::GetIO();
  const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
  if (w <= 0 || h <= 0) return;
  io.DisplaySize = ImVec2(static_cast<float>(w), static_cast<float>(h));
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGLUT_NewFrame();
  // Controls inside a closed rollout are not drawn and have no place.
  for (const auto& c : g->controls()) {
    for (int part = 0; part < kGluiPartCount; ++part) c->set_rect(static_cast<GLUI_Part>(part), GLUI_Rect{});
  }
  ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGui::Begin("##panel", nullptr,
               ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                   ImGuiWindowFlags_NoBringToFrontOnFocus);
  drawContents(g, g->main_panel());
  ImGui::End();
  ImGui::Render();

  glViewport(0, 0, w, h);
  glClearColor(kPanelGrey, kPanelGrey, kPanelGrey, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  glutSwapBuffers();
  writeLayout(g);

  if (ws->settle_frames > 0 || io.WantTextInput) {
    if (ws->settle_frames > 0) --ws->settle_frames;
    postRedisplay(g);
  }
  if (g->has_pending_callbacks()) {
    if (g->main_gfx_window() > 0) glutSetWindow(g->main_gfx_window());
    g->run_callbacks();
  }
  // A control the user changed may have changed what the main graphics
  // window shows (a live variable): it is redrawn, as GLUI does.
  if (g->take_user_change() && g->main_gfx_window() > 0) glutPostWindowRedisplay(g->main_gfx_window());
}

// After an event: a frame now, and a few more soon.
void frameNow(GLUI* g) {
  g->window_state->settle_frames = kSettleFrames;
  drawFrame(g);
}

// ---- The panel window's events ----

void panelDisplay() {
  GLUI* g = currentPanel();
  if (g != nullptr) drawFrame(g);
}

void panelReshape(int w, int h) {
  GLUI* g = currentPanel();
  if (g != nullptr) ImGui_ImplGLUT_ReshapeFunc(w, h);
}

void panelMouse(int button, int state, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  ImGui_ImplGLUT_MouseFunc(button, state, x, y);
  frameNow(g);
}

void panelMotion(int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  ImGui_ImplGLUT_MotionFunc(x, y);
  g->window_state->settle_frames = kSettleFrames;
  postRedisplay(g);
}

void panelWheel(int button, int dir, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  ImGui_ImplGLUT_MouseWheelFunc(button, dir, x, y);
  frameNow(g);
}

void panelEntry(int state) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  // The pointer left: nothing in the panel is hovered any more.
  if (state == GLUT_LEFT) ImGui::GetIO().MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
  postRedisplay(g);
}

// Keys go to the text field being edited; otherwise to the program, with
// the main window current, as if typed there. Releases reach both: the
// program, so that a key held over the drawing and released over the panel
// ends its action, and the panel, so that no key stays down in it when the
// field stopped taking keys between a press and its release (a Return
// left down would close every field as soon as it opens).
void forwardToMain(GLUI* g) {
  glutSetWindow(g->main_gfx_window() > 0 ? g->main_gfx_window() : g->parent_window);
}

void panelKeyboard(unsigned char key, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  if (ImGui::GetIO().WantTextInput) {
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    frameNow(g);
    return;
  }
  if (GLUI_Master.glut_keyboard_CB == nullptr) return;
  forwardToMain(g);
  GLUI_Master.glut_keyboard_CB(key, x + g->window_rect.x, y + g->window_rect.y);
}

void panelKeyboardUp(unsigned char key, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
  frameNow(g);
  if (GLUI_Master.glut_keyboard_up_CB == nullptr) return;
  forwardToMain(g);
  GLUI_Master.glut_keyboard_up_CB(key, x + g->window_rect.x, y + g->window_rect.y);
}

void panelSpecial(int key, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  if (ImGui::GetIO().WantTextInput) {
    ImGui_ImplGLUT_SpecialFunc(key, x, y);
    frameNow(g);
    return;
  }
  if (GLUI_Master.glut_special_CB == nullptr) return;
  forwardToMain(g);
  GLUI_Master.glut_special_CB(key, x + g->window_rect.x, y + g->window_rect.y);
}

void panelSpecialUp(int key, int x, int y) {
  GLUI* g = currentPanel();
  if (g == nullptr) return;
  ImGui_ImplGLUT_SpecialUpFunc(key, x, y);
  frameNow(g);
  if (GLUI_Master.glut_special_up_CB == nullptr) return;
  forwardToMain(g);
  GLUI_Master.glut_special_up_CB(key, x + g->window_rect.x, y + g->window_rect.y);
}

// The window side of a panel lives as long as the process, like its GLUT
// window and GL context: the states stay reachable here, never freed.
GLUI::WindowState* newWindowState() {
  static std::vector<GLUI::WindowState*>* const states = new std::vector<GLUI::WindowState*>;
  states->push_back(new GLUI::WindowState);
  return states->back();
}

void setStyle() {
  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 0.0f;
  style.WindowBorderSize = 0.0f;
  style.FrameRounding = 2.0f;
  style.FrameBorderSize = 1.0f;
  style.WindowPadding = ImVec2(8.0f, 8.0f);
  // Rows a little closer than the library's own spacing, so that the panel
  // down to "Clear Fold" fits the window's first size with every control.
  style.ItemSpacing.y = 3.0f;
  style.FramePadding.y = 2.0f;
  style.Colors[ImGuiCol_WindowBg] = ImVec4(kPanelGrey, kPanelGrey, kPanelGrey, 1.0f);
}

// ---- The master object's forwarding ----

void masterIdle() {
  if (GLUI_Master.glut_idle_CB != nullptr) GLUI_Master.glut_idle_CB();
}

void masterReshape(int w, int h) {
  const int window = glutGetWindow();
  gluiDockPanels(&GLUI_Master, window, w, h);
  for (const auto& owned : GLUI_Master.gluis) {
    GLUI* g = owned.get();
    if (g->parent_window != window || !g->visible() || g->window_id <= 0) continue;
    glutSetWindow(g->window_id);
    glutPositionWindow(g->window_rect.x, g->window_rect.y);
    glutReshapeWindow(g->window_rect.w, g->window_rect.h);
  }
  glutSetWindow(window);
  if (GLUI_Master.glut_reshape_CB != nullptr) GLUI_Master.glut_reshape_CB(w, h);
}

void masterKeyboard(unsigned char key, int x, int y) {
  if (GLUI_Master.glut_keyboard_CB != nullptr) GLUI_Master.glut_keyboard_CB(key, x, y);
}

void masterKeyboardUp(unsigned char key, int x, int y) {
  if (GLUI_Master.glut_keyboard_up_CB != nullptr) GLUI_Master.glut_keyboard_up_CB(key, x, y);
}

void masterMouse(int button, int state, int x, int y) {
  if (GLUI_Master.glut_mouse_CB != nullptr) GLUI_Master.glut_mouse_CB(button, state, x, y);
}

void masterSpecial(int key, int x, int y) {
  if (GLUI_Master.glut_special_CB != nullptr) GLUI_Master.glut_special_CB(key, x, y);
}

void masterSpecialUp(int key, int x, int y) {
  if (GLUI_Master.glut_special_up_CB != nullptr) GLUI_Master.glut_special_up_CB(key, x, y);
}

}  // namespace

GLUI* GLUI_Master_Object::create_glui_subwindow(int parent_window, int flags) {
  assert(flags == GLUI_SUBWINDOW_RIGHT && "panels dock on the right edge only");
  (void)flags;
  const int previous = glutGetWindow();
  glutSetWindow(parent_window);
  const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);

  gluis.push_back(std::make_unique<GLUI>());
  GLUI* g = gluis.back().get();
  g->parent_window = parent_window;
  g->set_main_gfx_window(parent_window);
  gluiDockPanels(this, parent_window, w, h);
  g->window_id = glutCreateSubWindow(parent_window, g->window_rect.x, g->window_rect.y, g->window_rect.w,
                                     g->window_rect.h);
  glutDisplayFunc(panelDisplay);
  glutReshapeFunc(panelReshape);
  glutMouseFunc(panelMouse);
  glutMotionFunc(panelMotion);
  glutPassiveMotionFunc(panelMotion);
  glutMouseWheelFunc(panelWheel);
  glutEntryFunc(panelEntry);
  glutKeyboardFunc(panelKeyboard);
  glutKeyboardUpFunc(panelKeyboardUp);
  glutSpecialFunc(panelSpecial);
  glutSpecialUpFunc(panelSpecialUp);
  glutIgnoreKeyRepeat(1);

  g->window_state = newWindowState();
  const char* layout = std::getenv(kLayoutEnv);
  if (layout != nullptr) g->window_state->layout_path = layout;
  IMGUI_CHECKVERSION();
  g->window_state->context = ImGui::CreateContext();
  ImGui::SetCurrentContext(g->window_state->context);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // nothing of the panel is kept between runs
  io.LogFilename = nullptr;
  setStyle();
  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
  ImGui_ImplGLUT_ReshapeFunc(g->window_rect.w, g->window_rect.h);
  g->redisplay_hook = postRedisplay;
  // A few frames at the start too: the first one measures the controls,
  // the next ones show the scroll bar of a panel taller than its window.
  g->window_state->settle_frames = kSettleFrames;

  glutSetWindow(previous > 0 ? previous : parent_window);
  return g;
}

void GLUI_Master_Object::get_viewport_area(int* x, int* y, int* w, int* h) {
  const int window = glutGetWindow();
  int free_w = glutGet(GLUT_WINDOW_WIDTH);
  for (const auto& g : gluis) {
    if (g->parent_window == window && g->visible()) free_w -= gluiPanelWidth(g.get());
  }
  *x = 0;
  *y = 0;
  *w = free_w > 0 ? free_w : 0;
  *h = glutGet(GLUT_WINDOW_HEIGHT);
}

void GLUI_Master_Object::set_glutIdleFunc(void (*f)()) {
  glut_idle_CB = f;
  // No idle callback at all without one: GLUT's main loop then sleeps until
  // an event or a timer.
  glutIdleFunc(f != nullptr ? masterIdle : nullptr);
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*f)(int, int)) {
  glut_reshape_CB = f;
  glutReshapeFunc(masterReshape);
}

void GLUI_Master_Object::set_glutKeyboardFunc(void (*f)(unsigned char, int, int)) {
  glut_keyboard_CB = f;
  glutKeyboardFunc(masterKeyboard);
}

void GLUI_Master_Object::set_glutKeyboardUpFunc(void (*f)(unsigned char, int, int)) {
  glut_keyboard_up_CB = f;
  glutKeyboardUpFunc(masterKeyboardUp);
}

void GLUI_Master_Object::set_glutMouseFunc(void (*f)(int, int, int, int)) {
  glut_mouse_CB = f;
  glutMouseFunc(masterMouse);
}

void GLUI_Master_Object::set_glutSpecialFunc(void (*f)(int, int, int)) {
  glut_special_CB = f;
  glutSpecialFunc(masterSpecial);
}

void GLUI_Master_Object::set_glutSpecialUpFunc(void (*f)(int, int, int)) {
  glut_special_up_CB = f;
  glutSpecialUpFunc(masterSpecialUp);
}

void GLUI::hide() {
  visible_ = false;
  if (window_id <= 0) return;
  writeLayout(this);
  const int previous = glutGetWindow();
  glutSetWindow(window_id);
  glutHideWindow();
  if (previous > 0) glutSetWindow(previous);
}

void GLUI::show() {
  visible_ = true;
  if (window_id <= 0) return;
  writeLayout(this);
  const int previous = glutGetWindow();
  glutSetWindow(window_id);
  glutShowWindow();
  glutPostRedisplay();
  if (previous > 0) glutSetWindow(previous);
}
