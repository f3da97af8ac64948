// Builders for the dialogs' design-time control specs. Positions and sizes
// are design twips; the toolkit places the controls in pixels.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/os.h"

namespace dialogs::design {

inline host::ControlSpec Control(host::ControlKind kind, std::string name, host::Text caption,
                                 host::RectPx twips, int tabIndex) {
  host::ControlSpec spec;
  spec.kind = kind;
  spec.name = std::move(name);
  spec.caption = std::move(caption);
  spec.rect = twips;
  spec.tabIndex = tabIndex;
  return spec;
}

inline host::ControlSpec Label(std::string name, host::Text caption, host::RectPx twips,
                               int tabIndex) {
  return Control(host::ControlKind::Label, std::move(name), std::move(caption), twips, tabIndex);
}

inline host::ControlSpec Button(std::string name, host::Text caption, host::RectPx twips,
                                int tabIndex, bool isDefault, bool isCancel) {
  host::ControlSpec spec =
      Control(host::ControlKind::Button, std::move(name), std::move(caption), twips, tabIndex);
  spec.isDefault = isDefault;
  spec.isCancel = isCancel;
  return spec;
}

// A line from (x1, y) to (x2, y).
inline host::ControlSpec HorizontalLine(std::string name, int x1, int x2, int y,
                                        std::uint32_t color, int width) {
  host::ControlSpec spec =
      Control(host::ControlKind::Line, std::move(name), {}, {x1, y, x2 - x1, 0}, 0);
  spec.lineColor = color;
  spec.lineWidth = width;
  return spec;
}

inline host::ControlSpec WithColor(host::ControlSpec spec, std::uint32_t foreColor) {
  spec.foreColor = foreColor;
  return spec;
}

}  // namespace dialogs::design
