// Application-wide state, shared by every module on the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ui {
class Image;
class NativeResource;
}  // namespace ui

struct GlobalVariables {
  int32_t ServerPid = 0;
  int32_t ServerPort = 80;
  int16_t LanguageIndex = 0;
  int16_t StartMinimized = 0;
  int16_t StartAutomatically = 0;
  int16_t AutoStartPending = 0;
  std::string AppName;
  const ui::Image* LogoPicture = nullptr;
  std::shared_ptr<const ui::NativeResource> AppIcon;
};
