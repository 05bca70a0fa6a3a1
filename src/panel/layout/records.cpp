// Every control of Form1 as laid out at design time. Twips are relative to the
// container's outer top-left corner; a container always comes before its
// children. Fonts are each control's resulting font (inherited ones spelled out).

#include "panel/layout/records.h"

namespace tavo::layout {
namespace {

constexpr FontSpec pg75{Face::PGothic, 7.5, false};
constexpr FontSpec pg9{Face::PGothic, 9.0, false};
constexpr FontSpec pg9b{Face::PGothic, 9.0, true};
constexpr FontSpec pg975b{Face::PGothic, 9.75, true};
constexpr FontSpec g825{Face::Gothic, 8.25, false};
constexpr FontSpec g825b{Face::Gothic, 8.25, true};
constexpr FontSpec g9{Face::Gothic, 9.0, false};
constexpr FontSpec g9b{Face::Gothic, 9.0, true};
constexpr FontSpec g975{Face::Gothic, 9.75, false};
constexpr FontSpec g975b{Face::Gothic, 9.75, true};

constexpr Colour grey = rgb(kWindowGrey);
constexpr Colour white = rgb(0xFFFFFF);
constexpr Colour green = rgb(0xC0FFC0);  // switching on
constexpr Colour pink = rgb(0xFFC0C0);   // switching off
constexpr Colour cyan = rgb(0xC0FFFF);   // selection and function
constexpr Colour volume = rgb(0xFFC080); // VOL + and -
constexpr Colour peach = rgb(0xFFE0C0);  // cursor arrows
constexpr Colour orange = rgb(0xFF8000); // SELECT
constexpr Colour teal = rgb(0x00C0C0);   // A-IMAGE
constexpr Colour lavender = rgb(0xC0C0FF);
constexpr Colour titleRed = rgb(0xC00000);
constexpr Colour statusRed = rgb(0xFF0000);
constexpr Colour sys = defaultColour; // the system's colour for the kind (button face, window)

constexpr Align centre = Align::Centre;
constexpr Align left = Align::Left;
constexpr Align right = Align::Right;

constexpr std::string_view window = "";

constexpr ControlRecord group(std::string_view name, std::string_view in, int x, int y, int w,
                              int h, int tab, FontSpec font) {
    return {name, Kind::Group, in, "", x, y, w, h, tab, grey, defaultColour, font};
}

constexpr ControlRecord label(std::string_view name, std::string_view in, std::string_view caption,
                              int x, int y, int w, int h, int tab, FontSpec font, Align align,
                              Colour text = defaultColour) {
    return {name, Kind::Label, in, caption, x, y, w, h, tab, grey, text, font, align};
}

// A white, bordered, left-aligned label that starts empty and shows data.
constexpr ControlRecord display(std::string_view name, std::string_view in, int x, int y, int w,
                                int h, int tab, FontSpec font, Colour text = defaultColour) {
    return {name, Kind::Label, in, "", x, y, w, h, tab, white, text, font, left, true};
}

constexpr ControlRecord button(std::string_view name, std::string_view in, std::string_view caption,
                               int x, int y, int w, int h, int tab, Colour fill, FontSpec font) {
    return {name, Kind::Button, in, caption, x, y, w, h, tab, fill, defaultColour, font};
}

constexpr ControlRecord option(std::string_view name, std::string_view in, std::string_view caption,
                               int x, int y, int w, int h, int tab, FontSpec font) {
    return {name, Kind::Option, in, caption, x, y, w, h, tab, grey, defaultColour, font};
}

constexpr ControlRecord hidden(ControlRecord record) {
    record.visible = false;
    return record;
}

constexpr ControlRecord selected(ControlRecord record) {
    record.selected = true;
    return record;
}

// clang-format off
constexpr ControlRecord kControls[] = {
    // Top band: POWER, INPUT MODE SET, MENU and the logo.
    group("Frame1", window, 120, 240, 1815, 975, 0, pg9),
    label("Label1", "Frame1", "POWER", 360, 240, 1095, 255, 2, pg9, centre, titleRed),
    button("Command17", "Frame1", "ON", 120, 600, 615, 300, 1, green, pg9b),
    button("Command18", "Frame1", "OFF", 960, 600, 615, 300, 27, pink, pg9b),
    group("Frame2", window, 2400, 240, 2655, 975, 3, pg9),
    label("Label2", "Frame2", "INPUT MODE SET", 360, 240, 1935, 255, 4, pg9, centre),
    button("Command27", "Frame2", "PC1", 240, 600, 495, 300, 36, cyan, pg9b),
    button("Command28", "Frame2", "PC2", 960, 600, 495, 300, 37, cyan, pg9b),
    button("Command29", "Frame2", "Video", 1680, 600, 735, 300, 38, cyan, pg9b),
    group("Frame6", window, 5520, 240, 1935, 975, 14, pg9),
    label("Label7", "Frame6", "MENU", 480, 240, 975, 255, 15, pg9, centre),
    button("Command23", "Frame6", "ON", 240, 600, 615, 300, 32, green, pg9b),
    button("Command24", "Frame6", "OFF", 1080, 600, 615, 300, 33, pink, pg9b),
    {"Image1", Kind::Image, window, "", 8160, 120, 1200, 390, -1, sys, sys, kWindowFont},

    // Second band: SOUND MUTE, NO SHOW, FREEZE, AV Size, LAMP MODE.
    group("Frame3", window, 120, 1440, 1575, 855, 8, pg9),
    label("Label4", "Frame3", "SOUND MUTE", 120, 195, 1335, 300, 9, pg9, centre),
    button("Command19", "Frame3", "ON", 120, 480, 615, 300, 28, green, pg9b),
    button("Command20", "Frame3", "OFF", 840, 480, 615, 300, 29, pink, pg9b),
    group("Frame4", window, 1800, 1440, 1575, 855, 10, pg9),
    label("Label5", "Frame4", "NO SHOW", 120, 210, 1095, 285, 11, pg9, centre),
    button("Command21", "Frame4", "ON", 120, 480, 615, 300, 30, green, pg9b),
    button("Command22", "Frame4", "OFF", 840, 480, 615, 300, 31, pink, pg9b),
    group("Frame7", window, 3480, 1440, 1575, 855, 22, pg9),
    label("Label8", "Frame7", "FREEZE", 240, 210, 1215, 285, 23, pg9, centre),
    button("Command25", "Frame7", "ON", 120, 480, 615, 300, 34, green, pg9b),
    button("Command26", "Frame7", "OFF", 840, 480, 615, 300, 35, pink, pg9b),
    group("Frame5", window, 5160, 1440, 1815, 855, 12, pg9),
    label("Label6", "Frame5", "AV Size", 240, 210, 1335, 285, 13, pg9, centre),
    button("Command31", "Frame5", "Regular", 120, 480, 855, 300, 39, cyan, pg9),
    button("Command32", "Frame5", "Wide", 1080, 480, 615, 300, 40, cyan, pg9),
    group("Frame10", window, 7080, 1440, 2295, 855, 72, pg75),
    label("Label20", "Frame10", "LAMP MODE", 240, 240, 1695, 300, 73, pg75, centre),
    button("Command59", "Frame10", "Auto", 120, 480, 615, 300, 119, cyan, g9),
    button("Command62", "Frame10", "Normal", 720, 480, 855, 300, 120, cyan, g9),
    button("Command71", "Frame10", "Eco", 1560, 480, 615, 300, 121, cyan, g9),

    // Middle band, cursor pad: a cross of hold keys.
    button("Command5", window, "↑", 1200, 2520, 855, 375, 17, peach, pg9b),
    button("Command9", window, "←", 240, 3000, 855, 375, 21, peach, pg9b),
    button("Command6", window, "SELECT", 1200, 3000, 855, 375, 18, orange, g9),
    button("Command8", window, "→", 2160, 3000, 855, 375, 20, peach, pg9b),
    button("Command7", window, "↓", 1200, 3480, 855, 375, 19, peach, pg9b),

    // Middle band, adjustment block: a title with a + and a - hold key under it.
    label("Label3", window, "VOL", 3600, 2520, 495, 255, 7, g9b, centre),
    button("Command1", window, "+", 3600, 2880, 375, 255, 5, volume, g9b),
    button("Command2", window, "-", 3600, 3240, 375, 255, 6, volume, g9b),
    label("Label13", window, "Brightness", 4200, 2520, 975, 255, 53, g9, left),
    button("Command15", window, "+", 4440, 2880, 375, 255, 51, cyan, g9),
    button("Command35", window, "-", 4440, 3240, 375, 255, 52, cyan, g9),
    label("Label14", window, "Focus", 5280, 2520, 615, 255, 56, g9, left),
    button("Command36", window, "+", 5280, 2880, 375, 255, 54, cyan, g9),
    button("Command37", window, "-", 5280, 3240, 375, 255, 55, cyan, g9),
    label("Label25", window, "Zoom", 6120, 2520, 615, 255, 118, g9, left),
    button("Command43", window, "+", 6120, 2880, 375, 255, 116, cyan, g9),
    button("Command68", window, "-", 6120, 3240, 375, 255, 117, cyan, g9b),
    label("Label17", window, "D.Zoom", 6840, 2520, 735, 255, 63, g9, left),
    button("Command48", window, "+", 6960, 2880, 375, 255, 61, cyan, pg9),
    button("Command49", window, "-", 6960, 3240, 375, 255, 62, cyan, g9),
    label("Label18", window, "Keystone", 7560, 2520, 855, 255, 66, g9, left),
    button("Command50", window, "+", 7800, 2880, 375, 255, 64, cyan, g9),
    button("Command51", window, "-", 7800, 3240, 375, 255, 65, cyan, g9),

    // Middle band, right column.
    button("Command13", window, "A-IMAGE", 8400, 2760, 975, 250, 24, teal, g9),
    button("Command30", window, "IMAGE", 8400, 3120, 975, 255, 74, lavender, g9),
    button("Command14", window, "P-TIMER", 8400, 3360, 975, 250, 25, lavender, g9),
    button("Command3", window, "DISPLAY CLEAR", 8400, 3600, 975, 492, 16, lavender, g9),
    button("Command16", window, "END", 8400, 4320, 975, 375, 26, grey, g9b),

    // Middle band, picture-mode rows under the cursor pad.
    button("Command4", window, "STAND", 240, 4080, 975, 255, 78, cyan, g9),
    button("Command10", window, "REAL", 1200, 4080, 975, 255, 79, cyan, g9),
    button("Command11", window, "CINEMA", 2160, 4080, 975, 255, 80, cyan, g9),
    button("Command39", window, "IMAGE1", 240, 4320, 975, 255, 81, cyan, g9),
    button("Command40", window, "IMAGE2", 1200, 4320, 975, 255, 82, cyan, g9),
    button("Command41", window, "IMAGE3", 2160, 4320, 975, 255, 83, cyan, g9),
    button("Command42", window, "IMAGE4", 240, 4560, 975, 255, 84, cyan, g9),

    // Middle band, centre: the COM button and the port panel that covers it.
    button("Command33", window, "COM", 4080, 4200, 1815, 375, 41, sys, pg9),
    hidden(group("Frame8", window, 3480, 3600, 2775, 1185, 42, pg9)),
    option("Option1", "Frame8", "COM1", 240, 240, 1215, 255, 43, pg9),
    option("Option2", "Frame8", "COM2", 1560, 240, 1095, 255, 44, pg9),
    group("Frame13", "Frame8", 120, 480, 2535, 615, 75, pg9),
    selected(option("Option9", "Frame13", "19200", 120, 240, 1095, 255, 76, pg9)),
    option("Option10", "Frame13", "9600", 1440, 240, 975, 300, 77, pg9),

    // Data panel: the two traces and the status line.
    group("Frame9", window, 45, 4920, 6312, 1290, 45, pg9),
    label("Label9", "Frame9", "TXD", 105, 210, 390, 285, 46, g9, right),
    display("Label11", "Frame9", 600, 180, 5610, 300, 48, pg975b),
    label("Label10", "Frame9", "RXD", 75, 555, 450, 300, 47, g9, right),
    display("Label12", "Frame9", 600, 540, 5616, 300, 49, pg975b),
    label("Label23", "Frame9", "STATUS", 120, 960, 735, 225, 109, g825, left),
    display("Label22", "Frame9", 930, 915, 5295, 300, 108, pg9b, statusRed),

    // Status-query buttons and the data-panel toggle beside the data panel.
    hidden(button("Command34", window, "データを表示する", 6600, 5040, 1200, 375, 50, grey, pg9)),
    button("Command44", window, "STATUS", 6480, 5640, 975, 255, 57, cyan, g825b),
    button("Command46", window, "L-TIME", 7440, 5640, 975, 255, 59, cyan, g825b),
    button("Command54", window, "TEMP", 8400, 5640, 975, 252, 67, cyan, g825b),
    button("Command45", window, "MODE", 6480, 5880, 975, 255, 58, cyan, g825b),
    button("Command47", window, "SETTING", 7440, 5880, 975, 255, 60, cyan, g825b),

    // Lower panel, input sources: rows PC1, PC2 and Video.
    group("Frame14", window, 120, 6735, 6375, 1320, 85, g9b),
    label("Label15", "Frame14", "PC1", 120, 240, 735, 255, 96, g9b, left),
    button("Command64", "Frame14", "RGB", 960, 240, 855, 255, 86, cyan, g9),
    button("Command65", "Frame14", "DVI(PC Digital)", 1800, 240, 1695, 255, 87, cyan, g9),
    button("Command66", "Frame14", "DVI(AV HDCP)", 3480, 240, 1575, 255, 88, cyan, g9),
    label("Label16", "Frame14", "PC2", 120, 480, 735, 255, 97, g9b, left),
    button("Command72", "Frame14", "RGB", 960, 480, 855, 255, 90, cyan, g9),
    button("Command73", "Frame14", "Scart", 1800, 480, 975, 255, 91, cyan, g9),
    button("Command53", "Frame14", "IN", 5040, 480, 495, 255, 110, cyan, g9),
    button("Command76", "Frame14", "OUT", 5520, 480, 615, 255, 93, pink, g9),
    label("Label24", "Frame14", "Video", 120, 720, 855, 255, 98, g9b, left),
    button("Command81", "Frame14", "Auto", 960, 720, 855, 255, 94, cyan, g9),
    button("Command82", "Frame14", "Video", 1800, 720, 975, 255, 95, cyan, g9),
    button("Command69", "Frame14", "S-Video", 2760, 720, 975, 255, 89, cyan, g9),
    button("Command74", "Frame14", "Component", 3720, 720, 1335, 255, 92, cyan, g9),

    // Lower panel: FAN SPEED.
    group("Frame16", window, 6600, 6840, 1455, 825, 104, g9b),
    label("Label27", "Frame16", "FAN SPEED", 120, 240, 1215, 255, 105, g9, centre),
    button("Command97", "Frame16", "MAX", 120, 480, 615, 255, 106, green, g9),
    button("Command98", "Frame16", "NOR", 720, 480, 615, 255, 107, green, g9),

    // Lower panel: logo capture.
    group("Frame11", window, 7440, 7680, 1935, 855, 111, g9b),
    button("Command60", "Frame11", "Logo Capture", 120, 240, 1695, 255, 112, pink, g9),
    button("Command61", "Frame11", "OFF", 120, 480, 495, 255, 113, pink, g9),
    button("Command63", "Frame11", "DEF", 600, 480, 495, 255, 114, green, g9),
    button("Command67", "Frame11", "User", 1080, 480, 735, 255, 115, cyan, g9),

    // Lower panel: key lock, directly on the window.
    label("Label19", window, "Key Lock", 8160, 6960, 1095, 255, 71, g9, centre),
    button("Command56", window, "Non Lock", 8160, 7200, 1200, 255, 68, cyan, g9),
    button("Command57", window, "R/C", 8160, 7440, 606, 255, 69, cyan, g9),
    button("Command58", window, "KEY", 8760, 7440, 606, 255, 70, cyan, g9),

    // Lower panel: direct send.
    group("Frame15", window, 120, 8040, 7215, 570, 99, g9b),
    label("Label26", "Frame15", "CMD", 120, 240, 495, 255, 103, g975, left),
    {"Text1", Kind::TextBox, "Frame15", "", 600, 165, 5055, 345, 100, sys, sys, g975b},
    button("Command95", "Frame15", "SEND", 5760, 240, 735, 255, 101, green, g9b),
    button("Command96", "Frame15", "CLS", 6480, 240, 615, 255, 102, pink, g9b),
};

// The outline of the cursor pad, clockwise from the upper arm.
constexpr LineRecord kLines[] = {
    {"Line1", 1080, 2400, 1080, 2880, LineStyle::InsideSolid},
    {"Line7", 1080, 2400, 2160, 2400, LineStyle::Dot},
    {"Line2", 2160, 2400, 2160, 2880, LineStyle::Dot},
    {"Line9", 2160, 2880, 3120, 2880, LineStyle::Dash},
    {"Line3", 3120, 2880, 3120, 3480, LineStyle::InsideSolid},
    {"Line12", 2160, 3480, 3120, 3480, LineStyle::InsideSolid},
    {"Line4", 2160, 3480, 2160, 3960, LineStyle::Solid},
    {"Line11", 1080, 3960, 2160, 3960, LineStyle::InsideSolid},
    {"Line5", 1080, 3480, 1080, 3960, LineStyle::InsideSolid},
    {"Line10", 120, 3480, 1080, 3480, LineStyle::InsideSolid},
    {"Line6", 120, 2880, 120, 3480, LineStyle::InsideSolid},
    {"Line8", 120, 2880, 1080, 2880, LineStyle::InsideSolid},
};
// clang-format on

} // namespace

std::span<const ControlRecord> controlRecords() {
    return kControls;
}

std::span<const LineRecord> lineRecords() {
    return kLines;
}

} // namespace tavo::layout
