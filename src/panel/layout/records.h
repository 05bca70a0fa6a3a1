#pragma once
// The window's controls as data: one record per control, in twips relative to
// the record's container, exactly as laid out at design time. The builder turns
// the records into widgets; nothing else places a control.

#include <cstdint>
#include <span>
#include <string_view>

namespace tavo::layout {

enum class Kind : std::uint8_t { Group, Label, Button, Option, TextBox, Image };

enum class Face : std::uint8_t {
    Gothic,  // fixed-pitch "ＭＳ ゴシック"
    PGothic, // proportional "ＭＳ Ｐゴシック"
};

enum class Align : std::uint8_t { Left, Centre, Right };

struct FontSpec {
    Face face = Face::Gothic;
    double points = 9.0;
    bool bold = false;
};

// A colour as 0xRRGGBB, or the default of the control's kind.
struct Colour {
    std::uint32_t rgb = 0;
    bool isDefault = true;
};
constexpr Colour rgb(std::uint32_t value) {
    return Colour{value, false};
}
constexpr Colour defaultColour{};

struct ControlRecord {
    std::string_view name; // objectName, e.g. "Command17"
    Kind kind;
    std::string_view container;   // "" = directly on the window, else a group's name
    std::string_view caption;     // UTF-8
    int left, top, width, height; // twips, relative to the container's outer corner
    int tab;                      // tab index, -1 for none
    Colour background = defaultColour;
    Colour foreground = defaultColour;
    FontSpec font{};
    Align align = Align::Left;
    bool border = false;
    bool visible = true;
    bool selected = false;
};

enum class LineStyle : std::uint8_t { Solid, InsideSolid, Dash, Dot };

// A segment drawn on the window's client area, in twips.
struct LineRecord {
    std::string_view name; // "Line1" ...
    int x1, y1, x2, y2;
    LineStyle style;
};

// The window itself.
inline constexpr std::string_view kWindowCaption = "TAVO  RA20 & RB20  CONTROL  Ver.1.40";
inline constexpr int kClientWidthTwips = 9495;
inline constexpr int kClientHeightTwips = 8730;
inline constexpr std::uint32_t kWindowGrey = 0xC0C0C0;
inline constexpr std::uint32_t kCursorPadLineColour = 0x8080FF;
inline constexpr int kCursorPadLineWidthPx = 2;
inline constexpr FontSpec kWindowFont{Face::Gothic, 9.0, true};

// Every control, containers listed before their children.
std::span<const ControlRecord> controlRecords();
// The twelve outline segments of the cursor pad.
std::span<const LineRecord> lineRecords();

} // namespace tavo::layout
