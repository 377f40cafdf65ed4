#include "ui/language.h"

namespace ui {

const CaptionSet kDesignCaptions = {
    "TCP-Port of Webserver",
    "Webserver",
    "Start minimized",
    "Start automatically",
    "Start",
    "Stop",
    "Quit",
    "Language",
};

namespace {

const CaptionSet kEnglish = {
    "TCP port of Webserver",
    "WebServer",
    "Start programme minimized",
    "Start webserver automatically",
    "Start",
    "Stop",
    "Quit",
    "Language",
};

const CaptionSet kGerman = {
    "TCP-Port vom Webserver",
    "WebServer",
    "Programm minimiert starten",
    "Webserver automatisch starten",
    "Start",
    "Stop",
    "Ende",
    "Sprache",
};

}  // namespace

const CaptionSet* CaptionsFor(int language_index) {
  switch (language_index) {
    case 1:
      return &kEnglish;
    case 2:
      return &kGerman;
    default:
      return nullptr;
  }
}

}  // namespace ui
