// A control as a standard window (STATIC, EDIT, BUTTON, COMBOBOX) on its form's
// window: made where it stands and as the model has it, the model's changes
// pushed into it, and the user's input fed back to the model.
#pragma once

#include <windows.h>

#include "platform/win32/unique_handles.h"
#include "ui/toolkit.h"

namespace platform::win32 {

class FormWindow;

class ControlWindow {
 public:
  static constexpr int kFirstControlId = 1000;

  // Makes the window of `control` with the identifier `id`, not drawn yet.
  ControlWindow(FormWindow& form, ui::Control& control, int id);
  ~ControlWindow();
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;

  HWND Handle() const { return window_.Get(); }
  int Id() const { return id_; }
  ui::Control& Model() const { return control_; }
  HBRUSH Brush() const { return brush_.Get(); }

  // Pushes a change of the model into the window.
  void Push(ui::ControlChange change);
  // Places the window, its font and its picture for the form's layout.
  void Place();
  // A notification of the window (WM_COMMAND's code): the user's input for the
  // model. The objects may be gone when it returns.
  void OnCommand(int code);

 private:
  void ApplyFont(bool redraw);
  void FitDropDown();
  void RenderPicture();

  FormWindow& form_;
  ui::Control& control_;
  int id_;
  UniqueBrush brush_;
  UniqueBitmap bitmap_;
  // Last, so that it goes first: the window uses the brush and the bitmap.
  UniqueWindow window_;
};

}  // namespace platform::win32
