// The two languages of the panel and their captions.
#pragma once

namespace ui {

struct CaptionSet {
  const char* tcp_name;
  const char* web_serv_name;
  const char* check1;
  const char* check2;
  const char* start_button;
  const char* stop_button;
  const char* quit;
  // What a screen reader calls the language list, which has no caption.
  const char* language;
};

// The entries of the language list, in order: index 0 English, index 1 German.
inline constexpr const char* kLanguageEntries[] = {"English", "Deutsch"};

// The captions the window is laid out with; seen while no language is selected.
extern const CaptionSet kDesignCaptions;

// The captions for LanguageIndex 1 or 2; nothing for any other value.
const CaptionSet* CaptionsFor(int language_index);

}  // namespace ui
