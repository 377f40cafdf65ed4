// The rules of the window toolkit, on the headless binding.
#include <gtest/gtest.h>

#include "support/headless_binding.h"
#include "ui/toolkit.h"

namespace {

using testing_support::HeadlessBinding;

class ToolkitTest : public ::testing::Test {
 protected:
  HeadlessBinding binding;
  ui::Application app{binding};
};

int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const ui::ToolkitError& e) {
    return e.Number();
  }
  return 0;
}

TEST_F(ToolkitTest, ChangeEventsComeForProgramAndUserChangesButNotForEqualValues) {
  ui::Form form(app, "F", 3000, 2000);
  auto& text = form.Add<ui::TextBox>("T", ui::Rect{}, 0, "80");
  auto& box = form.Add<ui::CheckBox>("C", ui::Rect{}, 1, "c");
  auto& list = form.Add<ui::DropDownList>("L", ui::Rect{}, 2);
  auto& button = form.Add<ui::PushButton>("B", ui::Rect{}, 3, "b");
  int changes = 0, clicks = 0, selections = 0, presses = 0;
  text.OnChange = [&] { ++changes; };
  box.OnClick = [&] { ++clicks; };
  list.OnClick = [&] { ++selections; };
  button.OnClick = [&] { ++presses; };
  form.Load();

  text.SetText("80");
  EXPECT_EQ(changes, 0);
  text.SetText("81");
  text.UserEdited("81");
  text.UserEdited("8");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(text.Text(), "8");

  box.SetValue(0);
  EXPECT_EQ(clicks, 0);
  box.SetValue(2);
  box.UserClicked();  // grey becomes checked
  EXPECT_EQ(box.Value(), 1);
  box.UserClicked();
  EXPECT_EQ(box.Value(), 0);
  EXPECT_EQ(clicks, 3);

  list.AddItem("a");
  list.AddItem("b");
  EXPECT_EQ(selections, 0);
  list.SetListIndex(-1);
  EXPECT_EQ(selections, 0);
  list.SetListIndex(1);
  list.UserSelected(1);
  list.UserSelected(0);
  EXPECT_EQ(selections, 2);
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(selections, 2);

  button.UserClicked();
  button.SetEnabled(false);
  button.UserClicked();
  box.SetEnabled(false);
  box.UserClicked();
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(box.Value(), 0);
}

TEST_F(ToolkitTest, OutOfRangeValuesFailWith380AndChangeNothing) {
  ui::Form form(app, "F", 3000, 2000);
  auto& box = form.Add<ui::CheckBox>("C", ui::Rect{}, 0, "c");
  auto& list = form.Add<ui::DropDownList>("L", ui::Rect{}, 1);
  list.AddItem("English");
  list.AddItem("Deutsch");
  int events = 0;
  box.OnClick = [&] { ++events; };
  list.OnClick = [&] { ++events; };

  for (int v : {0, 1, 2}) EXPECT_EQ(ErrorNumber([&] { box.SetValue(v); }), 0) << v;
  box.SetValue(1);
  for (int v : {-1, 3, 10080}) EXPECT_EQ(ErrorNumber([&] { box.SetValue(v); }), 380) << v;
  EXPECT_EQ(box.Value(), 1);

  for (int i : {-1, 0, 1}) EXPECT_EQ(ErrorNumber([&] { list.SetListIndex(i); }), 0) << i;
  for (int i : {-2, 2, 10079}) EXPECT_EQ(ErrorNumber([&] { list.SetListIndex(i); }), 380) << i;
  EXPECT_EQ(list.ListIndex(), 1);
  const int before = events;
  EXPECT_EQ(ErrorNumber([&] { list.SetListIndex(7); }), 380);
  EXPECT_EQ(events, before);

  try {
    box.SetValue(5);
    ADD_FAILURE() << "5 was taken";
  } catch (const ui::ToolkitError& e) {
    EXPECT_EQ(e.Description(), "Invalid property value");
  }
}

TEST_F(ToolkitTest, ResizeComesAtFirstDisplayAndAtEveryStateChangeButNotForHiding) {
  ui::Form form(app, "F", 3000, 2000);
  int resizes = 0;
  form.OnResize = [&] { ++resizes; };
  form.Load();
  EXPECT_EQ(resizes, 0);
  form.Show();
  EXPECT_EQ(resizes, 1);
  form.Hide();
  form.Show();
  EXPECT_EQ(resizes, 1);
  form.SetWindowState(ui::WindowState::Minimised);
  EXPECT_EQ(resizes, 2);
  form.SetWindowState(ui::WindowState::Minimised);
  EXPECT_EQ(resizes, 2);
  form.Hide();
  EXPECT_EQ(form.State(), ui::WindowState::Minimised);
  form.UserChangedState(ui::WindowState::Normal);
  EXPECT_EQ(resizes, 3);
  EXPECT_FALSE(form.Visible());
}

TEST_F(ToolkitTest, StateChangeBeforeTheFirstDisplayRaisesResizeToo) {
  ui::Form form(app, "F", 3000, 2000);
  std::vector<std::pair<bool, ui::WindowState>> seen;
  form.OnResize = [&] { seen.emplace_back(form.Visible(), form.State()); };
  form.Load();
  form.SetWindowState(ui::WindowState::Minimised);
  form.Show();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(false, ui::WindowState::Minimised));
  EXPECT_EQ(seen[1], std::make_pair(true, ui::WindowState::Minimised));
}

TEST_F(ToolkitTest, ModalDisplayEndsWhenHiddenOrUnloadedAndBlocksNonModalShows) {
  ui::Form main(app, "Main", 3000, 2000);
  ui::Form other(app, "Other", 3000, 2000);
  int ended = 0;
  main.ShowModal([&] { ++ended; });
  EXPECT_TRUE(app.ModalDisplayed());
  EXPECT_EQ(ErrorNumber([&] { other.Show(); }), 401);
  EXPECT_EQ(ErrorNumber([&] { main.Show(); }), 401);
  EXPECT_FALSE(other.Visible());

  main.Hide();
  EXPECT_FALSE(app.ModalDisplayed());
  EXPECT_EQ(ended, 0) << "the modal caller resumes after the current event";
  binding.Pump();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(ErrorNumber([&] { other.Show(); }), 0);

  other.Hide();
  other.ShowModal([&] { ended += 10; });
  other.Unload();
  binding.Pump();
  EXPECT_EQ(ended, 11);
  main.Hide();
  binding.Pump();
  EXPECT_EQ(ended, 11) << "a display that has ended does not end again";
}

TEST_F(ToolkitTest, ProcessEndsWhenNoFormIsLoadedAndEveryFormIsThenDestroyed) {
  ui::Form a(app, "A", 3000, 2000);
  ui::Form b(app, "B", 3000, 2000);
  int terminated_a = 0, terminated_b = 0;
  a.OnTerminate = [&] { ++terminated_a; };
  b.OnTerminate = [&] { ++terminated_b; };
  a.Load();
  b.Show();
  binding.Script({[&] { a.Unload(); },
                  [&] {
                    EXPECT_FALSE(binding.Ended()) << "B is still loaded";
                    EXPECT_EQ(terminated_a, 0) << "unloading does not destroy the object";
                    b.UserClosed();
                  },
                  [&] { ADD_FAILURE() << "the loop went on after the last form was unloaded"; }});
  app.Run();
  EXPECT_TRUE(binding.Ended());
  EXPECT_EQ(terminated_a, 1);
  EXPECT_EQ(terminated_b, 1);
  a.Terminate();
  EXPECT_EQ(terminated_a, 1) << "an object is destroyed once";
  EXPECT_TRUE(binding.loaded_forms.empty());
}

TEST_F(ToolkitTest, EnablingATimerStartsANewFullPeriod) {
  ui::Form form(app, "F", 3000, 2000);
  ui::Timer& timer = form.AddTimer("Timer1", 50, false);
  std::vector<int64_t> ticks;
  timer.OnTimer = [&] { ticks.push_back(binding.Now()); };
  form.Load();
  binding.Advance(1000);
  EXPECT_TRUE(ticks.empty()) << "a disabled timer never fires";

  timer.SetInterval(500);
  timer.SetEnabled(true);  // at 1000
  binding.Advance(300);
  timer.SetEnabled(true);  // at 1300: the period starts again
  binding.Advance(499);
  EXPECT_TRUE(ticks.empty());
  binding.Advance(1);
  binding.Advance(500);
  EXPECT_EQ(ticks, (std::vector<int64_t>{1800, 2300}));

  timer.SetEnabled(false);
  binding.Advance(2000);
  EXPECT_EQ(ticks.size(), 2u);
  form.Unload();
  EXPECT_FALSE(binding.Scheduled(timer));
}

TEST_F(ToolkitTest, MessageBoxesCarryTheirIconAndAreOwnedByAVisibleForm) {
  ui::Form form(app, "F", 3000, 2000);
  form.Load();
  app.MsgBox("hidden", "Cap", ui::MessageIcon::Warning);
  form.Show();
  app.MsgBox("shown", "Error", ui::MessageIcon::Information);
  ASSERT_EQ(binding.messages.size(), 2u);
  EXPECT_EQ(binding.messages[0].text, "hidden");
  EXPECT_EQ(binding.messages[0].icon, ui::MessageIcon::Warning);
  EXPECT_FALSE(binding.messages[0].owned);
  EXPECT_EQ(binding.messages[1].caption, "Error");
  EXPECT_EQ(binding.messages[1].icon, ui::MessageIcon::Information);
  EXPECT_TRUE(binding.messages[1].owned);
}

TEST_F(ToolkitTest, PropertiesSetBeforeLoadingReachTheBindingOnlyOnceLoaded) {
  ui::Form form(app, "F", 3000, 2000);
  auto& label = form.Add<ui::Label>("L", ui::Rect{120, 240, 2175, 255}, 1, "design");
  label.SetCaption("changed");
  form.SetCaption("caption");
  EXPECT_EQ(binding.updates, 0);
  EXPECT_EQ(form.NativeHandle(), nullptr);
  form.Load();
  EXPECT_EQ(form.NativeHandle(), nullptr) << "asking makes no window";
  form.MakeWindow();
  EXPECT_NE(form.NativeHandle(), nullptr);
  label.SetCaption("changed");
  EXPECT_EQ(binding.updates, 0) << "an equal caption is not pushed";
  label.SetCaption("again");
  EXPECT_EQ(binding.updates, 1);
  EXPECT_EQ(form.Width(), 3000 + 2 * HeadlessBinding::kFrameTwips);
}

}  // namespace
