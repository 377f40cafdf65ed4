#include "app/startup_window.h"

#include "app/version.h"

namespace app {

std::string VersionText() {
  return "Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor);
}

StartupWindow::StartupWindow(ui::Application& app)
    : ui::Form(app, "QOR", 7380, 4245),
      lblVersion(Add<ui::Label>("lblVersion", ui::Rect{5280, 2880, 1885, 225}, -1, "Version")),
      lblProductName(
          Add<ui::Label>("lblProductName", ui::Rect{2520, 1140, 4725, 765}, -1, "Product")),
      Image1(Add<ui::Image>("Image1", ui::Rect{240, 240, 2595, 1530})) {
  // Placeholders that nothing changes.
  Add<ui::Label>("lblLicenseTo", ui::Rect{240, 3360, 6855, 255}, -1, "LicenseTo");
  Add<ui::Label>("lblCompanyProduct", ui::Rect{2520, 705, 4725, 435}, -1, "CompanyProduct");
  Add<ui::Label>("lblPlatform", ui::Rect{5280, 2400, 1885, 345}, -1, "Platform");
  Add<ui::Label>("lblCopyright", ui::Rect{4560, 3060, 2415, 255}, -1, "Copyright");
  Add<ui::Label>("lblCompany", ui::Rect{4560, 3270, 2415, 255}, -1, "Company");
  Add<ui::Label>("lblWarning", ui::Rect{240, 3660, 6855, 195}, -1, "Warning");
  SetCaption(kAppTitle);
  Load();
  Image1.SetPicture(app.Platform().LoadArt(ui::EmbeddedArt::Logo));
  SetIcon(app.Platform().LoadArt(ui::EmbeddedArt::AppIcon));
}

void StartupWindow::Publish(GlobalVariables& g) {
  lblVersion.SetCaption(VersionText());
  lblProductName.SetCaption(kAppTitle);
  g.AppName = kAppName;
  g.LogoPicture = &Image1;
  g.AppIcon = Icon();
}

}  // namespace app
