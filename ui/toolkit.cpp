#include "ui/toolkit.h"

#include <algorithm>
#include <utility>

namespace ui {

ToolkitError ToolkitError::InvalidPropertyValue() {
  return ToolkitError(kInvalidPropertyValue, "Invalid property value");
}

ToolkitError ToolkitError::NonModalWhileModal() {
  return ToolkitError(kNonModalWhileModal,
                      "Can't show non-modal form when modal form is displayed");
}

// --- Application ---

void Application::Run() {
  binding_.RunLoop();
  const std::vector<Form*> forms = forms_;
  for (Form* form : forms) form->Terminate();
}

void Application::MsgBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  const Form* owner = nullptr;
  for (const Form* form : forms_) {
    if (form->Loaded() && form->Visible()) {
      owner = form;
      break;
    }
  }
  box_owners_.push_back(owner);
  try {
    binding_.ShowMessage(owner, text, caption, icon);
  } catch (...) {
    box_owners_.pop_back();
    throw;
  }
  box_owners_.pop_back();
  if (!box_owners_.empty()) return;
  for (auto& task : std::exchange(after_boxes_, {})) binding_.Post(std::move(task));
}

void Application::AfterMessageBox(std::function<void()> task) {
  if (MessageBoxShown())
    after_boxes_.push_back(std::move(task));
  else
    binding_.Post(std::move(task));
}

void Application::Forget(Form* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (modal_ == form) {
    modal_ = nullptr;
    modal_end_ = nullptr;
  }
}

void Application::FormUnloaded() {
  const bool any_loaded =
      std::any_of(forms_.begin(), forms_.end(), [](const Form* f) { return f->Loaded(); });
  if (!any_loaded) binding_.EndRun();
}

// --- Controls ---

Control::Control(Form& form, ControlKind kind, std::string name, Rect bounds, int tab_index)
    : form_(form), kind_(kind), name_(std::move(name)), bounds_(bounds), tab_index_(tab_index) {}

void Control::Changed(ControlChange change) {
  if (form_.Loaded()) form_.App().Platform().Update(*this, change);
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed(ControlChange::Enabled);
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed(ControlChange::Visible);
}

void Control::SetBackColor(Color color) {
  if (back_color_ == color) return;
  back_color_ = color;
  Changed(ControlChange::BackColor);
}

void Control::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Changed(kind_ == ControlKind::TextBox ? ControlChange::Text : ControlChange::Caption);
}

void Control::SetAccessibleName(const std::string& name) {
  if (accessible_name_ == name) return;
  accessible_name_ = name;
  Changed(ControlChange::AccessibleName);
}

Label::Label(Form& form, std::string name, Rect bounds, int tab_index, const std::string& caption)
    : Control(form, ControlKind::Label, std::move(name), bounds, tab_index) {
  caption_ = caption;
}

TextBox::TextBox(Form& form, std::string name, Rect bounds, int tab_index, const std::string& text)
    : Control(form, ControlKind::TextBox, std::move(name), bounds, tab_index) {
  caption_ = text;
}

void TextBox::SetText(const std::string& text) {
  if (caption_ == text) return;
  caption_ = text;
  Changed(ControlChange::Text);
  if (OnChange) OnChange();
}

CheckBox::CheckBox(Form& form, std::string name, Rect bounds, int tab_index,
                   const std::string& caption)
    : Control(form, ControlKind::CheckBox, std::move(name), bounds, tab_index) {
  caption_ = caption;
}

void CheckBox::SetValue(int value) {
  if (value < 0 || value > 2) throw ToolkitError::InvalidPropertyValue();
  if (value == value_) return;
  value_ = value;
  Changed(ControlChange::Value);
  if (OnClick) OnClick();
}

void CheckBox::UserClicked() {
  if (!Enabled()) return;
  SetValue(value_ == 1 ? 0 : 1);
}

PushButton::PushButton(Form& form, std::string name, Rect bounds, int tab_index,
                       const std::string& caption)
    : Control(form, ControlKind::PushButton, std::move(name), bounds, tab_index) {
  caption_ = caption;
}

void PushButton::UserClicked() {
  if (Enabled() && Visible() && OnClick) OnClick();
}

DropDownList::DropDownList(Form& form, std::string name, Rect bounds, int tab_index)
    : Control(form, ControlKind::DropDownList, std::move(name), bounds, tab_index) {}

void DropDownList::Clear() {
  items_.clear();
  list_index_ = -1;
  Changed(ControlChange::Items);
}

void DropDownList::AddItem(const std::string& item) {
  items_.push_back(item);
  Changed(ControlChange::Items);
}

void DropDownList::SetListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size()))
    throw ToolkitError::InvalidPropertyValue();
  if (index == list_index_) return;
  list_index_ = index;
  Changed(ControlChange::ListIndex);
  if (OnClick) OnClick();
}

Image::Image(Form& form, std::string name, Rect bounds)
    : Control(form, ControlKind::Image, std::move(name), bounds, -1) {}

void Image::SetPicture(Resource picture) {
  picture_ = std::move(picture);
  Changed(ControlChange::Picture);
}

// --- Timer ---

Timer::Timer(Form& form, std::string name, int interval_ms, bool enabled)
    : form_(form), name_(std::move(name)), interval_ms_(interval_ms), enabled_(enabled) {}

void Timer::SetInterval(int interval_ms) {
  interval_ms_ = interval_ms;
  if (enabled_ && form_.Loaded()) form_.App().Platform().Schedule(*this);
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (form_.Loaded()) form_.App().Platform().Schedule(*this);
}

void Timer::Elapsed() {
  if (enabled_ && OnTimer) OnTimer();
}

// --- Form ---

Form::Form(Application& app, std::string name, int client_width, int client_height)
    : app_(app),
      name_(std::move(name)),
      client_width_(client_width),
      client_height_(client_height) {
  app_.Register(this);
}

Form::~Form() {
  if (loaded_) {
    loaded_ = false;
    app_.Platform().Unload(*this);
  }
  app_.Forget(this);
}

Timer& Form::AddTimer(std::string name, int interval_ms, bool enabled) {
  timers_.push_back(std::make_unique<Timer>(*this, std::move(name), interval_ms, enabled));
  return *timers_.back();
}

void Form::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  if (loaded_) app_.Platform().Update(*this, FormChange::Caption);
}

void Form::SetIcon(Resource icon) {
  icon_ = std::move(icon);
  if (loaded_) app_.Platform().Update(*this, FormChange::Icon);
}

void Form::SetBackColor(Color color) {
  if (back_color_ == color) return;
  back_color_ = color;
  if (loaded_) app_.Platform().Update(*this, FormChange::BackColor);
}

void Form::Load() {
  if (loaded_) return;
  loaded_ = true;
  app_.Platform().Load(*this);
  for (auto& timer : timers_)
    if (timer->Enabled()) app_.Platform().Schedule(*timer);
}

void Form::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  visible_ = false;
  app_.Platform().Unload(*this);
  if (app_.modal_ == this) EndModal();
  app_.FormUnloaded();
}

void Form::Show() {
  if (app_.ModalDisplayed()) throw ToolkitError::NonModalWhileModal();
  Display();
}

void Form::ShowModal(std::function<void()> on_end) {
  if (app_.ModalDisplayed()) throw ToolkitError::NonModalWhileModal();
  app_.modal_ = this;
  app_.modal_end_ = std::move(on_end);
  Display();
}

void Form::MakeWindow() {
  Load();
  app_.Platform().MakeWindow(*this);
}

void Form::Display() {
  MakeWindow();
  app_.Platform().MakeControlWindows(*this);
  if (!visible_) {
    visible_ = true;
    app_.Platform().Update(*this, FormChange::Visible);
  }
  if (!displayed_) {
    displayed_ = true;
    if (OnResize) OnResize();
  }
}

void Form::Hide() {
  if (visible_) {
    visible_ = false;
    if (loaded_) app_.Platform().Update(*this, FormChange::Visible);
  }
  if (app_.modal_ == this) EndModal();
}

void Form::EndModal() {
  std::function<void()> on_end = std::move(app_.modal_end_);
  app_.modal_ = nullptr;
  app_.modal_end_ = nullptr;
  if (on_end) app_.Platform().Post(std::move(on_end));
}

void Form::Repaint() {
  if (loaded_) app_.Platform().Repaint(*this);
}

void Form::SetWindowState(WindowState state) {
  if (state_ == state) return;
  state_ = state;
  if (loaded_) app_.Platform().Update(*this, FormChange::WindowState);
  if (OnResize) OnResize();
}

int Form::Width() const { return app_.Platform().OuterWidth(*this); }
int Form::Height() const { return app_.Platform().OuterHeight(*this); }

void Form::Move(int left, int top) {
  left_ = left;
  top_ = top;
  if (loaded_) app_.Platform().Update(*this, FormChange::Position);
}

void Form::UserMoved(int left, int top) {
  left_ = left;
  top_ = top;
}

void* Form::NativeHandle() const { return app_.Platform().NativeHandle(*this); }

void Form::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  if (OnTerminate) OnTerminate();
}

}  // namespace ui
