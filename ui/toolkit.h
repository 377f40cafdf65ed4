// The window toolkit: forms, controls and timers as a portable model. The model
// holds every property and raises every event; a Binding mirrors it into native
// windows and feeds the user's input back through the User* entry points.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui {

inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kNonModalWhileModal = 401;

// A failure raised by the toolkit: a number and a description.
class ToolkitError : public std::runtime_error {
 public:
  ToolkitError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }
  std::string Description() const { return what(); }

  static ToolkitError InvalidPropertyValue();
  static ToolkitError NonModalWhileModal();

 private:
  int number_;
};

// Geometry is in twips (1/1440 inch).
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Color&) const = default;
};

// A picture or icon loaded by the binding; the model only hands it around.
class NativeResource {
 public:
  virtual ~NativeResource() = default;
  virtual void* Handle() const = 0;
};
using Resource = std::shared_ptr<const NativeResource>;

enum class MessageIcon { Information, Warning };
enum class WindowState { Normal, Minimised };
enum class ControlKind { Label, TextBox, CheckBox, PushButton, DropDownList, Image };
enum class ControlChange {
  Caption,
  Text,
  Value,
  Items,
  ListIndex,
  Enabled,
  Visible,
  BackColor,
  Picture,
  AccessibleName
};
enum class FormChange { Caption, Icon, Visible, WindowState, Position, BackColor };
// Embedded art the binding can load.
enum class EmbeddedArt { Logo, AppIcon };

class Form;
class Control;
class Timer;

// The platform side of the toolkit.
class Binding {
 public:
  virtual ~Binding() = default;
  // Ties a loaded form to the platform. It gets no native window until MakeWindow.
  virtual void Load(Form& form) = 0;
  virtual void Unload(Form& form) = 0;
  // Gives the loaded form its native window, hidden, if it has none yet.
  virtual void MakeWindow(Form& form) = 0;
  // Gives the form's controls their windows, as the model has them now, if they
  // have none yet; the form has its own window.
  virtual void MakeControlWindows(Form& form) = 0;
  virtual void Update(Form& form, FormChange change) = 0;
  virtual void Update(Control& control, ControlChange change) = 0;
  virtual void Repaint(Form& form) = 0;
  // Starts a new full period when the timer is enabled, stops it otherwise.
  virtual void Schedule(Timer& timer) = 0;
  // Runs `task` after the event being handled has returned.
  virtual void Post(std::function<void()> task) = 0;
  // Serves events until EndRun.
  virtual void RunLoop() = 0;
  virtual void EndRun() = 0;
  virtual void ShowMessage(const Form* owner, const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  // Brings the message box that is shown to the front.
  virtual void RaiseMessageBox() {}
  virtual Resource LoadArt(EmbeddedArt art) = 0;
  // Outer size of the form, frame included, in twips.
  virtual int OuterWidth(const Form& form) = 0;
  virtual int OuterHeight(const Form& form) = 0;
  // The screen's size in the twips of `form`, whose monitor sets their size.
  virtual int ScreenWidth(const Form& form) = 0;
  virtual int ScreenHeight(const Form& form) = 0;
  // The form's native window; null while it has none.
  virtual void* NativeHandle(const Form& form) const = 0;
};

class Application {
 public:
  explicit Application(Binding& binding) : binding_(binding) {}
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Binding& Platform() { return binding_; }

  // Serves events until no form is loaded, then destroys every form object
  // (raises each one's Terminate event).
  void Run();
  bool ModalDisplayed() const { return modal_ != nullptr; }
  // A modal message box, owned by the visible form if there is one.
  void MsgBox(const std::string& text, const std::string& caption, MessageIcon icon);
  bool MessageBoxShown() const { return !box_owners_.empty(); }
  // The form that owns the innermost box shown; none for a box of its own.
  const Form* MessageBoxOwner() const { return box_owners_.empty() ? nullptr : box_owners_.back(); }
  // Runs `task` once no message box is shown any more.
  void AfterMessageBox(std::function<void()> task);

 private:
  friend class Form;
  void Register(Form* form) { forms_.push_back(form); }
  void Forget(Form* form);
  void FormUnloaded();

  Binding& binding_;
  std::vector<Form*> forms_;
  Form* modal_ = nullptr;
  std::function<void()> modal_end_;
  std::vector<const Form*> box_owners_;
  std::vector<std::function<void()>> after_boxes_;
};

class Control {
 public:
  Control(Form& form, ControlKind kind, std::string name, Rect bounds, int tab_index);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Form& Owner() const { return form_; }
  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  const Rect& Bounds() const { return bounds_; }
  // -1: not a tab stop.
  int TabIndex() const { return tab_index_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const std::optional<Color>& BackColor() const { return back_color_; }
  void SetBackColor(Color color);
  // The caption of a label, check box or button; the text of a text box.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  // The name a screen reader gives the control, for one whose caption does not
  // name it (a list, a text box); empty: the platform's own choice.
  const std::string& AccessibleName() const { return accessible_name_; }
  void SetAccessibleName(const std::string& name);

 protected:
  void Changed(ControlChange change);

  std::string caption_;

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  Rect bounds_;
  int tab_index_;
  bool enabled_ = true;
  bool visible_ = true;
  std::optional<Color> back_color_;
  std::string accessible_name_;
};

class Label : public Control {
 public:
  Label(Form& form, std::string name, Rect bounds, int tab_index, const std::string& caption);
  // The control this label names for screen readers, which read a control
  // without a caption of its own by the label just before it in the z-order.
  const Control* Named() const { return named_; }
  void SetNamed(const Control& control) { named_ = &control; }

 private:
  const Control* named_ = nullptr;
};

class TextBox : public Control {
 public:
  TextBox(Form& form, std::string name, Rect bounds, int tab_index, const std::string& text);
  const std::string& Text() const { return caption_; }
  // Raises Change when the text differs from the current one.
  void SetText(const std::string& text);
  void UserEdited(const std::string& text) { SetText(text); }
  std::function<void()> OnChange;
};

class CheckBox : public Control {
 public:
  CheckBox(Form& form, std::string name, Rect bounds, int tab_index, const std::string& caption);
  int Value() const { return value_; }
  // 0 unchecked, 1 checked, 2 grey; other values fail with 380. Raises Click
  // when the value differs from the current one.
  void SetValue(int value);
  // A click by the user: checked becomes unchecked, anything else checked.
  void UserClicked();
  std::function<void()> OnClick;

 private:
  int value_ = 0;
};

class PushButton : public Control {
 public:
  PushButton(Form& form, std::string name, Rect bounds, int tab_index, const std::string& caption);
  // A press by the user; a disabled or hidden button ignores it.
  void UserClicked();
  std::function<void()> OnClick;
};

class DropDownList : public Control {
 public:
  DropDownList(Form& form, std::string name, Rect bounds, int tab_index);
  const std::vector<std::string>& Items() const { return items_; }
  void Clear();
  void AddItem(const std::string& item);
  int ListIndex() const { return list_index_; }
  // -1 to the last index; other values fail with 380. Raises Click when the
  // index differs from the current one.
  void SetListIndex(int index);
  void UserSelected(int index) { SetListIndex(index); }
  std::function<void()> OnClick;

 private:
  std::vector<std::string> items_;
  int list_index_ = -1;
};

class Image : public Control {
 public:
  Image(Form& form, std::string name, Rect bounds);
  const Resource& Picture() const { return picture_; }
  void SetPicture(Resource picture);

 private:
  Resource picture_;
};

class Timer {
 public:
  Timer(Form& form, std::string name, int interval_ms, bool enabled);
  Form& Owner() const { return form_; }
  int Interval() const { return interval_ms_; }
  void SetInterval(int interval_ms);
  bool Enabled() const { return enabled_; }
  // Enabling starts a new full period.
  void SetEnabled(bool enabled);
  // Called by the binding when a period has passed.
  void Elapsed();
  std::function<void()> OnTimer;

 private:
  Form& form_;
  std::string name_;
  int interval_ms_;
  bool enabled_;
};

class Form {
 public:
  // `client_width` and `client_height` in twips.
  Form(Application& app, std::string name, int client_width, int client_height);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Application& App() const { return app_; }
  const std::string& Name() const { return name_; }
  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }

  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto control = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *control;
    controls_.push_back(std::move(control));
    return ref;
  }
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Timer& AddTimer(std::string name, int interval_ms, bool enabled);
  const std::vector<std::unique_ptr<Timer>>& Timers() const { return timers_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const Resource& Icon() const { return icon_; }
  void SetIcon(Resource icon);
  const std::optional<Color>& BackColor() const { return back_color_; }
  void SetBackColor(Color color);

  bool Loaded() const { return loaded_; }
  void Load();
  // Unloads a loaded form; the process ends when no form is left loaded.
  void Unload();

  // Shown or hidden; separate from the window state.
  bool Visible() const { return visible_; }
  // Shows the form non-modally; fails with 401 while a modal display is up.
  void Show();
  // Shows the form modally; `on_end` runs once the display has ended, which it
  // does when the form is hidden or unloaded.
  void ShowModal(std::function<void()> on_end);
  void Hide();
  void Repaint();

  WindowState State() const { return state_; }
  // Raises Resize when the state changes.
  void SetWindowState(WindowState state);

  int Left() const { return left_; }
  int Top() const { return top_; }
  // Outer size, frame included, in twips.
  int Width() const;
  int Height() const;
  void Move(int left, int top);

  // Gives the form its native window now, hidden; a form gets it, and its
  // controls theirs, at its first display. One never displayed costs none.
  void MakeWindow();
  // Null while the form has no native window.
  void* NativeHandle() const;

  // Events. Resize comes at the first display and at every change of the window state.
  std::function<void()> OnResize;
  std::function<void()> OnTerminate;
  // A notification-area event for this form's icon, with the event code.
  std::function<void(int code)> OnNotifyIcon;
  // The notification area was created anew (its host restarted).
  std::function<void()> OnNotifyAreaCreated;
  // The session ends (log-off, shutdown, restart, or the Restart Manager closing
  // the program); the system may end the process as soon as this returns.
  std::function<void()> OnSessionEnd;

  // Entry points for the binding.
  void UserChangedState(WindowState state) { SetWindowState(state); }
  void UserClosed() { Unload(); }
  void UserEndedSession() {
    if (OnSessionEnd) OnSessionEnd();
  }
  void UserMoved(int left, int top);
  void Terminate();

 private:
  void Display();
  void EndModal();

  Application& app_;
  std::string name_;
  int client_width_;
  int client_height_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<Timer>> timers_;
  std::string caption_;
  Resource icon_;
  std::optional<Color> back_color_;
  bool loaded_ = false;
  bool visible_ = false;
  bool displayed_ = false;
  bool terminated_ = false;
  WindowState state_ = WindowState::Normal;
  int left_ = 0;
  int top_ = 0;
};

}  // namespace ui
