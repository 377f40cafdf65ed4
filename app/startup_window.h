// QOR, the start-up window. It is never shown: it owns the logo and the icon,
// publishes them with the application name, and carries the main window's
// modal run.
#pragma once

#include "app/global_variables.h"
#include "ui/toolkit.h"

namespace app {

// "Version 1.0" for this build.
std::string VersionText();

class StartupWindow : public ui::Form {
 public:
  explicit StartupWindow(ui::Application& app);

  // The load handler's publishing steps: version and product labels, then
  // AppName, LogoPicture and AppIcon.
  void Publish(GlobalVariables& g);

  ui::Label& lblVersion;
  ui::Label& lblProductName;
  ui::Image& Image1;  // the logo, published as LogoPicture
};

}  // namespace app
