// Builders for the dialogs' design-time control descriptions. Positions and sizes
// are design twips; the toolkit places the controls in pixels.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/os.h"

namespace dialogs::design {

inline host::ControlSpec Control(host::ControlKind kind, std::string name, host::Text caption,
                                 host::RectPx twips, int tabIndex) {
  host::ControlSpec desc;
  desc.kind = kind;
  desc.name = std::move(name);
  desc.caption = std::move(caption);
  desc.rect = twips;
  desc.tabIndex = tabIndex;
  return desc;
}

inline host::ControlSpec Label(std::string name, host::Text caption, host::RectPx twips,
                               int tabIndex) {
  return Control(host::ControlKind::Label, std::move(name), std::move(caption), twips, tabIndex);
}

inline host::ControlSpec Button(std::string name, host::Text caption, host::RectPx twips,
                                int tabIndex, bool isDefault, bool isCancel) {
  host::ControlSpec desc =
      Control(host::ControlKind::Button, std::move(name), std::move(caption), twips, tabIndex);
  desc.isDefault = isDefault;
  desc.isCancel = isCancel;
  return desc;
}

// A line from (x1, y) to (x2, y).
inline host::ControlSpec HorizontalLine(std::string name, int x1, int x2, int y,
                                        std::uint32_t color, int width) {
  host::ControlSpec desc =
      Control(host::ControlKind::Line, std::move(name), {}, {x1, y, x2 - x1, 0}, 0);
  desc.lineColor = color;
  desc.lineWidth = width;
  return desc;
}

inline host::ControlSpec WithColor(host::ControlSpec desc, std::uint32_t foreColor) {
  desc.foreColor = foreColor;
  return desc;
}

}  // namespace dialogs::design
